#!/usr/bin/env bash
# The short fuzz campaign: 600 mutants of the image tests and benchmarks with the fixed seed 1
# (a minute or two on two cores). Exits 1 when any mutant ends the host by a signal; timeouts
# (most often loops the mutation made endless in the script itself) are listed, not failed, and
# so are the signals listed in tests/fuzz/known-crashes (the script's own doing);
# the failures are kept in OUT/crashes with the command that reproduces each. The seeds are the
# image tests and benchmarks but two that hand script-made memory to libc (qsort_thunk's buffer,
# thread_outlives_winmain's pthread_t): most mutations of those are native misuse no host can
# refuse (the long campaigns keep them).
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
seeds=()
for f in tests/images/*.qsrc bench/*.qsrc; do
  case "$f" in bench/qsort_thunk.qsrc | tests/images/thread_outlives_winmain.qsrc) ;; *) seeds+=("$f") ;; esac
done
exec python3 "$root/tools/fuzz/fuzz.py" --qel "$qel" --qelasm "$qelasm" "${server[@]}" \
  --seed 1 --count 600 --jobs 2 --out "$out" --fail-on-crash \
  --known-crashes "$root/tests/fuzz/known-crashes" --seeds "${seeds[@]}"
