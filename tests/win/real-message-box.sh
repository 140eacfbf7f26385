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
xvfb=""
if [ -z "${DISPLAY:-}" ]; then
  command -v Xvfb >/dev/null || { echo "Xvfb is needed (package xvfb)"; exit 1; }
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
fi
tmp=$(mktemp)
"$wine" "$probe" "$qel" "$image" >"$tmp" 2>/dev/null
rc=$?
out=$(tr -d '\r' < "$tmp")
rm -f "$tmp"
[ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
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
