#!/usr/bin/env python3
"""Writes libvorbis's small transform butterflies in the order GCC evaluates them.

Debian builds libvorbis with -ffast-math, and GCC then reassociates the sums of
the 16- and 32-point butterflies of the inverse transform: the decoded samples
differ in the last bit from those of a build that keeps the written order, and
after rounding to 16 bits a few hundred samples of the game's sounds differ by
one step. Clang (the browser build) keeps the written order. This script builds
mdct.c of the libvorbis kept in third_party/debian-sources with GCC and
Debian's flags, reads GCC's optimised tree dump and writes each butterfly back
as straight-line C in exactly GCC's order of operations, so any compiler that
keeps the written order computes the same bits as Debian's package. The result
is committed as third_party/vorbis/mdct-gcc-order.patch, which
scripts/web-deps.sh applies; GCC's dump text is not a stable interface, so the
browser build never reads it.

  vorbis-gcc-order.py write   regenerates the patch with this machine's GCC
  vorbis-gcc-order.py check   compares the patch with what this GCC gives:
                              status 0 the same, 1 different, 77 (skipped)
                              when GCC's dump can no longer be read

The butterflies must be one basic block of float loads, stores, +, -, * and
negations, pointer offsets and calls; anything else is reported as unreadable.
"""
import difflib
import glob
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCES = os.path.join(ROOT, "third_party", "debian-sources")
PATCH = os.path.join(ROOT, "third_party", "vorbis", "mdct-gcc-order.patch")
FUNCTIONS = ("mdct_butterfly_16", "mdct_butterfly_32")
# Debian's CFLAGS for libvorbis, without vectorisation (which the butterflies'
# straight-line code does not need and the translation cannot read).
GCC_FLAGS = ["-O2", "-ffast-math", "-mno-ieee-fp", "-fsigned-char", "-fno-tree-vectorize",
             "-D_REENTRANT", "-DUSE_MEMORY_H"]
HEADER = """\
libvorbis's 16- and 32-point butterflies (lib/mdct.c) in the order of operations
GCC gives them with Debian's flags. Written by scripts/vorbis-gcc-order.py write,
applied by scripts/web-deps.sh.

"""

NAME = r"[A-Za-z_][A-Za-z0-9_.]*"
BASE = r"x_\d+\(D\)"
LOAD = re.compile(rf"^({NAME}) = (?:\*{BASE}|MEM\[\(float \*\){BASE} \+ (\d+)B\]);$")
STORE = re.compile(rf"^(?:\*{BASE}|MEM\[\(float \*\){BASE} \+ (\d+)B\]) = ({NAME});$")
BINARY = re.compile(rf"^({NAME}) = (\S+) ([-+*]) (\S+);$")
NEGATE = re.compile(rf"^({NAME}) = -({NAME});$")
OFFSET = re.compile(rf"^({NAME}) = {BASE} \+ (\d+);$")
CALL = re.compile(rf"^({NAME}) \(({NAME}(?:\(D\))?)\);(?: \[tail call\])?$")
CONSTANT = re.compile(r"^-?\d+\.\d+e[-+]\d+$")


class Unreadable(Exception):
    """GCC's dump is not in the form this script translates."""


def body_of(dump, function):
    """The statements of FUNCTION's single basic block in the dump."""
    match = re.search(rf"^;; Function {function} .*?^\{{\n(.*?)^\}}", dump, re.S | re.M)
    if not match:
        raise Unreadable(f"{function} is not in the dump")
    lines = [l.strip() for l in match.group(1).splitlines()]
    blocks = [l for l in lines if l.startswith("<bb ")]
    if len(blocks) != 1:
        raise Unreadable(f"{function} has {len(blocks)} basic blocks")
    start = lines.index(blocks[0]) + 1
    return [l for l in lines[start:] if l and l != "return;"]


def local(name):
    return "t" + name if name.startswith("_") else name.replace(".", "_")


def operand(token, pointers):
    if CONSTANT.match(token):
        return token + "f"
    if token in pointers:
        raise Unreadable(f"pointer {token} used in arithmetic")
    return local(token)


def element(offset):
    if offset is None:
        return "x[0]"
    byte = int(offset)
    if byte % 4:
        raise Unreadable(f"unaligned offset {byte}")
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
                raise Unreadable(f"unaligned pointer offset in {s}")
            pointers[m[1]] = f"x+{int(m[2]) // 4}"
        elif m := CALL.match(s):
            arg = pointers.get(m[2], "x" if re.fullmatch(BASE, m[2]) else None)
            if arg is None:
                raise Unreadable(f"call with an unknown argument: {s}")
            out.append(f"  {m[1]}({arg});")
        elif m := NEGATE.match(s):
            out.append(f"  const float {local(m[1])} = -{operand(m[2], pointers)};")
        elif m := BINARY.match(s):
            a, b = operand(m[2], pointers), operand(m[4], pointers)
            out.append(f"  const float {local(m[1])} = {a} {m[3]} {b};")
        else:
            raise Unreadable(f"cannot translate in {function}: {s}")
    out.append("}")
    return "\n".join(out) + "\n"


def replace(source, function, code):
    head = re.compile(rf"^STIN void {function}\(DATA_TYPE \*x\)\{{\n.*?^\}}\n", re.S | re.M)
    if len(head.findall(source)) != 1:
        sys.exit(f"vorbis-gcc-order: {function} is not found once in mdct.c")
    note = "/* Written out in the order of operations of Debian's -ffast-math build. */\n"
    return head.sub(lambda _: note + code, source)


def run(*command, cwd=None):
    result = subprocess.run(command, cwd=cwd, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"vorbis-gcc-order: {' '.join(command)} failed:\n{result.stdout}{result.stderr}")


def pin(package):
    """PACKAGE=VERSION of the one version kept in third_party/debian-sources."""
    found = glob.glob(os.path.join(SOURCES, f"{package}_*.dsc"))
    if len(found) != 1:
        sys.exit(f"vorbis-gcc-order: {len(found)} versions of {package} in {SOURCES}")
    return f"{package}={os.path.basename(found[0])[len(package) + 1:-4]}"


def mdct_sources(work):
    """The pristine mdct.c and GCC's order of it (or Unreadable)."""
    run(os.path.join(ROOT, "scripts", "unpack-dep-sources.sh"), work, pin("libvorbis"), pin("libogg"))
    vorbis, = glob.glob(os.path.join(work, "libvorbis-*"))
    ogg, = glob.glob(os.path.join(work, "libogg-*"))
    # libogg's type header, as its build would make it for this compiler.
    template = open(os.path.join(ogg, "include", "ogg", "config_types.h.in")).read()
    for key, value in (("INCLUDE_INTTYPES_H", "0"), ("INCLUDE_STDINT_H", "1"), ("INCLUDE_SYS_TYPES_H", "0"),
                       ("SIZE16", "int16_t"), ("USIZE16", "uint16_t"), ("SIZE32", "int32_t"),
                       ("USIZE32", "uint32_t"), ("SIZE64", "int64_t"), ("USIZE64", "uint64_t")):
        template = template.replace(f"@{key}@", value)
    open(os.path.join(ogg, "include", "ogg", "config_types.h"), "w").write(template)
    mdct = os.path.join(vorbis, "lib", "mdct.c")
    dump = os.path.join(work, "mdct.tree")
    run("gcc", "-c", *GCC_FLAGS, "-I" + os.path.join(vorbis, "lib"), "-I" + os.path.join(vorbis, "include"),
        "-I" + os.path.join(ogg, "include"), f"-fdump-tree-optimized={dump}", mdct,
        "-o", os.path.join(work, "mdct.o"))
    pristine = open(mdct).read()
    ordered = pristine
    tree = open(dump).read()
    for function in FUNCTIONS:
        ordered = replace(ordered, function, translate(function, body_of(tree, function)))
    return pristine, ordered


def committed(work, pristine):
    """mdct.c with the committed patch applied."""
    os.makedirs(os.path.join(work, "committed", "lib"))
    path = os.path.join(work, "committed", "lib", "mdct.c")
    open(path, "w").write(pristine)
    run("patch", "-s", "-p1", "--forward", "--no-backup-if-mismatch", "-i", PATCH, cwd=os.path.join(work, "committed"))
    return open(path).read()


def main():
    if len(sys.argv) != 2 or sys.argv[1] not in ("write", "check"):
        sys.exit("usage: vorbis-gcc-order.py write|check")
    with tempfile.TemporaryDirectory() as work:
        try:
            pristine, ordered = mdct_sources(work)
        except Unreadable as e:
            if sys.argv[1] == "write":
                sys.exit(f"vorbis-gcc-order: this GCC's dump cannot be read ({e}); the patch is left as it is")
            print(f"vorbis-gcc-order: SKIPPED: this GCC's dump cannot be read ({e}), so the committed "
                  "butterflies are not checked")
            sys.exit(77)
        if sys.argv[1] == "write":
            diff = difflib.unified_diff(pristine.splitlines(True), ordered.splitlines(True),
                                        "a/lib/mdct.c", "b/lib/mdct.c")
            os.makedirs(os.path.dirname(PATCH), exist_ok=True)
            open(PATCH, "w").write(HEADER + "".join(diff))
            print(f"vorbis-gcc-order: wrote {PATCH}")
            return
        if not os.path.exists(PATCH):
            sys.exit(f"vorbis-gcc-order: {PATCH} is missing (vorbis-gcc-order.py write makes it)")
        current = committed(work, pristine)
        if current == ordered:
            print("vorbis-gcc-order: the committed butterflies are in this GCC's order")
            return
        sys.stdout.writelines(difflib.unified_diff(current.splitlines(True), ordered.splitlines(True),
                                                   "committed", "this GCC"))
        print("vorbis-gcc-order: FAILED: this GCC orders libvorbis's butterflies differently from "
              f"{os.path.relpath(PATCH, ROOT)} (above). Run scripts/vorbis-gcc-order.py write, raise "
              "RECIPE in scripts/web-deps.sh and run scripts/web-replay.sh: the browser's sound must "
              "stay the desktop's, bit for bit.")
        sys.exit(1)


if __name__ == "__main__":
    main()
