#!/usr/bin/env bash
# The short fuzz campaign: 600 mutants of the image tests and benchmarks with the fixed seed 1
# (a minute or two on two cores). Exits 1 when any mutant ends the host by a signal; timeouts
# (most often loops the mutation made endless in the script itself) are listed, not failed, and
# so are the signals listed in tests/fuzz/known-crashes (the script's own doing);
# the failures are kept in OUT/crashes with the command that reproduces each. The seeds are the
# image tests and benchmarks but qsort_thunk, which hands a script-filled buffer to libc's qsort:
# any mutation of its filling loop is a native misuse no host can refuse (the long campaigns keep it).
# Mutants run through the fork server when one is given.
#   tests/fuzz/ci.sh [QEL QELASM OUT [SERVER]]   (default: build/qel, build/qelasm, build/fuzz-ci)
# The test suite runs it (linux/fuzz_short).
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
qel=${1:-$root/build/qel}
qelasm=${2:-$root/build/qelasm}
out=${3:-$root/build/fuzz-ci}
server=()
[ -n "${4:-}" ] && server=(--server "$4")
rm -rf "$out"
cd "$root"
seeds=(tests/images/*.qsrc)
for f in bench/*.qsrc; do [ "$f" = bench/qsort_thunk.qsrc ] || seeds+=("$f"); done
exec python3 "$root/tests/fuzz/fuzz.py" --qel "$qel" --qelasm "$qelasm" "${server[@]}" \
  --seed 1 --count 600 --jobs 2 --out "$out" --fail-on-crash \
  --known-crashes "$root/tests/fuzz/known-crashes" --seeds "${seeds[@]}"
