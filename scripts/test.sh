#!/usr/bin/env bash
# Builds everything and runs every test in two lanes:
#   Linux lane:   unit tests and image tests, run by the Linux i386 host under qemu-i386;
#   Windows lane: the same image tests run by qel.exe under 32-bit Wine.
# The Windows lane's Wine is $QEL_WINE, or a wine on PATH that runs 32-bit programs. Without one
# the lane is skipped, or fails when QEL_REQUIRE_WINE=1.
set -eu
cd "$(dirname "$0")/.."
bash scripts/deps.sh windows
jobs=$(nproc)

echo "== Linux i386 build"
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux-i386.cmake >/dev/null
cmake --build build -j"$jobs" 2>&1 | grep -E 'warning|error|Error' || true
cmake --build build -j"$jobs" >/dev/null

echo "== Windows build"
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake \
  "-DQEL_HOST_QELASM=qemu-i386;-L;/;$PWD/build/qelasm" >/dev/null
cmake --build build-win -j"$jobs" 2>&1 | grep -E 'warning|error|Error' || true
cmake --build build-win -j"$jobs" >/dev/null

status=0
echo "== Linux lane"
ctest --test-dir build -j"$jobs" --output-on-failure || status=1

echo "== Windows lane"
wine=${QEL_WINE:-}
if [ -z "$wine" ] && command -v wine >/dev/null; then
  # Only a wine that runs 32-bit programs will do: qel.exe without an image exits 1.
  set +e
  QEL_MSGBOX=stderr WINEDEBUG=-all wine build-win/qel.exe >/dev/null 2>&1
  [ $? = 1 ] && wine=$(command -v wine)
  set -e
fi
if [ -z "$wine" ]; then
  if [ "${QEL_REQUIRE_WINE:-0}" = 1 ]; then
    echo "Windows lane: no 32-bit wine found (set QEL_WINE) and QEL_REQUIRE_WINE=1"
    exit 1
  fi
  echo "Windows lane skipped: no 32-bit wine found (set QEL_WINE to a wine front end)"
else
  export QEL_WINE=$wine WINEDEBUG=-all
  export WINEPREFIX=${WINEPREFIX:-$HOME/.cache/qel-wine-prefix}
  wineserver=$(dirname "$wine")/wineserver
  [ -x "$wineserver" ] || wineserver=$(command -v wineserver)
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing the Wine prefix $WINEPREFIX"
    if [ -x "$(dirname "$wine")/prefix-init" ]; then
      "$(dirname "$wine")/prefix-init"
    else
      "$wine" wineboot --init >/dev/null 2>&1 || true
      "$wineserver" -w
    fi
  fi
  # One virtual X display for the whole lane: Wine's desktop is made once per session, with the
  # display of whichever program needs it first.
  . scripts/xvfb.sh
  start_xvfb
  "$wineserver" -p 600 || true  # a server already running for the prefix keeps running
  # Wine under qemu now and then hangs in a test or prints its own noise into one: a test that
  # fails is run once more, and both runs stay in the log.
  ctest --test-dir build-win -j"$jobs" --output-on-failure --repeat until-pass:2 || status=1
  "$wineserver" -k || true
  stop_xvfb
fi

if [ $status = 0 ]; then echo "All tests passed in every lane that ran."; else echo "Some tests failed."; fi
exit $status
