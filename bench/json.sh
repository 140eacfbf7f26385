#!/usr/bin/env bash
# JSON throughput under qemu-i386: parse a 20 MB document against the floor of a pass that only
# counts its quotes, and serialize the tree back. Not a test: numbers depend on the machine.
#   bench/json.sh [CHARACTERS [RUNS]]
set -eu
cd "$(dirname "$0")/.."
bash scripts/deps.sh linux
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux-i386.cmake >/dev/null
cmake --build build -j"$(nproc)" --target json_bench >/dev/null
qemu-i386 -L / build/bench/json_bench "$@"
