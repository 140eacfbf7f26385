#!/usr/bin/env bash
# Fetches Debian's source package of Lua 5.4 (adding a deb-src entry when none exists) and builds
# the interpreter with -m32 into build/lua/, for the ratio benchmarks. Nothing of it is committed.
set -eu
cd "$(dirname "$0")/.."
mkdir -p build
cd build
# Built with the floating-point settings of the runtime itself, so that the two compare fairly.
[ -x lua/lua ] && [ -f lua/.sse2 ] && exit 0
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  cat > /etc/apt/sources.list.d/qel-bench-src.sources <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  apt-get update -qq
fi
command -v dpkg-source >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq dpkg-dev >/dev/null
rm -rf lua-src && mkdir lua-src
(cd lua-src && apt-get source -qq lua5.4 >/dev/null 2>&1)
src=$(find lua-src -maxdepth 1 -type d -name 'lua5.4-*' | head -n 1)
mkdir -p lua
# Debian's patches expect a generated multiarch header.
echo '#define DEB_HOST_MULTIARCH "i386-linux-gnu"' > lua/lua5.4-deb-multiarch.h
gcc -m32 -msse2 -mfpmath=sse -Ilua -O2 -std=gnu99 -DLUA_COMPAT_5_3 -DLUA_USE_LINUX -o lua/lua \
  $(ls "$src"/src/*.c | grep -v -E '/(luac)\.c$') -lm -ldl
touch lua/.sse2
echo "built $(qemu-i386 -L / lua/lua -v)"
