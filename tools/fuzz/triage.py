#!/usr/bin/env python3
"""Triage of what fuzz.py kept: the crashes grouped (with --frame by where the host was at the
signal, which needs gdb), and a kept mutant shrunk to a small source that still fails the same way.

  triage.py group [--frame] DIR...       signals and timeouts grouped by signal (and, with --frame,
                                         the two innermost host functions), with the mutations seen
  triage.py minimize CRASH_DIR           deletes lines while the mutant fails the same way (the same
                                         outcome and signal)
"""
import argparse
import collections
import json
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from fuzz import add_tool_args, assemble, limits, run_host, write_lines


# Run inside gdb at the signal: loads the symbols of the shared libraries (qemu's stub does not
# report them) by walking the dynamic linker's list, then names the function at the signal and the
# return addresses on the stack (words that follow a call instruction in some .text section).
GDB_SCRIPT = r"""
import gdb, re
def u32(a): return int(gdb.parse_and_eval("*(unsigned int*)%d" % a)) & 0xffffffff
def u8(a): return int(gdb.parse_and_eval("*(unsigned char*)%d" % a)) & 0xff
def sym(pc):
    s = gdb.execute("info symbol %d" % pc, to_string=True)
    return None if s.startswith("No symbol") or " .text" not in s else re.sub(r" \+ \d+$", "", s.split(" in section")[0])
base = int(re.search(r"AT_PHDR.*?(0x[0-9a-f]+)", gdb.execute("info auxv", to_string=True)).group(1), 16) - 0x34
dyn = int(gdb.parse_and_eval("(unsigned int)&_DYNAMIC"))
dyn += base if dyn < base else 0
while u32(dyn) not in (0, 21): dyn += 8
libs, lm = [], (u32(u32(dyn + 4) + 4) if u32(dyn) == 21 else 0)
while lm:
    addr, name = u32(lm), gdb.parse_and_eval("(char*)%d" % u32(lm + 4)).string()
    if name:
        gdb.execute("add-symbol-file %s -o %d" % (name, addr), to_string=True)
        libs.append((addr, name.split("/")[-1]))
    lm = u32(lm + 12)
pc, sp = int(gdb.parse_and_eval("(unsigned int)$pc")), int(gdb.parse_and_eval("(unsigned int)$sp"))
first = sym(pc) or "%s+0x%x" % max(((n, pc - a) for a, n in libs if a <= pc), key=lambda t: -t[1], default=("?", pc))
frames = [first]
for i in range(1024):
    try:
        w = u32(sp + 4 * i)
        called = u8(w - 5) == 0xE8 or u8(w - 2) == 0xFF or u8(w - 3) == 0xFF or u8(w - 6) == 0xFF
    except gdb.error:
        continue
    s = sym(w) if called else None
    if s and s != frames[-1]: frames.append(s)
print("FRAMES|" + "|".join(frames))
"""


def where(qel, image, cwd, depth=4):
    """The host function at the signal and its callers found on the stack (gdb through qemu)."""
    script = Path(cwd) / "where.py"
    script.write_text(GDB_SCRIPT)
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    guest = subprocess.Popen(["qemu-i386", "-g", str(port), "-L", "/", str(qel), str(image)], cwd=cwd,
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             preexec_fn=limits)
    frames = ["?"]
    try:
        for _ in range(50):  # the stub listens shortly after start
            r = subprocess.run(["gdb", "-batch", "-nx", "-ex", "set pagination off", "-ex", "file " + str(qel),
                                "-ex", "target remote 127.0.0.1:%d" % port, "-ex", "continue",
                                "-ex", "source " + str(script)],
                               capture_output=True, text=True, timeout=60, errors="replace")
            m = re.search(r"^FRAMES\|(.*)$", r.stdout, re.M)
            if m or "Connection refused" not in r.stdout + r.stderr:
                break
            time.sleep(0.1)
        if m:
            frames = [f.replace("(anonymous namespace)::", "").split("(")[0] for f in m.group(1).split("|")]
    except subprocess.TimeoutExpired:
        pass
    finally:
        guest.kill()
        guest.wait()
    return frames[:depth]


def place(frames):
    """Where a crash happened, stable from run to run: the innermost function (a library by its
    name alone: offsets inside its unnamed routines move) and the innermost host function."""
    first = re.sub(r"\+0x[0-9a-f]+$", "", frames[0])
    host = [f for f in frames[1:] if f.startswith("qel::")][:1]
    return " <- ".join([first] + (host if not first.startswith("qel::") else []))


def crash_key(args, qel, qelasm, src, work):
    """How a source fails: outcome, detail, the C library's or C++ runtime's last words (an abort
    says why)."""
    built, _ = assemble(qelasm, src, work / "m.qel")
    if not built:
        return ("refused",)
    outcome, detail, err = run_host(qel, work / "m.qel", work, args.timeout)
    said = re.findall(r"^(terminate called.*|free\(\).*|double free.*|malloc.*|realloc.*|corrupted.*|munmap.*)$", err, re.M)
    return (outcome, detail) + tuple(said[:1])


def open_ends(lines):
    """Methods whose body does not end with ret, return or abort: deleting lines must not add any,
    or every reproducer would also run past a method's end."""
    count, last = 0, None
    for line in lines + ["[/SOURCE]"]:
        if line.startswith("method ") or line == "[/SOURCE]":
            count += last not in (None, "ret", "return", "abort")
            last = None if line == "[/SOURCE]" else "method"
        elif last and not line.startswith("@"):
            last = line
    return count


def cmd_minimize(args):
    crash = Path(args.crash)
    source = crash / "mutant.qsrc" if crash.is_dir() else crash
    work = Path(tempfile.mkdtemp(prefix="qelmin-"))
    lines = [l for l in source.read_bytes().decode("latin-1").split("\n") if l]
    goal = crash_key(args, args.qel, args.qelasm, source, work)
    allowed_open = open_ends(lines)
    print("minimizing %s (%d lines): %s" % (source, len(lines), " ".join(goal)))
    if goal[0] not in ("signal", "timeout"):
        print("it does not fail any more")
        return 1
    chunk = max(1, len(lines) // 2)
    while True:
        i, changed = 0, False
        while i < len(lines):
            trial = lines[:i] + lines[i + chunk:]
            write_lines(work / "m.qsrc", trial)
            if trial and open_ends(trial) <= allowed_open and crash_key(args, args.qel, args.qelasm, work / "m.qsrc", work) == goal:
                lines, changed = trial, True
            else:
                i += chunk
        if chunk == 1 and not changed:
            break
        chunk = max(1, chunk // 2)
    target = source.with_name("minimal.qsrc")
    write_lines(target, lines)
    shutil.rmtree(work, ignore_errors=True)
    print("%d lines left in %s" % (len(lines), target))
    return 0


def mutation_kind(m):
    """What a mutation touched: 'mnemonic ldvint->ldvstr', 'delete inc_5', 'header v', ..."""
    kind = m.split(":")[0]
    words = [q.split(" ")[0] for q in re.findall(r"'([^']*)'", m)]
    if kind == "mnemonic":
        return "mnemonic %s->%s" % tuple(words[:2])
    if kind in ("operand", "flip"):
        return "%s of %s" % (kind, words[0])
    if kind in ("delete", "duplicate", "swap"):
        return "%s %s" % (kind, ",".join(words[:2]))
    return kind


def cmd_group(args):
    """Groups signals by the signal and the place of the crash (with --frame), timeouts
    apart; within a group, counts what the mutations touched."""
    groups = collections.defaultdict(list)
    for d in args.dirs:
        for line in open(Path(d) / "results.jsonl"):
            try:
                rec = json.loads(line)
            except json.JSONDecodeError:  # a campaign still writing
                continue
            if rec["outcome"] not in ("signal", "timeout"):
                continue
            frames = ["-"]
            if args.frame and rec["outcome"] == "signal" and Path(rec["dir"]).exists():
                known = Path(rec["dir"]) / "where.txt"  # found once, kept beside the mutant
                if not known.exists():
                    tmp = tempfile.mkdtemp(prefix="qelwhere-")
                    known.write_text("\n".join(where(args.qel, Path(rec["dir"]) / "mutant.qel", tmp, 8)))
                    shutil.rmtree(tmp, ignore_errors=True)
                frames = [place(known.read_text().split("\n"))]
            key = (rec["detail"] if rec["outcome"] == "signal" else "timeout", " <- ".join(frames))
            groups[key].append(rec)
    for key, recs in sorted(groups.items(), key=lambda kv: (-len(kv[1]), kv[0])):
        kinds = collections.Counter(" + ".join(sorted(mutation_kind(m) for m in r["mutations"])) for r in recs)
        print("%5d  %s  %s" % (len(recs), key[0], key[1]))
        for kind, n in kinds.most_common(8):
            print("         %4d  %s" % (n, kind))
        print("         e.g. %s" % " ".join(r.get("dir", "?") for r in recs[:3]))
    return 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    add_tool_args(ap)
    sub = ap.add_subparsers(dest="command", required=True)
    grp = sub.add_parser("group", help="group the crashes of campaigns")
    grp.add_argument("dirs", nargs="+")
    grp.add_argument("--frame", action="store_true", help="group by the host's stack too (gdb, slower)")
    mini = sub.add_parser("minimize", help="shrink a kept crash by deleting lines")
    mini.add_argument("crash")
    args = ap.parse_args()
    return {"group": cmd_group, "minimize": cmd_minimize}[args.command](args)


if __name__ == "__main__":
    sys.exit(main())
