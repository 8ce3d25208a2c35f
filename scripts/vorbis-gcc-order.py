#!/usr/bin/env python3
"""Rewrites libvorbis's small transform butterflies in the order GCC evaluates them.

Debian builds libvorbis with -ffast-math, and GCC then reassociates the sums of
the 16- and 32-point butterflies of the inverse transform: the decoded samples
differ in the last bit from those of a build that keeps the written order, and
after rounding to 16 bits a few hundred samples of the game's sounds differ by
one step. Clang (the browser build) keeps the written order. This script takes
GCC's optimised tree dump of mdct.c, built with Debian's flags, and writes each
named function back into mdct.c as straight-line C in exactly GCC's order of
operations, so any compiler that keeps the written order computes the same bits
as Debian's package.

  vorbis-gcc-order.py DUMP MDCT_C FUNCTION...

The functions must be one basic block of float loads, stores, +, -, * and
negations, pointer offsets and calls; anything else stops the script.
"""
import re
import sys

NAME = r"[A-Za-z_][A-Za-z0-9_.]*"
BASE = r"x_\d+\(D\)"
LOAD = re.compile(rf"^({NAME}) = (?:\*{BASE}|MEM\[\(float \*\){BASE} \+ (\d+)B\]);$")
STORE = re.compile(rf"^(?:\*{BASE}|MEM\[\(float \*\){BASE} \+ (\d+)B\]) = ({NAME});$")
BINARY = re.compile(rf"^({NAME}) = (\S+) ([-+*]) (\S+);$")
NEGATE = re.compile(rf"^({NAME}) = -({NAME});$")
OFFSET = re.compile(rf"^({NAME}) = {BASE} \+ (\d+);$")
CALL = re.compile(rf"^({NAME}) \(({NAME}(?:\(D\))?)\);(?: \[tail call\])?$")
CONSTANT = re.compile(r"^-?\d+\.\d+e[-+]\d+$")


def fail(message):
    sys.exit(f"vorbis-gcc-order: {message}")


def body_of(dump, function):
    """The statements of FUNCTION's single basic block in the dump."""
    match = re.search(rf"^;; Function {function} .*?^\{{\n(.*?)^\}}", dump, re.S | re.M)
    if not match:
        fail(f"{function} is not in the dump")
    lines = [l.strip() for l in match.group(1).splitlines()]
    blocks = [l for l in lines if l.startswith("<bb ")]
    if len(blocks) != 1:
        fail(f"{function} has {len(blocks)} basic blocks")
    start = lines.index(blocks[0]) + 1
    return [l for l in lines[start:] if l and l != "return;"]


def local(name):
    return "t" + name if name.startswith("_") else name.replace(".", "_")


def operand(token, pointers):
    if CONSTANT.match(token):
        return token + "f"
    if token in pointers:
        fail(f"pointer {token} used in arithmetic")
    return local(token)


def element(offset):
    if offset is None:
        return "x[0]"
    byte = int(offset)
    if byte % 4:
        fail(f"unaligned offset {byte}")
    return f"x[{byte // 4}]"


def translate(function, statements):
    out = [f"STIN void {function}(DATA_TYPE *x){{"]
    pointers = {}
    for s in statements:
        if m := LOAD.match(s):
            out.append(f"  const float {local(m[1])} = {element(m[2])};")
        elif m := STORE.match(s):
            out.append(f"  {element(m[1])} = {local(m[2])};")
        elif m := OFFSET.match(s):
            if int(m[2]) % 4:
                fail(f"unaligned pointer offset in {s}")
            pointers[m[1]] = f"x+{int(m[2]) // 4}"
        elif m := CALL.match(s):
            arg = pointers.get(m[2], "x" if re.fullmatch(BASE, m[2]) else None)
            if arg is None:
                fail(f"call with an unknown argument: {s}")
            out.append(f"  {m[1]}({arg});")
        elif m := NEGATE.match(s):
            out.append(f"  const float {local(m[1])} = -{operand(m[2], pointers)};")
        elif m := BINARY.match(s):
            a, b = operand(m[2], pointers), operand(m[4], pointers)
            out.append(f"  const float {local(m[1])} = {a} {m[3]} {b};")
        else:
            fail(f"cannot translate in {function}: {s}")
    out.append("}")
    return "\n".join(out) + "\n"


def replace(source, function, code):
    head = re.compile(rf"^STIN void {function}\(DATA_TYPE \*x\)\{{\n.*?^\}}\n", re.S | re.M)
    if len(head.findall(source)) != 1:
        fail(f"{function} not found once in mdct.c")
    note = "/* Written out in the order of operations of Debian's -ffast-math build. */\n"
    return head.sub(lambda _: note + code, source)


def main():
    if len(sys.argv) < 4:
        fail("usage: vorbis-gcc-order.py DUMP MDCT_C FUNCTION...")
    dump_path, mdct_path, functions = sys.argv[1], sys.argv[2], sys.argv[3:]
    dump = open(dump_path).read()
    source = open(mdct_path).read()
    for function in functions:
        source = replace(source, function, translate(function, body_of(dump, function)))
    open(mdct_path, "w").write(source)


if __name__ == "__main__":
    main()
