#!/usr/bin/env bash
# Runs the benchmarks under qemu-i386: each Qel image with the Linux host, each Lua program with
# Lua 5.4 built -m32 from Debian's sources, alternating, and prints the median of $RUNS runs
# (default 5) of each and the ratio qel/Lua. Times are the CPU time (user + system) the run took,
# which other work on a shared machine disturbs less than the elapsed time. Not a test: numbers
# depend on the machine.
#   bench/run.sh [NAME...]
# With BASELINE=path/to/another/qel, that host runs the same images in the same alternation and a
# column gives this build's time against it (for before/after comparisons of a change).
set -eu
cd "$(dirname "$0")/.."
bash scripts/deps.sh linux
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux-i386.cmake >/dev/null
cmake --build build -j"$(nproc)" --target qel qelasm >/dev/null
bash bench/build-lua.sh
mkdir -p build/bench
names=("$@")
if [ ${#names[@]} = 0 ]; then
  names=()
  for f in bench/*.qsrc; do names+=("$(basename "$f" .qsrc)"); done
fi

RUNS=${RUNS:-5}
# Prints "cpu-milliseconds exit-code" of one run.
ms_of() { python3 bench/cpu_time.py "$@" | awk '{ print $1, $3 }'; }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

BASELINE=${BASELINE:-}
if [ -n "$BASELINE" ]; then
  printf '%-16s %10s %10s %8s %12s %8s\n' benchmark "qel ms" "lua ms" ratio "baseline ms" "vs base"
else
  printf '%-16s %10s %10s %8s\n' benchmark "qel ms" "lua ms" ratio
fi
for n in "${names[@]}"; do
  qemu-i386 -L / build/qelasm build "bench/$n.qsrc" -o "build/bench/$n.qel"
  for lua in "bench/$n.lua" "bench/${n}_for.lua"; do
    [ -f "$lua" ] || continue
    qs=() ls=() bs=() note=""
    for _ in $(seq "$RUNS"); do
      read -r qt qrc < <(ms_of qemu-i386 -L / build/qel "build/bench/$n.qel")
      read -r lt lrc < <(ms_of qemu-i386 -L / build/lua/lua "$lua")
      qs+=("$qt") ls+=("$lt")
      if [ -n "$BASELINE" ]; then
        read -r bt brc < <(ms_of qemu-i386 -L / "$BASELINE" "build/bench/$n.qel")
        bs+=("$bt")
        [ "$brc" = "$qrc" ] || note="$note  (baseline result differs: $brc)"
      fi
      # Both programs exit with the same checksum of their result.
      [ "$qrc" = "$lrc" ] || note="  (results differ: qel $qrc, lua $lrc)"
    done
    q=$(median "${qs[@]}") l=$(median "${ls[@]}")
    # Milliseconds shown whole; the ratios come from the measured times.
    ratio=$(awk -v a="$q" -v b="$l" 'BEGIN { printf "%.2f", a / b }')
    if [ -n "$BASELINE" ]; then
      b=$(median "${bs[@]}")
      printf '%-16s %10.0f %10.0f %8s %12.0f %8s%s\n' "$(basename "$lua" .lua)" "$q" "$l" "$ratio" "$b" \
        "$(awk -v a="$q" -v b="$b" 'BEGIN { printf "%.2f", a / b }')" "$note"
    else
      printf '%-16s %10.0f %10.0f %8s%s\n' "$(basename "$lua" .lua)" "$q" "$l" "$ratio" "$note"
    fi
  done
done
