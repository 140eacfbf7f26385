#!/usr/bin/env bash
# Installs what the build needs on Debian 12, skipping what is already there.
#   deps.sh linux     the Linux i386 build (g++ -m32, zlib, qemu-user, cmake, googletest) and
#                     python3 for the differential JSON test and the fuzzer
#   deps.sh windows   the Windows build as well (mingw-w64 i686 and its zlib; Xvfb for the
#                     Windows lane's real message box)
set -eu
want=()
need() { want+=("$1"); }

command -v cmake >/dev/null || need cmake
command -v make >/dev/null || need make
command -v qemu-i386 >/dev/null || need qemu-user
command -v diff >/dev/null || need diffutils
command -v python3 >/dev/null || need python3
if ! echo 'int main(){return 0;}' | g++ -m32 -x c++ - -o /dev/null 2>/dev/null; then need g++-multilib; fi
[ -e /usr/lib32/libz.so ] || need lib32z1-dev
[ -d /usr/src/googletest/googletest ] || need googletest
if [ "${1:-linux}" = windows ]; then
  command -v i686-w64-mingw32-g++ >/dev/null || need g++-mingw-w64-i686
  [ -e /usr/i686-w64-mingw32/lib/libz.a ] || need libz-mingw-w64-dev
  command -v Xvfb >/dev/null || need xvfb
fi

if [ ${#want[@]} -gt 0 ]; then
  echo "Installing: ${want[*]}"
  sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${want[@]}" >/dev/null
fi
