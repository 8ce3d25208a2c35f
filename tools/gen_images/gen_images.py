#!/usr/bin/python3
"""Draws the game's eight embedded images.

Usage: gen_images.py [OUTPUT_DIR]   (default: assets/graphx of this repository)

Runs on Debian's python3-pil and python3-numpy; the makers' logo and the
title use the Play font (fonts-play). Output is deterministic: the same
packages give the same bytes, so the committed PNGs can be checked against
a fresh run.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import backdrop  # noqa: E402
import logos  # noqa: E402
import sprites  # noqa: E402
from canvas import save_png  # noqa: E402

# file name: (maker, (width, height))
IMAGES = {
    "qvlogo.png": (logos.makers_logo, (420, 236)),
    "dmpointer.png": (logos.pointer, (18, 18)),
    "kvora_sf01.png": (sprites.sheet, (640, 173)),
    "kvora_bd01.png": (backdrop.moon_plain, (640, 480)),
    "kvora_bd02.png": (backdrop.night_sky, (640, 292)),
    "kvora_mt01.png": (backdrop.near_ridge, (230, 58)),
    "kvora_mt02.png": (backdrop.far_ridge, (140, 89)),
    "kvora3D_title.png": (logos.title_logo, (422, 141)),
}


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out = argv[1] if len(argv) > 1 else os.path.join(here, "..", "..", "assets", "graphx")
    only = set(argv[2:])
    os.makedirs(out, exist_ok=True)
    for name, (make, (w, h)) in IMAGES.items():
        if only and name not in only:
            continue
        img = make()
        if img.shape != (h, w, 3):
            raise SystemExit(f"{name}: drew {img.shape[1]}x{img.shape[0]}, expected {w}x{h}")
        save_png(img, os.path.join(out, name))
        print(f"{name}: {w}x{h}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
