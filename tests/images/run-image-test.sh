#!/usr/bin/env bash
# Runs one image test and compares its exit code and standard error with the expectations
# written in its source as ';@' lines:
#   ;@ exit N            expected exit code (default 0)
#   ;@ stderr TEXT       one expected line of standard error (none: standard error must be empty);
#                        trailing blanks are not compared
#   ;@ stderr-match RE   standard error has one line per stderr-match, each matching its RE (grep -E)
#   ;@ cmdline TEXT      the command line instead of the image path; {image} and {dir} expand
#   ;@ copy FILE         copies FILE into the working directory the host runs in (the library
#                        directory of native procedures); {dir} expands to the image's folder,
#                        {libext} to the lane's library extension (.so, .dll)
#   ;@ truncate N        run a copy of the image cut to N bytes
#   ;@ lanes LANE...     run only in these lanes (linux, win)
#   ;@ LANE: DIRECTIVE   a directive for that lane only, e.g. ";@ win: stderr ?=1"
#
# usage: run-image-test.sh LANE HOST IMAGE SOURCE
#   LANE linux runs HOST under qemu-i386; LANE win runs HOST (qel.exe) with $QEL_WINE or wine.
set -u
lane=$1 host=$2 image=$3 source=$4
image_dir=$(dirname "$image")

directive() {
  sed -n "s/^[[:space:]]*;@ \\($lane: \\)\\{0,1\\}$1\$//p; s/^[[:space:]]*;@ \\($lane: \\)\\{0,1\\}$1 \\(.*\\)\$/\\2/p" "$source"
}

lanes=$(directive lanes)
if [ -n "$lanes" ] && ! grep -qw "$lane" <<<"$lanes"; then
  echo "not run in the $lane lane"
  exit 0
fi

expected_exit=$(directive exit | tail -n 1)
expected_exit=${expected_exit:-0}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

truncate_to=$(directive truncate | tail -n 1)
if [ -n "$truncate_to" ]; then
  head -c "$truncate_to" "$image" > "$work/cut.qel"
  image="$work/cut.qel"
fi

cmdline=$(directive cmdline | tail -n 1)
if [ -n "$cmdline" ]; then
  cmdline=${cmdline//\{image\}/$image}
  cmdline=${cmdline//\{dir\}/$(dirname "$image")}
else
  cmdline=$image
fi

case "$lane" in
  linux) libext=.so ;;
  win) libext=.dll ;;
esac
while IFS= read -r file; do
  [ -n "$file" ] || continue
  file=${file//\{dir\}/$image_dir}
  file=${file//\{libext\}/$libext}
  cp "$file" "$work/" || { echo "cannot copy $file"; exit 1; }
done < <(directive copy)

case "$lane" in
  linux) runner=(qemu-i386 -L /) ;;
  win)
    wine=${QEL_WINE:-$(command -v wine || true)}
    [ -n "$wine" ] || { echo "no wine to run the Windows lane"; exit 1; }
    runner=("$wine")
    export QEL_MSGBOX=stderr WINEDEBUG=${WINEDEBUG:--all}
    ;;
  *) echo "unknown lane $lane"; exit 1 ;;
esac

# Word-split the command line like a shell would not: the host joins or reads it whole anyway.
read -r -a args <<<"$cmdline"
(cd "$work" && "${runner[@]}" "$host" "${args[@]}" >"$work/stdout" 2>"$work/stderr.raw" </dev/null)
rc=$?

# Wine's own background noise is not the program's output; in the Windows lane the C library of
# Linux belongs to Wine's side (its processes share our standard error under qemu), never to qel.exe.
noise='^qemu: uncaught target signal|stack smashing detected|^wine: |^wine client error|^[0-9a-f]{4}:(err|fixme|warn|trace):|^Application tried to create a window|^err:|^fixme:'
[ "$lane" = win ] && noise+='|^Inconsistency detected by ld.so|^double free or corruption|^(free|malloc|realloc)\(\)|^corrupted '
grep -v -E "$noise" "$work/stderr.raw" | tr -d '\r' | sed 's/[[:space:]]*$//' > "$work/stderr"

status=0
if [ "$rc" != "$expected_exit" ]; then
  echo "exit code: expected $expected_exit, got $rc"
  status=1
fi
if [ -n "$(directive stderr-match)" ]; then
  directive stderr-match > "$work/patterns"
  if [ "$(wc -l < "$work/patterns")" != "$(wc -l < "$work/stderr")" ]; then
    echo "standard error has $(wc -l < "$work/stderr") lines, expected $(wc -l < "$work/patterns")"
    status=1
  fi
  n=0
  while IFS= read -r pattern; do
    n=$((n + 1))
    line=$(sed -n "${n}p" "$work/stderr")
    if ! grep -qE -- "$pattern" <<<"$line"; then
      echo "standard error line $n: '$line' does not match '$pattern'"
      status=1
    fi
  done < "$work/patterns"
else
  directive stderr | sed 's/[[:space:]]*$//' > "$work/expected"
  if ! diff -u "$work/expected" "$work/stderr" > "$work/diff"; then
    echo "standard error differs (expected, actual):"
    cat "$work/diff"
    status=1
  fi
fi
if [ $status != 0 ]; then
  echo "--- command: ${runner[*]} $host $cmdline"
  echo "--- stdout:"; cat "$work/stdout"
  echo "--- stderr:"; cat "$work/stderr.raw"
fi
exit $status
