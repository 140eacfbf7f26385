#!/usr/bin/env bash
# The short fuzz campaign: 600 mutants of the image tests and benchmarks with the fixed seed 1
# (about a minute on two cores). Exits 1 when any mutant ends the host by a signal or a timeout
# (but for the honest endless loops listed in known-hangs.txt);
# the failures are kept in OUT/crashes with the command that reproduces each.
#   tests/fuzz/ci.sh [QEL QELASM OUT]      (default: build/qel, build/qelasm, build/fuzz-ci)
# Run by ctest only when QEL_FUZZ=1 is set; otherwise it exits 77, which ctest shows as skipped.
set -u
if [ "${QEL_FUZZ:-}" != 1 ]; then
  echo "the fuzz campaign runs only with QEL_FUZZ=1"
  exit 77
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
qel=${1:-$root/build/qel}
qelasm=${2:-$root/build/qelasm}
out=${3:-$root/build/fuzz-ci}
rm -rf "$out"
exec python3 "$root/tests/fuzz/fuzz.py" --qel "$qel" --qelasm "$qelasm" \
  --seed 1 --count 600 --jobs 2 --out "$out" --fail-on-crash --known-hangs "$root/tests/fuzz/known-hangs.txt"
