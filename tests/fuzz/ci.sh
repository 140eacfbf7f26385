#!/usr/bin/env bash
# The short fuzz campaign: 600 mutants of the image tests and benchmarks with the fixed seed 1
# (a minute or two on two cores). Exits 1 when any mutant ends the host by a signal; timeouts
# (most often loops the mutation made endless in the script itself) are listed, not failed;
# the failures are kept in OUT/crashes with the command that reproduces each.
#   tests/fuzz/ci.sh [QEL QELASM OUT]      (default: build/qel, build/qelasm, build/fuzz-ci)
# The test suite runs it (linux/fuzz_short).
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
qel=${1:-$root/build/qel}
qelasm=${2:-$root/build/qelasm}
out=${3:-$root/build/fuzz-ci}
rm -rf "$out"
exec python3 "$root/tests/fuzz/fuzz.py" --qel "$qel" --qelasm "$qelasm" \
  --seed 1 --count 600 --jobs 2 --out "$out" --fail-on-crash
