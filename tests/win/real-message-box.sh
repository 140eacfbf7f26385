#!/usr/bin/env bash
# The real-dialog check: qel.exe, without QEL_MSGBOX, under an X server, shows a real box that
# dialog_probe.exe finds, reads and closes.
#   real-message-box.sh PROBE QEL IMAGE
set -u
probe=$1 qel=$2 image=$3
wine=${QEL_WINE:-$(command -v wine || true)}
[ -n "$wine" ] || { echo "no wine to run the Windows lane"; exit 1; }
unset QEL_MSGBOX
export WINEDEBUG=-all
. "$(dirname "$0")/../../scripts/xvfb.sh"
[ -n "${DISPLAY:-}" ] || command -v Xvfb >/dev/null || { echo "Xvfb is needed (package xvfb)"; exit 1; }
start_xvfb
tmp=$(mktemp)
"$wine" "$probe" "$qel" "$image" >"$tmp" 2>/dev/null
rc=$?
out=$(tr -d '\r' < "$tmp")
rm -f "$tmp"
stop_xvfb
expected=$'caption: \ntext: Hello from a real box: çà ✓'
status=0
if [ "$out" != "$expected" ]; then
  echo "the box differs:"; echo "--- expected"; echo "$expected"; echo "--- actual"; echo "$out"
  status=1
fi
if [ "$rc" != 5 ]; then
  echo "exit code: expected 5, got $rc"
  status=1
fi
exit $status
