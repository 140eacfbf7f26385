#!/usr/bin/env bash
# Growth check: each workload at four sizes, each twice the one before; the time of a doubling
# should at most double. Workloads: appends to a string (add), items added to a list (and the list
# freed), objects made and freed, and the size of an image to load. CPU time, median of $RUNS.
#   bench/growth.sh
set -eu
cd "$(dirname "$0")/.."
cmake --build build -j"$(nproc)" --target qel qelasm >/dev/null
mkdir -p build/bench/growth
RUNS=${RUNS:-3}
cpu_ms() {
  local ts=()
  for _ in $(seq "$RUNS"); do
    ts+=("$(python3 bench/cpu_time.py "$@" | awk '{ printf "%d", $1 }')")
  done
  printf '%s\n' "${ts[@]}" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'
}
# A benchmark source with its count replaced: NAME COUNT-IN-SOURCE NEW-COUNT
sized() {
  local img=build/bench/growth/$1-$3.qel src=bench/$1.qsrc
  [ -f "$src" ] || src=build/bench/growth/$1.qsrc
  sed "s/ldint $2\$/ldint $3/" "$src" | sed 's|#include "../tests|#include "../../../tests|' > "build/bench/growth/$1-$3.qsrc"
  qemu-i386 -L / build/qelasm build "build/bench/growth/$1-$3.qsrc" -o "$img"
  echo "$img"
}
row() {  # LABEL then four "size time" pairs
  local label=$1; shift
  printf '%-26s' "$label"
  local prev=""
  for pair in "$@"; do
    set -- $pair
    if [ -n "$prev" ]; then printf ' %9s ms (x%s)' "$2" "$(awk -v a="$2" -v b="$prev" 'BEGIN { printf "%.2f", a / b }')"
    else printf ' %9s ms       ' "$2"; fi
    prev=$2
  done
  echo
}
# Items added to a list: list_add in a loop, then the list freed.
cat > build/bench/growth/list_build.qsrc <<'SRC'
#include "../../../tests/images/prelude/minimal.qsrc"
[SOURCE]
method WinMain.[a:1][m:0][p:04][r:i][v:pppipi]
callstd list_create
stvptr 4
ldint 0
stvint 5
@loop:
ldvptr 4
ldvint 5
callstd list_add
inc_5
ldvint 5
ldint 1000000
blt
cmpjmp @loop
ldvptr 4
callstd list_free
ldint 0
return
[/SOURCE]
SRC
for w in "concat 20000 40000 80000 160000 320000" "list_build 1000000 500000 1000000 2000000 4000000" \
         "objects 1000000 250000 500000 1000000 2000000"; do
  set -- $w
  name=$1 orig=$2; shift 2
  pairs=()
  for n in "$@"; do pairs+=("$n $(cpu_ms qemu-i386 -L / build/qel "$(sized "$name" "$orig" "$n")")"); done
  row "$name ($*)" "${pairs[@]}"
done
pairs=()
for classes in 50 100 200 400; do
  python3 bench/gen_load.py "$classes" 70 build/bench/growth/load.qsrc build/bench/growth/load.lua
  qemu-i386 -L / build/qelasm build build/bench/growth/load.qsrc -o build/bench/growth/load-$classes.qel
  pairs+=("$classes $(cpu_ms qemu-i386 -L / build/qel build/bench/growth/load-$classes.qel)")
done
row "image load (50..400 classes)" "${pairs[@]}"
