#!/usr/bin/env bash
# A long fuzz campaign against the Linux host in build/ (built first), through the fork server:
# each mutant is assembled and run in a fork of one emulated process.
#   tools/fuzz/campaign.sh N [SEED] [OUT]    N mutants, seed (default 1), output folder
#                                            (default build/fuzz-SEED)
# Every signal and timeout is kept in OUT/crashes with its mutations and the command that
# reproduces it; OUT/results.jsonl has one line per mutant. Exits 1 when any occurred.
# Then, for instance:
#   python3 tools/fuzz/triage.py group --frame OUT        crashes grouped by host function
#   python3 tools/fuzz/triage.py minimize OUT/crashes/X    a small source that fails the same way
set -eu
cd "$(dirname "$0")/../.."
n=${1:?usage: campaign.sh N [SEED] [OUT]}
seed=${2:-1}
out=${3:-build/fuzz-$seed}
bash scripts/deps.sh linux
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux-i386.cmake >/dev/null
cmake --build build -j2 --target qel qelasm qel_fuzz_server >/dev/null
exec python3 tools/fuzz/fuzz.py --seed "$seed" --count "$n" --jobs 2 --out "$out" --fail-on-crash \
  --server build/qel_fuzz_server
