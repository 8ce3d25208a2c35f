#!/usr/bin/python3
"""Draws the program's icon at the sizes of the hicolor theme.

Usage: icons.py [GRAPHX_DIR [OUTPUT_DIR]]
  (defaults: assets/graphx and assets/icons of this repository)

The icon is made from the game's own art, as gen_images.py draws it: the
Earth in the night sky and the player's ship, on a rounded square whose
corners are transparent. Every size is reduced from one 1024-pixel master
with a fixed filter, so the same packages give the same bytes.
"""
import os
import sys

import numpy as np
from PIL import Image, ImageDraw

SIZES = (16, 32, 48, 64, 128, 256)
MASTER = 1024


def _rounded_mask(size, radius):
    m = Image.new("L", (size, size), 0)
    ImageDraw.Draw(m).rounded_rectangle((0, 0, size - 1, size - 1), radius=radius, fill=255)
    return m


def master(graphx):
    sky = Image.open(os.path.join(graphx, "kvora_bd02.png")).convert("RGB")
    sheet = Image.open(os.path.join(graphx, "kvora_sf01.png")).convert("RGB")
    # A square of sky with the Earth in its upper right part.
    back = sky.crop((380, 10, 600, 230)).resize((MASTER, MASTER), Image.LANCZOS)
    # The ship (frame 0 of the sheet); black is its transparent colour.
    ship = sheet.crop((1, 1, 187, 79))
    w = int(MASTER * 0.92)
    h = int(round(ship.height * w / ship.width))
    ship_big = ship.resize((w, h), Image.LANCZOS)
    alpha = np.asarray(ship.convert("L").point(lambda v: 255 if v > 8 else 0).resize((w, h), Image.LANCZOS))
    x, y = (MASTER - w) // 2, MASTER - h - MASTER // 10
    back.paste(ship_big, (x, y), Image.fromarray(alpha, "L"))
    icon = back.convert("RGBA")
    icon.putalpha(_rounded_mask(MASTER, MASTER // 6))
    return icon


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.join(here, "..", "..")
    graphx = argv[1] if len(argv) > 1 else os.path.join(root, "assets", "graphx")
    out = argv[2] if len(argv) > 2 else os.path.join(root, "assets", "icons")
    os.makedirs(out, exist_ok=True)
    big = master(graphx)
    for s in SIZES:
        path = os.path.join(out, f"kelvora3d-{s}.png")
        big.resize((s, s), Image.LANCZOS).save(path, optimize=False, compress_level=9)
        print(f"kelvora3d-{s}.png: {s}x{s}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
