#!/usr/bin/python3
"""Draws a contact sheet of the committed images: a mock-up of a play frame
composed the way the game draws it, then every image on its own, labelled.

Usage: contact_sheet.py [OUTPUT_PNG]   (default: assets/contact_sheet.png)
"""
import os
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from canvas import FONT_BOLD, FONT_REGULAR  # noqa: E402
from sprites import SHEET_LAYOUT  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
GRAPHX = os.path.join(HERE, "..", "..", "assets", "graphx")


def load(name):
    return np.asarray(Image.open(os.path.join(GRAPHX, name)).convert("RGB"), dtype=np.float64) / 255.0


def frame(sheet, name, f=0):
    w, h, frames = SHEET_LAYOUT[name]
    x, y = frames[f]
    return sheet[y:y + h, x:x + w]


def scaled(img, sx, sy):
    h, w, _ = img.shape
    im = Image.fromarray((img * 255).astype(np.uint8))
    im = im.resize((max(1, int(w * sx)), max(1, int(h * sy))), Image.NEAREST)
    return np.asarray(im, dtype=np.float64) / 255.0


def add(scr, img, cx, cy, alpha=1.0, tint=(1, 1, 1)):
    """Additive draw centred at (cx, cy)."""
    _blit(scr, img, cx - img.shape[1] / 2, cy - img.shape[0] / 2, "add", alpha, tint)


def masked(scr, img, cx, cy, alpha=1.0, tint=(1, 1, 1)):
    """Mask-blended draw centred at (cx, cy): black pixels are left out."""
    _blit(scr, img, cx - img.shape[1] / 2, cy - img.shape[0] / 2, "mask", alpha, tint)


def _blit(scr, img, x, y, mode, alpha, tint):
    x, y = int(x), int(y)
    h, w, _ = img.shape
    H, W, _ = scr.shape
    x0, y0, x1, y1 = max(x, 0), max(y, 0), min(x + w, W), min(y + h, H)
    if x0 >= x1 or y0 >= y1:
        return
    src = img[y0 - y:y1 - y, x0 - x:x1 - x] * np.array(tint)
    if mode == "add":
        scr[y0:y1, x0:x1] += src * alpha
    else:
        on = (img[y0 - y:y1 - y, x0 - x:x1 - x].max(axis=2) > 0)[..., None]
        scr[y0:y1, x0:x1] = np.where(on, scr[y0:y1, x0:x1] * (1 - alpha) + src * alpha,
                                     scr[y0:y1, x0:x1])


def play_frame():
    """A still of play, drawn with the game's blends, colours and scales."""
    sheet = load("kvora_sf01.png")
    plain, sky = load("kvora_bd01.png"), load("kvora_bd02.png")
    near, far = load("kvora_mt01.png"), load("kvora_mt02.png")
    scr = np.zeros((480, 640, 3))
    scr += plain * 0.6 + plain * 0.6 * 80 / 255
    scr[:292] += sky * 0.8
    grey = 80 / 255
    for x in range(-50, 640, 140):
        _blit(scr, far, x, 205, "add", 1.0, (grey,) * 3)
    for x in range(-30, 640, 230):
        _blit(scr, near, x, 236, "add", 1.0, (grey,) * 3)
    rng = np.random.RandomState(5)
    for _ in range(40):                         # surface features streaming in
        y = rng.uniform(292, 480)
        s = 0.1 + 0.9 * (y - 292) / 208
        masked(scr, scaled(frame(sheet, "surface", rng.randint(4)), s, s), rng.uniform(0, 640), y)
    for (x, y, s) in ((220, 150, 0.35), (420, 120, 0.25), (330, 210, 0.6)):
        alien = scaled(frame(sheet, "alien"), s, s)
        masked(scr, alien, x, y)
    for (x, y, s) in ((286, 287, 0.6), (356, 270, 0.45)):
        add(scr, scaled(frame(sheet, "glow"), s + 0.1, s + 0.1), x, y, 0.3)
        add(scr, scaled(frame(sheet, "shot"), s, s), x, y)
    for i in range(7):                          # a burst of debris
        piece = scaled(frame(sheet, "debris", i), 0.5, 0.5)
        a = i * 2 * np.pi / 7
        masked(scr, piece, 470 + 30 * np.cos(a), 230 + 24 * np.sin(a), 0.8)
    for i in range(10):
        a = i * 2 * np.pi / 10 + 0.3
        masked(scr, scaled(frame(sheet, "debris", 7), 0.3, 0.3), 470 + 44 * np.cos(a),
               230 + 36 * np.sin(a), 0.8, (250 / 255, 250 / 255, 0))
    ship = frame(sheet, "ship")
    masked(scr, scaled(ship, 1.0, 0.5), 320, 440, 0.6, (20 / 255,) * 3)
    masked(scr, scaled(ship, 1.0, 0.7), 320, 340)
    flame = scaled(frame(sheet, "flame"), 1.0, 0.8)
    _blit(scr, flame, 290, 354, "add", 1.0, (1, 1, 1))
    _blit(scr, flame, 290, 354, "add", 1.0, (1, 1, 1))
    return np.clip(scr, 0, 1)


def main(argv):
    out = argv[1] if len(argv) > 1 else os.path.join(HERE, "..", "..", "assets", "contact_sheet.png")
    W = 1320
    tiles = [
        ("Play (mock-up of one frame)", play_frame()),
        ("kvora_bd02.png  night sky, 640x292", load("kvora_bd02.png")),
        ("kvora_bd01.png  moon plain, 640x480", load("kvora_bd01.png")),
        ("kvora3D_title.png  title, 422x141", load("kvora3D_title.png")),
        ("qvlogo.png  makers' splash, 420x236", load("qvlogo.png")),
        ("kvora_mt02.png / kvora_mt01.png  ridges, tiled x3", None),
        ("kvora_sf01.png  sprite sheet, 640x173", load("kvora_sf01.png")),
        ("dmpointer.png  pointer, 18x18 (x4)", scaled(load("dmpointer.png"), 4, 4)),
    ]
    far, near = load("kvora_mt02.png"), load("kvora_mt01.png")
    strip = np.zeros((89, 140 * 3 + 20 + 230 * 3, 3))
    for i in range(3):
        strip[:, i * 140:(i + 1) * 140] = far
        strip[31:, 440 + i * 230:440 + (i + 1) * 230] = near
    tiles[5] = (tiles[5][0], strip[:, :1090])
    # Two columns of 640 plus margins; rows sized by their tallest tile.
    canvas = Image.new("RGB", (W, 1700), (24, 26, 34))
    draw = ImageDraw.Draw(canvas)
    head = ImageFont.truetype(FONT_BOLD, 26)
    label = ImageFont.truetype(FONT_REGULAR, 16)
    draw.text((20, 14), "Kelvora 3D - images", font=head, fill=(230, 235, 245))
    y = 60
    layout = [(0, 1), (2, 3, 4), (5,), (6, 7)]
    for row in layout:
        x = 20
        row_h = 0
        col_y = y
        for idx in row:
            name, img = tiles[idx]
            h, w, _ = img.shape
            if idx == 4:                        # stacks under the title
                x_, y_ = 680, col_y + 141 + 40
            elif idx == 3:
                x_, y_ = 680, col_y
            else:
                x_, y_ = x, col_y
            draw.text((x_, y_), name, font=label, fill=(170, 180, 200))
            canvas.paste(Image.fromarray((np.clip(img, 0, 1) * 255).astype(np.uint8)), (x_, y_ + 22))
            row_h = max(row_h, y_ - col_y + h + 22)
            x = x_ + w + 20
        y += row_h + 24
    canvas = canvas.crop((0, 0, W, y))
    canvas.save(out, format="PNG", optimize=False, compress_level=9)
    print(out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
