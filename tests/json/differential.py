#!/usr/bin/env python3
"""The JSON parser against Python's json module (the judge, with NaN and Infinity refused).

Documents: random values through json.dumps (indentation, ASCII escaping and separators varied,
"\\/" and upper-case \\u escapes mixed in), arrays of number texts written digit by digit, and
valid documents with a few characters deleted, inserted or replaced. The native parser must
accept exactly what Python accepts and build the same tree (integers within 64 bits as Integer,
all other numbers as the nearest double); the tree's serialized text must load in Python to the
same values (doubles to the 6 digits of %g).

usage: differential.py --driver PROGRAM [--runner 'qemu-i386 -L /'] [--seed N] [--count N]
"""
import argparse, json, math, os, random, re, struct, subprocess, sys, tempfile


class Obj:  # an object's members in document order, duplicates kept
    def __init__(self, pairs):
        self.pairs = pairs


def load(text):
    def refuse(name):
        raise ValueError(name)
    return json.loads(text, object_pairs_hook=Obj, parse_constant=refuse)


def units(s):
    return s.encode("utf-16-be", "surrogatepass").hex()


def double(x):
    try:
        return float(x).hex()
    except OverflowError:
        return "inf" if x > 0 else "-inf"


def tokens(v):
    """The pre-order lines the native dump prints for a Python value (doubles as float.hex)."""
    out, todo = [], [(None, v)]
    while todo:
        key, v = todo.pop()
        if key is not None:
            out.append("K " + units(key))
        if isinstance(v, Obj):
            out.append(f"O {len(v.pairs)}")
            todo.extend(reversed(v.pairs))
        elif isinstance(v, list):
            out.append(f"A {len(v)}")
            todo.extend((None, x) for x in reversed(v))
        elif isinstance(v, bool):
            out.append(f"B {int(v)}")
        elif isinstance(v, int) and -(2**63) <= v < 2**63:
            out.append(f"I {v}")
        elif isinstance(v, (int, float)):
            out.append("D " + double(v))
        elif isinstance(v, str):
            out.append("S " + units(v))
        else:
            out.append("N")
    return out


def close(a, b):
    """Equal trees, doubles within the 6 digits of %g."""
    if len(a) != len(b):
        return False
    for x, y in zip(a, b):
        if x[:2] == y[:2] == "D ":
            p, q = float.fromhex(x[2:]), float.fromhex(y[2:])
            if not (p == q or math.isclose(p, q, rel_tol=1e-5, abs_tol=1e-318)):
                return False
        elif x != y:
            return False
    return True


ASCII = [chr(c) for c in range(0x20, 0x7F)]
SPECIAL = ['"', "\\", "/", "\b", "\f", "\n", "\r", "\t", "\x00", "\x01", "\x1f", "\x7f"]
WIDE = ["\u00e9", "\u00a0", "\u2028", "\u4e2d", "\ufeff", "\uffff", "\U0001F600", "\U0010FFFF"]
LONE = ["\ud800", "\udbff", "\udc00", "\udfff"]


def rand_string(rng):
    pools = [ASCII] * 6 + [SPECIAL] * 2 + [WIDE] * 2 + [LONE]
    return "".join(rng.choice(rng.choice(pools)) for _ in range(rng.choice([0, 1, 2, 5, 12, 40])))


def rand_number(rng):
    k = rng.random()
    if k < 0.2:
        return rng.randint(-1000, 1000)
    if k < 0.35:
        return rng.choice([2**63 - 1, -(2**63), 2**63, -(2**63) - 1, 2**64]) + rng.randint(-2, 2)
    if k < 0.45:
        return rng.choice([1, -1]) * rng.randint(1, 10 ** rng.randint(19, 400))
    if k < 0.65:
        while True:
            d = struct.unpack("<d", struct.pack("<Q", rng.getrandbits(64)))[0]
            if math.isfinite(d):
                return d
    if k < 0.8:
        return rng.choice([0.0, -0.0, 0.1, 1.5, 1e-300, 5e-324, 2.225073858507201e-308, 1.7976931348623157e308,
                           1e22, 1e23, 9007199254740993.0, rng.uniform(-1e6, 1e6)])
    return struct.unpack("<d", struct.pack("<Q", rng.getrandbits(52)))[0]  # denormals


def rand_value(rng, depth):
    if depth < 6 and rng.random() < 0.35:
        if rng.random() < 0.5:
            return [rand_value(rng, depth + 1) for _ in range(rng.randint(0, 6))]
        return {rand_string(rng): rand_value(rng, depth + 1) for _ in range(rng.randint(0, 6))}
    k = rng.random()
    return rand_number(rng) if k < 0.5 else rand_string(rng) if k < 0.8 else rng.choice([True, False, None])


def rand_number_text(rng):
    """A number written digit by digit, as json.dumps never writes one."""
    digits = lambda n: "".join(rng.choice("0123456789") for _ in range(n))
    sign = rng.choice(["", "-"])
    if rng.random() < 0.4:  # short decimals with small exponents: one exact operation
        m = digits(rng.randint(1, 17)).lstrip("0") or "0"
        at = rng.randint(0, len(m))
        s = sign + (m[:at] or "0") + ("." + m[at:] if at < len(m) else "")
        return s + (rng.choice(["e", "E-", "e+"]) + str(rng.randint(0, 25)) if rng.random() < 0.6 else "")
    s = sign + rng.choice(["0", str(rng.randint(1, 9)) + digits(rng.choice([0, 3, 18, 19, 20, 40, 400]))])
    if rng.random() < 0.6:
        s += "." + digits(rng.choice([1, 5, 17, 30, 350]))
    if rng.random() < 0.7:
        s += rng.choice("eE") + rng.choice(["", "+", "-"]) + str(rng.choice([0, 22, 23, 300, 308, 309, 323, 324, 400, 10**20]))
    return s


def dumps(rng, v):
    text = json.dumps(v, ensure_ascii=rng.random() < 0.5, allow_nan=False, indent=rng.choice([None, None, 0, 2, "\t"]),
                      separators=rng.choice([None, (",", ":"), (" , ", " : ")]))
    if rng.random() < 0.3:  # "/" occurs only inside strings
        text = text.replace("/", "\\/")
    if rng.random() < 0.3:
        text = re.sub(r"\\u[0-9a-f]{4}", lambda m: "\\u" + m.group(0)[2:].upper(), text)
    return rng.choice(["", " ", "\r\n\t "]) + text + rng.choice(["", "\n", "  \t"])


def mutate(rng, text):
    chars = list('{}[],:"\\ -+.eE0123456789tfnrlu\x00\x01\t\n\u00e9x\'') + ["\ud800"]
    for _ in range(rng.randint(1, 3)):
        i, op = rng.randrange(len(text) + 1), rng.random()
        if op < 0.3:
            text = text[:i] + text[i + 1:]
        elif op < 0.9:
            text = text[:i] + rng.choice(chars) + text[i + (op >= 0.6):]
        else:
            text = text[:i]
    return text


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--driver", required=True)
    ap.add_argument("--runner", default="")
    ap.add_argument("--seed", type=int, default=20240531)
    ap.add_argument("--count", type=int, default=1200)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    docs = [dumps(rng, rand_value(rng, 0)) for _ in range(args.count)]
    docs += ["[" + ",".join(rand_number_text(rng) for _ in range(rng.randint(1, 8))) + "]" for _ in range(args.count // 4)]
    small = [d for d in docs if len(d) < 300]
    docs += [mutate(rng, rng.choice(small)) for _ in range(args.count)]

    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "docs.bin")
        with open(path, "wb") as f:
            for d in docs:
                data = d.encode("utf-16-le", "surrogatepass")
                f.write(struct.pack("<I", len(data) // 2) + data)
        out = subprocess.run(args.runner.split() + [args.driver, path], stdout=subprocess.PIPE, check=True).stdout.decode()

    results = out.split("=\n")[1:]
    if len(results) != len(docs):
        print(f"the driver answered {len(results)} of {len(docs)} documents")
        return 1
    failures = accepted = 0
    for doc, res in zip(docs, results):
        lines = res.splitlines()
        try:
            value, valid = load(doc), True
        except ValueError:
            value, valid = None, False
        problem = None
        if (lines == ["R"]) == valid:
            problem = "rejected a valid document" if valid else "accepted an invalid document"
        elif valid:
            accepted += 1
            tree = [l if not l.startswith("D ") else "D " + float.fromhex(l[2:]).hex() for l in lines[:-1]]
            if tree != tokens(value):
                problem = "the tree differs:\n  native   " + " | ".join(tree)[:500] + "\n  expected " + " | ".join(tokens(value))[:500]
            elif not lines[-1].startswith("T "):
                problem = "the serialization was refused"
            else:
                text = bytes.fromhex(lines[-1][2:]).decode("utf-16-be", "surrogatepass")
                try:
                    if not close(tokens(load(text)), tokens(value)):
                        problem = f"the serialized text loads differently: {text[:200]!r}"
                except ValueError as e:
                    problem = f"the serialized text is not JSON ({e}): {text[:200]!r}"
        if problem:
            failures += 1
            if failures <= 10:
                print(f"{problem}\n  document {doc[:300]!r}")
    print(f"seed {args.seed}: {len(docs)} documents, {accepted} accepted by both, {failures} disagreements")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
