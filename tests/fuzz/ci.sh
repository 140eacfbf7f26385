#!/usr/bin/env bash
# The short fuzz campaign (ctest linux/fuzz_short): 600 mutants of the image tests and benchmarks,
# seed 1, through the fork server when one is given. Exits 1 when a mutant ends the host by a signal
# not listed in tests/fuzz/known-crashes; timeouts are listed, not failed. Two seeds are left out:
# most mutations of qsort_thunk's buffer and thread_outlives_winmain's pthread_t are native misuse
# no host can refuse (the long campaigns keep them).
#   tests/fuzz/ci.sh [QEL QELASM OUT [SERVER]]   (default: build/qel, build/qelasm, build/fuzz-ci)
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
