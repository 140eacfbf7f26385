#!/usr/bin/env python3
"""A mutation fuzzer for the Linux host.

Mutates the authoring sources of the image tests and benchmarks (includes spliced: bytes, lines,
mnemonics, integers, method headers, metadata fields), assembles each mutant with qelasm and runs it
under a timeout. Outcomes: "refused" (by qelasm), "load-refused" (exit 1 with a "qel:" line), "exit",
"limit" (output size limit), "signal", "timeout", and "known-crash" (a signal listed in
--known-crashes: the script's own raw memory misuse, which no check of the host can refuse).
Signals and timeouts are kept with the mutant and the command that reproduces them. Mutant N of
seed S depends on S and N only (`--seed S --first N --count 1` makes it again).
"""
import argparse
import collections
import concurrent.futures
import json
import random
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BOUNDARY = ["0", "1", "-1", "2", "7", "8", "9", "15", "16", "31", "32", "33", "63", "64", "127", "128",
            "255", "256", "65535", "65536", "2147483647", "-2147483648", "4294967295", "4294967296",
            "9223372036854775807", "-9223372036854775808", "0x7FFFFFFF", "0xFFFFFFFF", "0x80000000"]
TYPE_CODES = "vecmildspbfnt"
INT_TOKEN = re.compile(r"^(-?\d+|0x[0-9A-Fa-f]+)$")
HEADER = re.compile(r"^(method \S+?\.)\[a:(.)\]\[m:(.)\]\[p:(..)\]\[r:(.)\]\[v:(.*)\]$")
BRANCHES = {"cmp", "jmp", "cmpjmp", "try", "catch"}


def load_opcodes():
    ops = {}
    for m in re.finditer(r"^OP\(\d+, (\w+), (\w+)\)", (ROOT / "src/image/opcodes.def").read_text(), re.M):
        ops[m.group(1)] = m.group(2)
    return ops


OPCODES = load_opcodes()


# --- seeds -----------------------------------------------------------------------------------

def expand(path, depth=0):
    """The lines of an authoring file with its includes spliced, comments and blanks dropped."""
    out = []
    for raw in path.read_bytes().decode("latin-1").split("\n"):
        line = raw.strip(" \t\r")
        if not line or line.startswith(";"):
            continue
        if line.startswith("#include") and depth < 32:
            out += expand(path.parent / line.split('"')[1], depth + 1)
        else:
            out.append(line)
    return out


def shrink_counts(lines):
    """Benchmark sizes cut so that a run takes a fraction of a second: loop counts (round numbers of
    10000 or more) by 1000, doubling counts and fib's argument (17 to 30) by 8."""
    def cut(line):
        m = re.match(r"^ldint (\d+)$", line)
        n = int(m.group(1)) if m else 0
        if n >= 10000 and n % 1000 == 0:
            return "ldint %d" % (n // 1000)
        if 17 <= n <= 30:
            return "ldint %d" % (n - 8)
        return line
    return [cut(l) for l in lines]


def load_seeds(patterns):
    seeds = []
    for pattern in patterns:
        for path in sorted(ROOT.glob(pattern)):
            lines = expand(path)
            if path.parent.name == "bench":
                lines = shrink_counts(lines)
            seeds.append((str(path.relative_to(ROOT)), lines))
    return seeds


def sections(lines):
    """The section ("MANIFEST", "METADATA", "SOURCE", "RESOURCE" or "") of every line."""
    out, current = [], ""
    for line in lines:
        if re.match(r"^\[/?[A-Z]+\]$", line):
            out.append("")
            current = "" if line.startswith("[/") else line[1:-1]
        else:
            out.append(current)
    return out


# --- mutators: each changes `lines` in place and describes what it did, or returns None -------

def pick(rng, lines, want=None):
    """A line index in section `want`; without one, half the time a SOURCE line, else any line."""
    secs = sections(lines)
    if want is None:
        idx = [i for i, s in enumerate(secs) if s == "SOURCE"] if rng.random() < 0.5 else []
        return rng.choice(idx or range(len(lines)))
    idx = [i for i, s in enumerate(secs) if s == want]
    return rng.choice(idx) if idx else None


def is_instruction(line):
    return not line.startswith(("@", "[", "method "))


def m_flip(lines, rng):
    i = pick(rng, lines)
    if i is None or not lines[i]:
        return None
    p, bit = rng.randrange(len(lines[i])), rng.randrange(8)
    old = lines[i]
    lines[i] = old[:p] + chr(ord(old[p]) ^ (1 << bit)) + old[p + 1:]
    return "flip: line %d %r -> %r" % (i + 1, old, lines[i])


def m_delete(lines, rng):
    i = pick(rng, lines)
    n = rng.choice([1, 1, 1, 2, 3])
    gone = lines[i:i + n]
    del lines[i:i + n]
    return "delete: lines %d-%d %r" % (i + 1, i + len(gone), gone)


def m_duplicate(lines, rng):
    i = pick(rng, lines)
    lines.insert(i, lines[i])
    return "duplicate: line %d %r" % (i + 1, lines[i])


def m_swap(lines, rng):
    i = pick(rng, lines)
    j = min(len(lines) - 1, max(0, i + rng.choice([-1, 1, rng.randint(-8, 8)])))
    if lines[i] == lines[j]:
        return None
    lines[i], lines[j] = lines[j], lines[i]
    return "swap: lines %d and %d %r <-> %r" % (i + 1, j + 1, lines[j], lines[i])


def m_mnemonic(lines, rng):
    i = pick(rng, lines, "SOURCE")
    if i is None or not is_instruction(lines[i]):
        return None
    old = lines[i]
    mnemonic, _, rest = old.partition(" ")
    kind = OPCODES.get(mnemonic)
    pool = [m for m, k in OPCODES.items() if k == kind and m != mnemonic] if rng.random() < 0.6 else []
    new = rng.choice(pool or list(OPCODES))
    lines[i] = (new + " " + rest).rstrip()
    return "mnemonic: line %d %r -> %r" % (i + 1, old, lines[i])


def m_operand(lines, rng):
    """An integer operand (or a branch's label) becomes a boundary value, or the operand goes."""
    i = pick(rng, lines, "SOURCE")
    if i is None or not is_instruction(lines[i]) or " " not in lines[i] or lines[i].startswith("ldstr"):
        return None
    old = lines[i]
    mnemonic, _, rest = old.partition(" ")
    if rng.random() < 0.25:
        lines[i] = mnemonic
    elif INT_TOKEN.match(rest) or (mnemonic in BRANCHES and rest.startswith("@")):
        lines[i] = mnemonic + " " + rng.choice(BOUNDARY)
    else:
        return None
    return "operand: line %d %r -> %r" % (i + 1, old, lines[i])


def m_header(lines, rng):
    heads = [i for i, l in enumerate(lines) if HEADER.match(l)]
    if not heads:
        return None
    i = rng.choice(heads)
    old = lines[i]
    name, a, m, p, r, v = HEADER.match(old).groups()
    field = rng.choice("ampprvvvv")
    if field == "a":
        a = rng.choice("0123459x")
    elif field == "m":
        m = rng.choice("012345x")
    elif field == "p":
        n = int(p, 16) if re.match(r"^[0-9A-Fa-f]{2}$", p) else 0
        p = rng.choice(["00", "01", "04", "1F", "20", "FF"] + ["%02X" % max(0, n - 1), "%02X" % min(255, n + 1)] * 3)
    elif field == "r":
        r = rng.choice(TYPE_CODES + "xz")
    else:
        k = rng.randrange(len(v) + 1)
        c = rng.choice(TYPE_CODES)
        v = rng.choice([v[:k] + c + v[k:], v[:k] + v[k + 1:], v[:k] + c + v[k + 1:], "",
                        v + c * rng.choice([8, 24, 32, 300])])
    lines[i] = "%s[a:%s][m:%s][p:%s][r:%s][v:%s]" % (name, a, m, p, r, v)
    if lines[i] == old:
        return None
    return "header %s: line %d %r -> %r" % (field, i + 1, old, lines[i])


def declared_names(lines):
    names = set()
    for line in lines:
        t = line.split(" ")
        if t[0] in ("class", "struct", "enum") and len(t) > 1:
            names.add(t[1])
        elif t[0] == "type" and len(t) > 2:
            names.add(t[2])
    return sorted(names)


def m_metadata(lines, rng):
    i = pick(rng, lines, "METADATA")
    if i is None:
        return None
    old = lines[i]
    t = old.split(" ")
    names = declared_names(lines) + ["Undeclared"]
    if t[0] in ("0", "1") and len(t) >= 6:                       # member line
        what = rng.choice(["kind", "access", "code", "type", "length", "length", "token"])
        if what == "kind":
            t[0] = "1" if t[0] == "0" else "0"
        elif what == "access":
            t[1] = rng.choice(BOUNDARY)
        elif what == "code":
            t[2] = rng.choice(TYPE_CODES)
        elif what == "type":
            t[3] = rng.choice(names)
        elif what == "length" and t[0] == "0":
            t[5] = rng.choice(BOUNDARY + ["new", "new"])
    elif t[0] in ("class", "struct") and len(t) >= 4:
        what = rng.choice(["base", "base", "internal", "token"])
        if what == "base":
            t[2] = rng.choice(names + ["[none]", "object"])
        elif what == "internal" and t[0] == "class":
            t[3] = rng.choice(["0", "1", "-1", "255"])
    elif t[0] == "type" and len(t) == 5:
        what = rng.choice(["code", "base", "token"])
        if what == "code":
            t[1] = rng.choice(TYPE_CODES)
        elif what == "base":
            t[3] = rng.choice(names)
    elif len(t) == 2 and INT_TOKEN.match(t[1]):                  # enum member
        what = "value"
        t[1] = rng.choice(BOUNDARY)
    else:
        what = "token"
    if what == "token":                                          # a field too few or too many
        if rng.random() < 0.5 and len(t) > 1:
            del t[rng.randrange(1, len(t))]
        else:
            t.insert(rng.randrange(1, len(t) + 1), rng.choice(["0", "", "x"]))
    lines[i] = " ".join(t)
    if lines[i] == old:
        return None
    return "metadata %s: line %d %r -> %r" % (what, i + 1, old, lines[i])


MUTATORS = [(m_flip, 2), (m_delete, 2), (m_duplicate, 1), (m_swap, 1), (m_mnemonic, 3),
            (m_operand, 2), (m_header, 2), (m_metadata, 3)]


def mutate(lines, rng):
    count = rng.choices([1, 2, 3, 4], weights=[60, 25, 10, 5])[0]
    done = []
    while len(done) < count and lines:  # the smallest seeds can lose every line
        fn = rng.choices([f for f, _ in MUTATORS], weights=[w for _, w in MUTATORS])[0]
        what = fn(lines, rng)
        if what:
            done.append(what)
    return done


# --- running -----------------------------------------------------------------------------------

def limits():
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
    resource.setrlimit(resource.RLIMIT_FSIZE, (256 << 20, 256 << 20))


def assemble(tool, src, image):
    r = subprocess.run(["qemu-i386", "-L", "/", str(tool), "build", str(src), "-o", str(image)],
                       capture_output=True, timeout=60, preexec_fn=limits)
    return r.returncode == 0, r.stderr.decode("latin-1")


def run_host(qel, image, cwd, timeout):
    """(outcome, detail, first lines of standard error)."""
    with open(Path(cwd) / "stderr", "w+b") as err:
        try:
            r = subprocess.run(["qemu-i386", "-L", "/", str(qel), str(image)], cwd=cwd, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=err, timeout=timeout, preexec_fn=limits)
            rc = r.returncode
        except subprocess.TimeoutExpired:
            rc = None
        err.seek(0)
        text = err.read(2000).decode("latin-1")
    if rc is None:
        return "timeout", "%gs" % timeout, text
    return classify(-rc if rc < 0 else None, rc, text)


def classify(signum, rc, text):
    if signum is not None:
        name = signal.Signals(signum).name
        return ("limit" if name == "SIGXFSZ" else "signal"), name, text
    if rc == 1 and any(l.startswith("qel:") for l in text.splitlines()):
        return "load-refused", "1", text
    return "exit", str(rc), text


_servers = threading.local()


def run_on_server(args, work, timeout):
    """The same outcomes as assemble plus run_host, through this thread's fork server (which
    assembles and runs each mutant in a child of one long-lived emulated process)."""
    server = getattr(_servers, "proc", None)
    if server is None or server.poll() is not None:
        server = _servers.proc = subprocess.Popen(["qemu-i386", "-L", "/", args.server] + args.warm, stdin=subprocess.PIPE,
                                                  stdout=subprocess.PIPE, text=True, bufsize=1)
    server.stdin.write("%s %d\n" % (work, int(timeout * 1000)))
    answer = server.stdout.readline().split()
    text = (work / "stderr").read_bytes()[:2000].decode("latin-1") if (work / "stderr").exists() else ""
    if (work / "asm_error").exists():
        return "refused", "", (work / "asm_error").read_text("latin-1")
    if not answer:
        raise SystemExit("the fork server ended: %s" % args.server)
    if answer[0] == "timeout":
        return "timeout", "%gs" % timeout, text
    if answer[0] == "signal":
        return classify(int(answer[1]), None, text)
    return classify(None, int(answer[1]), text)


def warm_dirs(seeds, tmp):
    """A few seeds that the fork server runs in its own process before serving, so that its children
    inherit the emulator's translation of the host's code (four times the rate). Seeds that start
    threads or reach native libraries are left out: the children must inherit a quiet process."""
    plain = [s for s in seeds if not re.search(r"native|win_|thread|text_rendering|qsort|window", s[0])]
    dirs = []
    for name, lines in sorted(plain, key=lambda s: -len(s[1]))[:6]:
        d = Path(tempfile.mkdtemp(dir=tmp))
        write_lines(d / "mutant.qsrc", lines)
        dirs.append(str(d))
    return dirs


def write_lines(path, lines):
    Path(path).write_bytes(("\n".join(lines) + "\n").encode("latin-1"))


def one_mutant(args, seeds, index, tmp):
    rng = random.Random("%d/%d" % (args.seed, index))
    name, lines = rng.choice(seeds)
    lines = list(lines)
    mutations = mutate(lines, rng)
    work = Path(tempfile.mkdtemp(dir=tmp))
    src, image = work / "mutant.qsrc", work / "mutant.qel"
    write_lines(src, lines)
    start = time.time()
    if args.server:
        outcome, detail, err = run_on_server(args, work, args.timeouts[name])
    else:
        built, asm_err = assemble(args.qelasm, src, image)
        if built:
            outcome, detail, err = run_host(args.qel, image, work, args.timeouts[name])
        else:
            outcome, detail, err = "refused", "", asm_err
    if outcome == "signal" and "%s | %s" % (name, "; ".join(mutations)) in args.known_crash_set:
        outcome = "known-crash"
    rec = {"index": index, "seed_file": name, "mutations": mutations, "outcome": outcome, "detail": detail,
           "seconds": round(time.time() - start, 3), "stderr": err[:300]}
    if outcome in ("signal", "timeout"):
        keep = Path(args.out) / "crashes" / ("%06d-%s" % (index, detail if outcome == "signal" else "timeout"))
        keep.mkdir(parents=True, exist_ok=True)
        shutil.copy(src, keep / "mutant.qsrc")
        shutil.copy(image, keep / "mutant.qel")
        rec["dir"] = str(keep)
        (keep / "info.txt").write_text(
            "outcome: %s %s\nseed file: %s\ncampaign: --seed %d, mutant %d (fuzz.py --seed %d --first %d --count 1)\n"
            "mutations:\n%s\nreproduce: qemu-i386 -L / %s %s\nrebuild: qemu-i386 -L / %s build %s -o %s\n"
            "standard error:\n%s\n" % (outcome, detail, name, args.seed, index, args.seed, index,
                                       "".join("  %s\n" % m for m in mutations), args.qel, keep / "mutant.qel",
                                       args.qelasm, keep / "mutant.qsrc", keep / "mutant.qel", err),
            encoding="latin-1")
    shutil.rmtree(work, ignore_errors=True)
    return rec


def check_seeds(args, seeds, tmp):
    """Runs every seed unmutated: a seed that already fails would blame every mutant of it. A seed
    that takes long gets ten times its own time as its mutants' timeout (a loaded machine)."""
    bad = []
    for name, lines in seeds:
        work = Path(tempfile.mkdtemp(dir=tmp))
        write_lines(work / "seed.qsrc", lines)
        built, err = assemble(args.qelasm, work / "seed.qsrc", work / "seed.qel")
        start = time.time()
        outcome = run_host(args.qel, work / "seed.qel", work, args.timeout)[:2] if built else ("refused", err)
        args.timeouts[name] = max(args.timeout, 10 * (time.time() - start))
        if outcome[0] in ("signal", "timeout", "refused"):
            bad.append(name)
            print("seed %s fails unmutated: %s %s" % (name, *outcome))
        shutil.rmtree(work, ignore_errors=True)
    return bad


def known_crashes(path):
    """Lines "SEED-FILE | MUTATION; MUTATION" as the campaign prints them ('#' lines are comments)."""
    lines = open(path).read().splitlines() if path else []
    return {line.strip() for line in lines if line.strip() and not line.startswith("#")}


def cmd_run(args):
    args.known_crash_set = known_crashes(args.known_crashes)
    args.timeouts = {}
    seeds = load_seeds(args.seeds)
    out = Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    tmp = tempfile.mkdtemp(prefix="qelfuzz-")
    bad = check_seeds(args, seeds, tmp)
    seeds = [s for s in seeds if s[0] not in bad]
    args.warm = warm_dirs(seeds, tmp) if args.server else []
    counts, signals = collections.Counter(), collections.Counter()
    start = time.time()
    with open(out / "results.jsonl", "a") as log, \
            concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        jobs = (pool.submit(one_mutant, args, seeds, i, tmp) for i in range(args.first, args.first + args.count))
        # Bounded look-ahead keeps memory flat on long campaigns.
        window = collections.deque()
        for job in jobs:
            window.append(job)
            if len(window) < 4 * args.jobs:
                continue
            rec = window.popleft().result()
            report(rec, log, counts, signals, args)
        while window:
            report(window.popleft().result(), log, counts, signals, args)
    shutil.rmtree(tmp, ignore_errors=True)
    elapsed = time.time() - start
    print("%d mutants from %d seeds in %.0f s (%.1f per second), %d jobs, seed %d" %
          (args.count, len(seeds), elapsed, args.count / max(elapsed, 1e-9), args.jobs, args.seed))
    for k in ("refused", "load-refused", "exit", "limit", "known-crash", "signal", "timeout"):
        print("  %-13s %d" % (k, counts[k]))
    for s, n in signals.most_common():
        print("    %-11s %d" % (s, n))
    # A timeout is most often a loop the mutation made endless in the script itself, which the
    # host cannot refuse: it fails the campaign only when asked to.
    failed = counts["signal"] + len(bad) + (counts["timeout"] if args.fail_on_timeout else 0)
    if failed:
        print("kept in %s/crashes" % out)
    return 1 if failed and args.fail_on_crash else 0


def report(rec, log, counts, signals, args):
    log.write(json.dumps(rec) + "\n")
    counts[rec["outcome"]] += 1
    if rec["outcome"] == "signal":
        signals[rec["detail"]] += 1
    if rec["outcome"] in ("signal", "timeout"):
        print("%s %s: mutant %d of %s, %s" % (rec["outcome"], rec["detail"], rec["index"], rec["seed_file"],
                                             "; ".join(rec["mutations"])), flush=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    add_tool_args(ap)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--count", type=int, default=1000)
    ap.add_argument("--first", type=int, default=0, help="index of the first mutant")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--out", default="fuzz-out")
    ap.add_argument("--seeds", nargs="+", default=["tests/images/*.qsrc", "bench/*.qsrc"])
    ap.add_argument("--fail-on-crash", action="store_true", help="exit 1 when any mutant ends the host by a signal")
    ap.add_argument("--fail-on-timeout", action="store_true", help="exit 1 on timeouts too")
    ap.add_argument("--known-crashes", help="file of signals that do not fail the campaign")
    return cmd_run(ap.parse_args())


def add_tool_args(ap):
    ap.add_argument("--qel", default=str(ROOT / "build/qel"))
    ap.add_argument("--qelasm", default=str(ROOT / "build/qelasm"))
    ap.add_argument("--server", help="the fork server (build/qel_fuzz_server): one emulated process per job")
    ap.add_argument("--timeout", type=float, default=5.0, help="seconds a run may take (default 5)")


if __name__ == "__main__":
    sys.exit(main())
