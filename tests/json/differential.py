#!/usr/bin/env python3
"""Differential test of the JSON parser against Python's json module.

Random documents are made from random values and serialized with json.dumps (every combination of
indentation, ASCII escaping and separators), plus arrays of number texts written digit by digit
(exponents, long mantissas, the ends of the double range) and mutations of valid documents (a
character deleted, inserted, replaced or the text cut). Python's json.loads, with NaN and Infinity
refused, is the judge: the native parser must accept exactly the documents Python accepts and give
the same tree, integers within 64 bits as Integer, every other number as the nearest double. The
tree's serialized text must load in Python to the same values (doubles to the 6 digits of %g).

usage: differential.py --driver PROGRAM [--runner 'qemu-i386 -L /'] [--seed N] [--count N]
"""
import argparse
import json
import math
import os
import random
import re
import struct
import subprocess
import sys
import tempfile


class Obj:
    """An object with its members in document order, duplicates kept."""

    def __init__(self, pairs):
        self.pairs = pairs


def refuse_constant(name):
    raise ValueError(name)


def py_load(text):
    return json.loads(text, object_pairs_hook=Obj, parse_constant=refuse_constant)


def units_hex(s):
    return s.encode("utf-16-be", "surrogatepass").hex()


def as_double(i):
    try:
        return float(i)
    except OverflowError:
        return math.inf if i > 0 else -math.inf


def expected_tokens(v):
    """The pre-order tokens the native dump prints for a Python value."""
    out = []
    todo = [(None, v)]
    while todo:
        key, v = todo.pop()
        if key is not None:
            out.append(("K", units_hex(key)))
        if isinstance(v, Obj):
            out.append(("O", len(v.pairs)))
            todo.extend(reversed(v.pairs))
        elif isinstance(v, list):
            out.append(("A", len(v)))
            todo.extend((None, x) for x in reversed(v))
        elif isinstance(v, bool):
            out.append(("B", int(v)))
        elif isinstance(v, int):
            out.append(("I", v) if -(2**63) <= v < 2**63 else ("D", as_double(v)))
        elif isinstance(v, float):
            out.append(("D", v))
        elif isinstance(v, str):
            out.append(("S", units_hex(v)))
        elif v is None:
            out.append(("N", None))
    return out


def native_tokens(lines):
    out = []
    for line in lines:
        tag, _, rest = line.partition(" ")
        if tag in ("O", "A", "B"):
            out.append((tag, int(rest)))
        elif tag == "I":
            out.append((tag, int(rest)))
        elif tag == "D":
            out.append((tag, float.fromhex(rest)))
        elif tag in ("K", "S"):
            out.append((tag, rest))
        elif tag == "N":
            out.append((tag, None))
        else:
            out.append((tag, rest))
    return out


def same_double(a, b):
    return a == b and math.copysign(1, a) == math.copysign(1, b) or (a != a and b != b)


def same_tokens(a, b, close=False):
    if len(a) != len(b):
        return False
    for (ta, va), (tb, vb) in zip(a, b):
        if ta != tb:
            return False
        if ta == "D":
            if close:
                if not (va == vb or math.isclose(va, vb, rel_tol=1e-5, abs_tol=3e-308)):
                    return False
            elif not same_double(va, vb):
                return False
        elif va != vb:
            return False
    return True


# ---- random documents ----

ASCII = [chr(c) for c in range(0x20, 0x7F)]
SPECIAL = ['"', "\\", "/", "\b", "\f", "\n", "\r", "\t", "\x00", "\x01", "\x1f", "\x7f"]
WIDE = ["\u00e9", "\u00a0", "\u2028", "\u4e2d", "\ufeff", "\uffff", "\U0001F600", "\U00010000", "\U0010FFFF"]
LONE = ["\ud800", "\udbff", "\udc00", "\udfff"]


def rand_string(rng):
    n = rng.choice([0, 1, 2, 5, 12, 40])
    pools = [ASCII] * 6 + [SPECIAL] * 2 + [WIDE] * 2 + [LONE]
    return "".join(rng.choice(rng.choice(pools)) for _ in range(n))


def rand_int(rng):
    k = rng.random()
    if k < 0.4:
        return rng.randint(-1000, 1000)
    if k < 0.6:
        return rng.choice([2**63 - 1, -(2**63), 2**63, -(2**63) - 1, 2**64, 0, -1]) + rng.randint(-2, 2)
    if k < 0.8:
        return rng.randint(-(2**63), 2**63 - 1)
    return rng.choice([1, -1]) * rng.randint(1, 10 ** rng.randint(19, 400))


def rand_float(rng):
    k = rng.random()
    if k < 0.4:
        while True:
            d = struct.unpack("<d", struct.pack("<Q", rng.getrandbits(64)))[0]
            if math.isfinite(d):
                return d
    if k < 0.6:
        return rng.choice([0.0, -0.0, 0.1, 0.5, 1.5, 2.0, 1e-300, 5e-324, 2.2250738585072014e-308,
                           2.225073858507201e-308, 1.7976931348623157e308, 1e22, 1e23, 9007199254740993.0])
    if k < 0.8:
        return rng.uniform(-1e6, 1e6)
    return struct.unpack("<d", struct.pack("<Q", rng.getrandbits(52)))[0] * rng.choice([1, -1])  # denormals


def rand_value(rng, depth):
    k = rng.random()
    if depth < 6 and k < 0.35:
        if rng.random() < 0.5:
            return [rand_value(rng, depth + 1) for _ in range(rng.randint(0, 6))]
        return {rand_string(rng): rand_value(rng, depth + 1) for _ in range(rng.randint(0, 6))}
    k = rng.random()
    if k < 0.25:
        return rand_int(rng)
    if k < 0.5:
        return rand_float(rng)
    if k < 0.8:
        return rand_string(rng)
    return rng.choice([True, False, None])


def rand_number_text(rng):
    """A number written digit by digit, as json.dumps never writes one."""
    if rng.random() < 0.4:  # up to 17 significant digits and small exponents: one exact operation
        digits = "".join(rng.choice("0123456789") for _ in range(rng.randint(1, 17))).lstrip("0") or "0"
        point = rng.randint(0, len(digits))
        s = rng.choice(["", "-"]) + (digits[:point] or "0") + ("." + digits[point:] if point < len(digits) else "")
        return s + (rng.choice(["e", "E-", "e+"]) + str(rng.randint(0, 25)) if rng.random() < 0.6 else "")
    s = rng.choice(["", "-"])
    s += rng.choice(["0", str(rng.randint(1, 9)) + "".join(rng.choice("0123456789") for _ in range(rng.choice([0, 3, 18, 19, 20, 40, 400])))])
    if rng.random() < 0.6:
        s += "." + "".join(rng.choice("0123456789") for _ in range(rng.choice([1, 5, 17, 30, 350])))
    if rng.random() < 0.7:
        s += rng.choice("eE") + rng.choice(["", "+", "-"]) + str(rng.choice([0, 1, 22, 23, 300, 307, 308, 309, 320, 323, 324, 330, 400, 99999, 10**20]))
    return s


def dumps(rng, v):
    indent = rng.choice([None, None, 0, 2, "\t"])
    seps = rng.choice([None, (",", ":"), (" , ", " : ")])
    text = json.dumps(v, ensure_ascii=rng.random() < 0.5, allow_nan=False, indent=indent, separators=seps)
    if rng.random() < 0.3:  # escapes json.dumps does not write: "/" only occurs inside strings
        text = text.replace("/", "\\/")
    if rng.random() < 0.3:
        text = re.sub(r"\\u[0-9a-f]{4}", lambda m: m.group(0).upper().replace("\\U", "\\u"), text)
    return rng.choice(["", " ", "\r\n\t "]) + text + rng.choice(["", "\n", "  \t"])


MUTATION_CHARS = list('{}[],:"\\ -+.eE0123456789tfnrlu\x00\x01\t\n\u00e9') + ["\ud800", "x", "'"]


def mutate(rng, text):
    for _ in range(rng.randint(1, 3)):
        if not text:
            break
        i = rng.randrange(len(text) + 1)
        op = rng.random()
        if op < 0.3:
            text = text[:i] + text[i + 1:]
        elif op < 0.6:
            text = text[:i] + rng.choice(MUTATION_CHARS) + text[i:]
        elif op < 0.9:
            text = text[:i] + rng.choice(MUTATION_CHARS) + text[i + 1:]
        else:
            text = text[:i]
    return text


def documents(rng, count):
    docs = []
    for _ in range(count):
        docs.append(dumps(rng, rand_value(rng, 0)))
    for _ in range(count // 4):
        docs.append("[" + ",".join(rand_number_text(rng) for _ in range(rng.randint(1, 8))) + "]")
    small = [d for d in docs if len(d) < 300]
    for _ in range(count):
        docs.append(mutate(rng, rng.choice(small)))
    return docs


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--driver", required=True)
    ap.add_argument("--runner", default="")
    ap.add_argument("--seed", type=int, default=20240531)
    ap.add_argument("--count", type=int, default=1200)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    docs = documents(rng, args.count)

    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "docs.bin")
        with open(path, "wb") as f:
            for d in docs:
                data = d.encode("utf-16-le", "surrogatepass")
                f.write(struct.pack("<I", len(data) // 2) + data)
        runner = args.runner.split()
        out = subprocess.run(runner + [args.driver, path], stdout=subprocess.PIPE, check=True).stdout.decode()

    results = out.split("=\n")[1:]
    if len(results) != len(docs):
        print(f"driver answered {len(results)} of {len(docs)} documents")
        return 1
    failures = accepted = 0
    for doc, res in zip(docs, results):
        lines = res.splitlines()
        try:
            value = py_load(doc)
        except (ValueError, RecursionError):
            value = None
            valid = False
        else:
            valid = True
        problem = None
        if lines == ["R"]:
            if valid:
                problem = "rejected a valid document"
        elif not valid:
            problem = "accepted an invalid document"
        else:
            accepted += 1
            tree, text = lines[:-1], lines[-1]
            if "P" in tree:
                problem = "a parent link is wrong"
            elif not same_tokens(native_tokens(tree), expected_tokens(value)):
                problem = "tree differs:\n  native   " + " ".join(tree)[:600] + "\n  expected " + repr(expected_tokens(value))[:600]
            elif not text.startswith("T "):
                problem = "serialization refused"
            else:
                serialized = bytes.fromhex(text[2:]).decode("utf-16-be", "surrogatepass")
                try:
                    again = py_load(serialized)
                except ValueError as e:
                    problem = f"serialized text is not JSON ({e}): {serialized[:200]!r}"
                else:
                    if not same_tokens(expected_tokens(again), expected_tokens(value), close=True):
                        problem = f"serialized text loads differently: {serialized[:200]!r}"
        if problem:
            failures += 1
            if failures <= 10:
                print(f"{problem}\n  document {doc[:300]!r}")
    print(f"seed {args.seed}: {len(docs)} documents, {accepted} accepted by both, {failures} disagreements")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
