#!/usr/bin/env bash
# The image-load benchmark: a generated program of about 10 MB of image text (14,000 methods) is
# loaded by the Linux host (WinMain returns at once) and compared with the floor (bench/load_floor.c:
# inflate the container and scan its text once) for time, and with Lua 5.4 compiling the same
# program written in Lua for peak memory. All run under qemu-i386; times are CPU time (medians of
# $RUNS runs), memory the peak resident size.
#   bench/load.sh [CLASSES [METHODS_PER_CLASS]]      (default 200 70)
set -eu
cd "$(dirname "$0")/.."
bash scripts/deps.sh linux
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux-i386.cmake >/dev/null
cmake --build build -j"$(nproc)" --target qel qelasm >/dev/null
bash bench/build-lua.sh >/dev/null
mkdir -p build/bench
classes=${1:-200} per=${2:-70}
python3 bench/gen_load.py "$classes" "$per" build/bench/load.qsrc build/bench/load.lua
qemu-i386 -L / build/qelasm build build/bench/load.qsrc -o build/bench/load.qel
gcc -m32 -O2 -msse2 -mfpmath=sse bench/load_floor.c -o build/bench/load_floor -lz
RUNS=${RUNS:-5}
measure() {  # prints "cpu-ms peak-kb" medians
  local ts=() ms=() t m
  for _ in $(seq "$RUNS"); do
    read -r t m _ < <(python3 bench/cpu_time.py "$@")
    ts+=("$t") ms+=("$m")
  done
  echo "$(printf '%s\n' "${ts[@]}" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}')" \
       "$(printf '%s\n' "${ms[@]}" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}')"
}
read -r ft fm < <(measure qemu-i386 -L / build/bench/load_floor build/bench/load.qel)
read -r qt qm < <(measure qemu-i386 -L / build/qel build/bench/load.qel)
read -r lt lm < <(measure qemu-i386 -L / build/lua/lua -e "assert(loadfile('build/bench/load.lua'))")
text=$(qemu-i386 -L / build/qelasm text build/bench/load.qel | wc -c)
lines=$(qemu-i386 -L / build/bench/load_floor build/bench/load.qel)
echo "image text: $text bytes, $lines lines"
printf '%-28s %8s %10s\n' "" "cpu ms" "peak KB"
printf '%-28s %8s %10s\n' "floor (inflate + scan)" "$ft" "$fm" "qel load" "$qt" "$qm" "lua compile" "$lt" "$lm"
awk -v q="$qt" -v f="$ft" -v qm="$qm" -v lm="$lm" \
  'BEGIN { printf "load time / floor: %.2f    load memory / Lua compile memory: %.2f\n", q / f, qm / lm }'
