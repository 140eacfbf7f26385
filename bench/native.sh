#!/usr/bin/env bash
# The native bridge's benchmarks under qemu-i386, best of $RUNS runs (default 5), alternating:
#   libproc_calls vs callstd_calls   one million calls of a trivial probe function through libproc
#                                    against the same loop around a built-in of the same arity; the
#                                    "calls alone" line takes off the loop (call_loop) from both;
#   qsort_thunk vs Lua               libc's qsort of 100 thousand ints with a script comparer made
#                                    by EntryPoint, against Lua 5.4's table.sort with a Lua comparer.
# Not a test: numbers depend on the machine.
set -eu
cd "$(dirname "$0")/.."
bash scripts/deps.sh linux
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux-i386.cmake >/dev/null
cmake --build build -j"$(nproc)" --target qel qelasm qelprobe >/dev/null
bash bench/build-lua.sh
mkdir -p build/bench
# The probe is found in the working directory, as the library directory of native procedures.
cp build/tests/images/qelprobe.so build/bench/
for n in libproc_calls callstd_calls call_loop qsort_thunk; do
  qemu-i386 -L / build/qelasm build "bench/$n.qsrc" -o "build/bench/$n.qel"
done

RUNS=${RUNS:-5}
ms_of() {
  local t0 t1 rc
  t0=$(date +%s%N)
  rc=0
  "$@" >/dev/null 2>&1 || rc=$?
  t1=$(date +%s%N)
  echo "$(( (t1 - t0) / 1000000 )) $rc"
}
min() { printf '%s\n' "$@" | sort -n | head -n 1; }

# compare SAME NAME-A COMMAND-A... -- NAME-B COMMAND-B...: SAME=1 when both must exit alike
compare() {
  local same=$1 a=$2 b
  shift 2
  local cmd_a=() cmd_b=()
  while [ "$1" != -- ]; do cmd_a+=("$1"); shift; done
  shift
  b=$1
  shift
  cmd_b=("$@")
  local as=() bs=() note="" at arc bt brc
  for _ in $(seq "$RUNS"); do
    read -r at arc < <(cd build/bench && ms_of "${cmd_a[@]}")
    read -r bt brc < <(cd build/bench && ms_of "${cmd_b[@]}")
    as+=("$at") bs+=("$bt")
    [ "$same" = 0 ] || [ "$arc" = "$brc" ] || note="  (results differ: $arc, $brc)"
  done
  local x y
  x=$(min "${as[@]}") y=$(min "${bs[@]}")
  printf '%-14s %8s ms   %-14s %8s ms   ratio %s%s\n' "$a" "$x" "$b" "$y" \
    "$(awk -v p="$x" -v q="$y" 'BEGIN { printf "%.2f", p / q }')" "$note"
  best_a=$x best_b=$y
}

compare 0 libproc_calls qemu-i386 -L / ../qel libproc_calls.qel -- callstd_calls qemu-i386 -L / ../qel callstd_calls.qel
libproc_ms=$best_a callstd_ms=$best_b
loop=()
for _ in $(seq "$RUNS"); do
  read -r t _ < <(cd build/bench && ms_of qemu-i386 -L / ../qel call_loop.qel)
  loop+=("$t")
done
loop_ms=$(min "${loop[@]}")
printf '%-14s %8s ms   calls alone: libproc %s ms, callstd %s ms, ratio %s\n' call_loop "$loop_ms" \
  "$((libproc_ms - loop_ms))" "$((callstd_ms - loop_ms))" \
  "$(awk -v p="$((libproc_ms - loop_ms))" -v q="$((callstd_ms - loop_ms))" 'BEGIN { printf "%.2f", p / q }')"
compare 1 qsort_thunk qemu-i386 -L / ../qel qsort_thunk.qel -- lua_sort qemu-i386 -L / ../lua/lua ../../bench/qsort_thunk.lua
