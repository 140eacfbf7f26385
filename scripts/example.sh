#!/usr/bin/env bash
# Builds the Linux i386 host and runs it on the example image. The image's message box appears on
# standard error (the Linux host's stand-in for a Windows message box), then its exit code.
set -eu
cd "$(dirname "$0")/.."
bash scripts/deps.sh linux
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux-i386.cmake >/dev/null
cmake --build build -j"$(nproc)" --target qel example_hello >/dev/null
echo "Running: qemu-i386 -L / build/qel build/examples/hello.qel"
set +e
qemu-i386 -L / build/qel build/examples/hello.qel
code=$?
set -e
echo "exit code: $code"
