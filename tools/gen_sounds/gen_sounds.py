#!/usr/bin/python3
"""Synthesises the game's sound effects and music into Ogg Vorbis files.

Usage: gen_sounds.py [OUTPUT_DIR] [NAME...]   (default: data/ of this repository)

Needs Debian's python3-numpy and oggenc (vorbis-tools). Everything is
computed from fixed seeds and encoded at fixed settings with a fixed stream
serial, so a run reproduces the committed files byte for byte.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from sounds import SOUNDS  # noqa: E402
from synth import RATE, encode_ogg  # noqa: E402


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out = argv[1] if len(argv) > 1 else os.path.join(here, "..", "..", "data")
    only = set(argv[2:])
    os.makedirs(out, exist_ok=True)
    rows = []
    for name, (make, loops, quality) in SOUNDS.items():
        if only and name not in only:
            continue
        x = make()
        encode_ogg(x, os.path.join(out, name), quality)
        kind = "music loop" if loops else "effect"
        what = make.__doc__.strip().splitlines()[0]
        rows.append(f"| `{name}` | {kind} | {len(x) / RATE:.2f} s | {what} |")
        print(f"{name}: {len(x) / RATE:.2f} s {kind}")
    if not only:
        with open(os.path.join(out, "SOUNDS.md"), "w") as f:
            f.write("# Sounds and music\n\n"
                    "Made by `tools/gen_sounds/gen_sounds.py`: 44100 Hz stereo Ogg Vorbis.\n\n"
                    "| File | Kind | Length | What it is |\n|---|---|---|---|\n")
            f.write("\n".join(rows) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
