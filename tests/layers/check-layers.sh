#!/usr/bin/env bash
# The folders of src/ are layers, lowest first. A file may include headers of its own folder and
# of the folders below it, never of a folder above: a lower layer reaches a higher one through a
# function pointer or table that the higher one installs at start-up.
# usage: check-layers.sh [SRC_DIR]      prints every upward include; exits 1 when there is one
set -u
src=${1:-$(dirname "$0")/../../src}
order=(base platform types image vm stdlib native formats host)
rank() { local i; for i in "${!order[@]}"; do [ "${order[$i]}" = "$1" ] && { echo "$i"; return; }; done; echo -1; }

bad=0
while IFS= read -r hit; do
  file=${hit%%:*}
  rest=${hit#*:}; rest=${rest#*:}
  inc=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' <<<"$rest")
  [ -n "$inc" ] || continue
  from=${file#"$src"/}; from=${from%%/*}
  to=${inc%%/*}
  [ "$to" = "$inc" ] && continue            # same folder, no path
  rf=$(rank "$from") rt=$(rank "$to")
  if [ "$rf" -lt 0 ]; then echo "$file: folder '$from' is not a known layer"; bad=1; continue; fi
  [ "$rt" -lt 0 ] && continue               # not a folder of src/ (a system or tool header)
  if [ "$rt" -gt "$rf" ]; then echo "$file includes $inc: $from may not include $to"; bad=1; fi
done < <(grep -rn --include='*.h' --include='*.cpp' --include='*.inl' --include='*.def' --include='*.S' '#[[:space:]]*include' "$src")
# System headers are the platform layer's alone.
while IFS= read -r hit; do
  echo "$hit: operating-system headers belong to src/platform"; bad=1
done < <(grep -rnE --include='*.h' --include='*.cpp' '#[[:space:]]*include[[:space:]]*<(windows|winbase|winuser|objbase|oleauto|unistd|dlfcn|pthread|signal|fcntl|sys/[a-z_]+)\.h>' "$src" | grep -v "^$src/platform/")
[ $bad = 0 ] && echo "every include in $src points down or sideways"
exit $bad
