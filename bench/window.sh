#!/usr/bin/env bash
# Message throughput of the window procedures, in qel.exe under Wine (the Linux host has no
# windows): bench/window_messages.qsrc sends 100,000 messages to a script WndProc and 100,000 to a
# window whose procedure is a plain stdcall thunk, two alternating rounds per run. Each run's
# ratio is its best window time over its best thunk time; the line at the end gives the median
# of $RUNS runs (default 5). Wine is $QEL_WINE (default /opt/i386root/bin/wine) with the prefix
# $WINEPREFIX; a virtual display is started when DISPLAY is not set. Not a test: numbers depend on
# the machine.
set -eu
cd "$(dirname "$0")/.."
wine=${QEL_WINE:-/opt/i386root/bin/wine}
export WINEPREFIX=${WINEPREFIX:-$HOME/.cache/qel-wine-prefix} WINEDEBUG=-all QEL_MSGBOX=stderr
[ -x build-win/qel.exe ] || { echo "build-win/qel.exe is missing: build the Windows lane first (README)"; exit 1; }
[ -x build/qelasm ] || { echo "build/qelasm is missing: build the Linux host first (README)"; exit 1; }
mkdir -p build-win/bench
qemu-i386 -L / build/qelasm build bench/window_messages.qsrc -o build-win/bench/window_messages.qel
. scripts/xvfb.sh
start_xvfb
trap stop_xvfb EXIT

RUNS=${RUNS:-5}
ratios=()
for i in $(seq "$RUNS"); do
  line=$("$wine" build-win/qel.exe build-win/bench/window_messages.qel 2>&1 | tr -d '\r' | grep '^window ' || true)
  [ -n "$line" ] || { echo "run $i: no timing line"; exit 1; }
  # "window A thunk B window C thunk D"
  ratio=$(echo "$line" | awk '{ w = ($2 < $6) ? $2 : $6; t = ($4 < $8) ? $4 : $8; printf "%.3f", w / t }')
  echo "run $i: $line   ratio $ratio"
  ratios+=("$ratio")
done
median=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }')
echo "100,000 SendMessageW: window procedure / stdcall thunk, median of $RUNS runs: $median (limit 1.5)"
