"""The sprite sheet: ship, moon-surface features, alien, bolt, glow, debris, flame.

Each sprite is drawn into its own rectangle with at least one black pixel
around it; the game cuts the sheet at fixed rectangles (see SHEET_LAYOUT).
Sprites the game draws masked or alpha-blended (ship, surface, alien,
debris) get crisp edges; the additive ones (bolt, glow, flame) fade to black.
"""
import numpy as np

from canvas import (downsample, ellipse, fbm, grid, lerp, masked_sprite, poly,
                    rgb, shape_mask, smoothstep, to_bytes)

SS = 4

# name: (width, height, [(x, y) of each frame])
SHEET_LAYOUT = {
    "ship": (186, 78, [(1 + 187 * f, 1) for f in range(2)]),
    "surface": (50, 40, [(1 + 51 * f, 125) for f in range(4)]),
    "alien": (56, 92, [(574, 1)]),
    "shot": (58, 60, [(513, 1)]),
    "glow": (72, 72, [(438, 1)]),
    "debris": (40, 40, [(1 + 41 * f, 82) for f in range(8)]),
    "flame": (58, 116, [(377, 1)]),
}
SHEET_SIZE = (640, 173)


class Layers:
    """Paints opaque parts back to front at SS-times resolution."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.x, self.y = grid(w, h, SS)
        self.col = np.zeros((h * SS, w * SS, 3))
        self.cov = np.zeros((h * SS, w * SS))

    def mask(self, fn):
        return shape_mask(self.w, self.h, SS, fn)

    def paint(self, m, colour):
        m = np.clip(m, 0, 1)
        if np.ndim(colour) == 1:
            colour = np.broadcast_to(colour, self.col.shape)
        self.col = self.col * (1 - m[..., None]) + colour * m[..., None]
        self.cov = np.maximum(self.cov, m)

    def result(self, floor=6):
        cov = downsample(self.cov, SS)
        # Average colour over the covered samples only, so edges keep their tone.
        col = downsample(self.col * self.cov[..., None], SS) / np.maximum(cov, 1e-6)[..., None]
        return masked_sprite(col, cov, floor)


def metal(base, shade, highlight=0.0):
    """Colour from a base tone, a 0..1 light factor and a white highlight."""
    shade = np.clip(shade, 0, 1.3)
    return base * (0.18 + 0.95 * shade)[..., None] + np.clip(highlight, 0, 1)[..., None] * 0.9


# --------------------------------------------------------------------- ship

def ship(frame):
    w, h = 186, 78
    L = Layers(w, h)
    x, y = L.x, L.y
    cx = 93.0
    hull = rgb(196, 204, 216)
    dark = rgb(70, 78, 96)
    accent = rgb(230, 80, 40)
    # Wings: a broad swept plate seen from behind and a little above.
    for side in (-1, 1):
        def wing(d, s, side=side):
            poly(d, s, [(cx + side * 14, 30), (cx + side * 88, 47), (cx + side * 90, 53),
                        (cx + side * 86, 57), (cx + side * 14, 60)])
        m = L.mask(wing)
        t = np.abs(x - cx) / 90.0
        top = smoothstep(62, 44, y)             # upper face catches the light
        sh = 0.35 + 0.55 * top - 0.15 * t + (0.12 if side < 0 else -0.05)
        highlight = np.exp(-((y - 49 + 6 * t) / 1.6) ** 2) * 0.35
        L.paint(m, metal(hull, sh, highlight))
        # Underside edge and a red stripe along the wing.
        def under(d, s, side=side):
            poly(d, s, [(cx + side * 14, 58), (cx + side * 86, 55), (cx + side * 86, 57),
                        (cx + side * 14, 61)])
        L.paint(L.mask(under), dark * 0.8)

        def stripe(d, s, side=side):
            poly(d, s, [(cx + side * 40, 42), (cx + side * 78, 49), (cx + side * 78, 51.5),
                        (cx + side * 40, 45.5)])
        L.paint(L.mask(stripe), accent * (0.8 + 0.2 * top[..., None]))
    # Cannons: pylons on the wings and long barrels pointing ahead (up on screen).
    for side in (-1, 1):
        gx = cx + side * 55
        def pod(d, s, gx=gx):
            ellipse(d, s, gx, 46, 9, 8)
        m = L.mask(pod)
        r = np.clip((x - gx) / 9.0, -1, 1)
        L.paint(m, metal(rgb(150, 158, 175), 0.75 - 0.45 * r - 0.2 * smoothstep(44, 54, y),
                         np.exp(-((r + 0.45) / 0.18) ** 2) * 0.5))

        def barrel(d, s, gx=gx):
            d.rectangle([(gx - 4.5) * s, 6 * s, (gx + 4.5) * s, 46 * s], fill=255)
        m = L.mask(barrel)
        r = np.clip((x - gx) / 4.5, -1, 1)
        cyl = np.sqrt(np.clip(1 - r * r, 0, 1))
        L.paint(m, metal(rgb(120, 126, 140), 0.3 + 0.7 * cyl - 0.3 * r,
                         np.exp(-((r + 0.4) / 0.2) ** 2) * 0.6))
        for ry in (14, 26, 38):                 # cooling rings
            def ring(d, s, gx=gx, ry=ry):
                d.rectangle([(gx - 5.5) * s, ry * s, (gx + 5.5) * s, (ry + 2) * s], fill=255)
            L.paint(L.mask(ring), metal(dark, 0.5 + 0.5 * cyl - 0.3 * r))

        def muzzle(d, s, gx=gx):
            ellipse(d, s, gx, 6, 5.5, 2.6)
        L.paint(L.mask(muzzle), rgb(40, 44, 56))

        def bore(d, s, gx=gx):
            ellipse(d, s, gx, 6, 3, 1.4)
        hot = rgb(255, 240, 170) if frame == 1 else rgb(10, 12, 18)
        L.paint(L.mask(bore), hot)
        # Wing-tip lights: red left, green right.
        def tip(d, s, side=side):
            ellipse(d, s, cx + side * 88, 50, 2.4, 2.4)
        L.paint(L.mask(tip), rgb(255, 60, 50) if side < 0 else rgb(60, 255, 110))
    # Fuselage: a rounded body with an engine bell at the back.
    def body(d, s):
        ellipse(d, s, cx, 44, 24, 24)
    m = L.mask(body)
    nx = (x - cx) / 24.0
    ny = (y - 44) / 24.0
    nz = np.sqrt(np.clip(1 - nx * nx - ny * ny, 0, 1))
    lam = np.clip(-0.55 * nx - 0.55 * ny + 0.63 * nz, 0, 1)
    highlight = np.clip(-0.4 * nx - 0.6 * ny + 0.7 * nz, 0, 1) ** 24
    L.paint(m, metal(hull, 0.15 + 0.95 * lam, highlight))
    # Panel lines and a dorsal stripe.
    def panel(d, s):
        d.rectangle([(cx - 1) * s, 20 * s, (cx + 1) * s, 40 * s], fill=255)
    L.paint(L.mask(panel) * 0.9, accent)
    # Canopy.
    def canopy(d, s):
        ellipse(d, s, cx, 29, 12, 9)
    m = L.mask(canopy)
    cxn = (x - cx) / 12.0
    cyn = (y - 29) / 9.0
    glass = lerp(rgb(20, 50, 110), rgb(90, 190, 255), smoothstep(1, -1, cyn + 0.3 * cxn))
    hi = np.exp(-(((cxn + 0.35) / 0.25) ** 2 + ((cyn + 0.45) / 0.2) ** 2))
    L.paint(m, glass + hi[..., None] * 0.8)
    # Engine bell and its glowing throat; the thrust flame starts here.
    def bell(d, s):
        ellipse(d, s, cx, 63, 16, 10)
    m = L.mask(bell)
    r = np.clip((x - cx) / 16.0, -1, 1)
    L.paint(m, metal(rgb(110, 112, 122), 0.55 - 0.35 * r, np.exp(-((r + 0.5) / 0.2) ** 2) * 0.4))

    def throat(d, s):
        ellipse(d, s, cx, 64, 11, 6.5)
    m = L.mask(throat)
    tr = np.sqrt(((x - cx) / 11.0) ** 2 + ((y - 64) / 6.5) ** 2)
    core = rgb(255, 250, 220) if frame == 1 else rgb(255, 225, 150)
    L.paint(m, lerp(core, rgb(230, 90, 30), smoothstep(0.2, 1.0, tr)))
    return L.result()


# ------------------------------------------------------------ moon surface

def _rock(L, cx, cy, rx, ry, seed, tone=1.0):
    """A lumpy boulder lit from the upper left, with its shadow on the ground."""
    x, y = L.x, L.y
    ang = np.arctan2(y - cy, x - cx)
    rng = np.random.RandomState(seed)
    lump = np.ones_like(ang)
    for k in range(2, 6):
        lump += rng.uniform(-0.09, 0.09) * np.cos(k * ang + rng.uniform(0, 6.28))
    nx = (x - cx) / (rx * lump)
    ny = (y - cy) / (ry * lump)
    r2 = nx * nx + ny * ny

    def shadow(d, s):
        ellipse(d, s, cx + rx * 0.55, cy + ry * 0.75, rx * 1.1, ry * 0.42)
    L.paint(L.mask(shadow), rgb(30, 30, 32))
    m = smoothstep(1.0, 0.96, r2)
    nz = np.sqrt(np.clip(1 - r2, 0, 1))
    bump = fbm(x / 3.0, y / 3.0, seed=seed + 5, octaves=3, cells=64) - 0.5
    lam = np.clip(-0.6 * nx - 0.5 * ny + 0.62 * nz + bump * 0.6, 0, 1)
    col = rgb(150, 146, 140) * tone * (0.12 + 1.0 * lam)[..., None]
    L.paint(m, col)


def _crater(L, cx, cy, rx, ry, seed):
    """A bowl crater seen at a low angle: lit far wall, shaded near wall, raised rim."""
    x, y = L.x, L.y
    nx = (x - cx) / rx
    ny = (y - cy) / ry
    d = np.sqrt(nx * nx + ny * ny)
    grain = fbm(x / 2.5, y / 2.5, seed=seed, octaves=3, cells=64) - 0.5
    apron = smoothstep(1.35, 1.2, d)
    L.paint(apron, rgb(120, 117, 112) * (0.85 + 0.5 * grain)[..., None])
    rim = smoothstep(1.08, 1.0, d)
    L.paint(rim, rgb(168, 164, 158) * (0.9 + 0.4 * grain - 0.2 * ny)[..., None])
    bowl = smoothstep(0.9, 0.84, d)
    wall = np.clip(0.25 - 0.55 * ny + 0.25 * nx, 0, 1) * (0.8 + 0.4 * grain)
    floor = rgb(40, 39, 38) + wall[..., None] * rgb(150, 146, 140)
    L.paint(bowl, floor)


def surface(kind):
    L = Layers(50, 40)
    if kind == 0:                               # a single boulder
        _rock(L, 24, 22, 15, 12, seed=501)
    elif kind == 1:                             # a wide crater
        _crater(L, 25, 22, 18, 9, seed=502)
    elif kind == 2:                             # a cluster of stones
        _rock(L, 15, 24, 9, 7, seed=503, tone=0.95)
        _rock(L, 31, 20, 10, 9, seed=504)
        _rock(L, 25, 30, 6, 5, seed=505, tone=1.05)
    else:                                       # a small crater with a boulder on its rim
        _crater(L, 22, 25, 13, 6.5, seed=506)
        _rock(L, 37, 17, 7, 7, seed=507)
    return L.result()


# -------------------------------------------------------------------- alien

CHITIN = rgb(60, 150, 70)
SHELL = rgb(120, 60, 160)


def _blob(L, cx, cy, rx, ry, base, light=(-0.5, -0.6), gloss=0.5, rot=0.0):
    x, y = L.x, L.y
    c, s = np.cos(rot), np.sin(rot)
    dx, dy = x - cx, y - cy
    nx = (c * dx + s * dy) / rx
    ny = (-s * dx + c * dy) / ry
    r2 = nx * nx + ny * ny
    nz = np.sqrt(np.clip(1 - r2, 0, 1))
    lam = np.clip(light[0] * nx + light[1] * ny + 0.62 * nz, 0, 1)
    highlight = np.clip(-0.35 * nx - 0.45 * ny + 0.82 * nz, 0, 1) ** 18 * gloss
    m = smoothstep(1.0, 0.9, r2)
    L.paint(m, base * (0.2 + 0.95 * lam)[..., None] + highlight[..., None])
    return m


def _limb(L, pts, width, base):
    """A jointed leg: thick segments with a dark edge and a light top."""
    def seg_mask(d, s):
        for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
            d.line([(x0 * s, y0 * s), (x1 * s, y1 * s)], fill=255, width=int(width * s))
            d.ellipse([(x1 - width / 2) * s, (y1 - width / 2) * s,
                       (x1 + width / 2) * s, (y1 + width / 2) * s], fill=255)
    m = L.mask(seg_mask)
    L.paint(m, base * 0.55)

    def core(d, s):
        for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
            d.line([((x0 - 0.6) * s, (y0 - 0.6) * s), ((x1 - 0.6) * s, (y1 - 0.6) * s)],
                   fill=255, width=max(1, int(width * 0.4 * s)))
    L.paint(L.mask(core), base * 1.1)


def _wing(L, cx, cy, side, span, drop):
    def wm(d, s):
        poly(d, s, [(cx, cy), (cx + side * span * 0.6, cy - drop),
                    (cx + side * span, cy - drop * 0.4), (cx + side * span * 0.8, cy + 4),
                    (cx + side * 2, cy + 6)])
    m = L.mask(wm)
    x, y = L.x, L.y
    vein = np.abs(np.sin((np.arctan2(y - cy, (x - cx) * side) * 7.0))) ** 8
    tone = lerp(rgb(120, 200, 230), rgb(200, 150, 255), smoothstep(0, span, np.abs(x - cx)))
    L.paint(m, tone * (0.45 + 0.25 * vein)[..., None])


def _head(L, cx, cy, k=1.0):
    _blob(L, cx, cy, 10 * k, 9 * k, CHITIN, gloss=0.6)
    for side in (-1, 1):                        # compound eyes
        m = _blob(L, cx + side * 6.5 * k, cy - 1 * k, 5 * k, 5.5 * k, rgb(255, 40, 30), gloss=0.9)
        x, y = L.x, L.y
        facets = (np.sin(x * 3.1) * np.sin(y * 3.1) > 0.3) * m
        L.paint(facets * 0.35, rgb(255, 180, 60))
    for side in (-1, 1):                        # mandibles
        def mand(d, s, side=side):
            poly(d, s, [(cx + side * 3 * k, cy + 6 * k), (cx + side * 8 * k, cy + 8 * k),
                        (cx + side * 4 * k, cy + 15 * k), (cx + side * 1.5 * k, cy + 9 * k)])
        L.paint(L.mask(mand), rgb(230, 200, 80))


def _thorax(L, cx, cy, k=1.0):
    _blob(L, cx, cy, 10 * k, 10 * k, SHELL, gloss=0.7)
    def band(d, s):
        d.rectangle([(cx - 9 * k) * s, (cy - 1 * k) * s, (cx + 9 * k) * s, (cy + 1 * k) * s], fill=255)
    L.paint(L.mask(band) * 0.8, rgb(240, 210, 60))


def _abdomen(L, cx, cy, k=1.0, segments=4):
    for i in range(segments):                   # back to front, narrowing downwards
        t = i / max(segments - 1, 1)
        rx = (11 - 5 * t) * k
        ry = 6 * k
        _blob(L, cx, cy + (i * 9) * k, rx, ry, lerp(CHITIN, SHELL, t * 0.7), gloss=0.5)
    tip = rgb(250, 230, 70)
    _blob(L, cx, cy + (segments * 9 - 3) * k, 3.5 * k, 4 * k, tip, gloss=0.8)


def alien():
    w, h = 56, 92
    L = Layers(w, h)
    cx = 28.0
    _wing(L, cx, 33, -1, 26, 22)
    _wing(L, cx, 33, 1, 26, 22)
    for side in (-1, 1):                        # three pairs of legs
        _limb(L, [(cx + side * 6, 34), (cx + side * 17, 30), (cx + side * 24, 40)], 3.2, CHITIN)
        _limb(L, [(cx + side * 7, 40), (cx + side * 18, 46), (cx + side * 23, 60)], 3.2, CHITIN)
        _limb(L, [(cx + side * 6, 45), (cx + side * 13, 56), (cx + side * 15, 74)], 3.2, CHITIN)
    _abdomen(L, cx, 52, segments=4)
    _thorax(L, cx, 36)
    _head(L, cx, 18)
    for side in (-1, 1):                        # antennae
        _limb(L, [(cx + side * 4, 10), (cx + side * 8, 4), (cx + side * 15, 2)], 1.6, rgb(230, 200, 80))
    return L.result()


def debris(frame):
    """Pieces of the alien's body (0-6) and one drop of its fluid (7)."""
    L = Layers(40, 40)
    c = 20.0
    if frame == 0:
        _head(L, c, c - 2, k=1.2)
    elif frame == 1:
        _wing(L, c + 12, c + 4, -1, 26, 20)
    elif frame == 2:
        _thorax(L, c, c, k=1.3)
    elif frame == 3:
        _abdomen(L, c, c - 12, k=0.85, segments=3)
    elif frame == 4:
        _limb(L, [(7, 9), (21, 14), (31, 31)], 4.6, CHITIN)
        _blob(L, 7, 9, 4, 4, SHELL)
    elif frame == 5:
        _limb(L, [(6, 28), (18, 20), (33, 25)], 4.6, CHITIN)
        _limb(L, [(18, 20), (22, 7)], 3.4, CHITIN)
        _blob(L, 18, 20, 3.5, 3.5, SHELL)
    elif frame == 6:
        for side in (-1, 1):
            def mand(d, s, side=side):
                poly(d, s, [(c + side * 2, 12), (c + side * 12, 16), (c + side * 6, 32), (c + side * 2, 20)])
            L.paint(L.mask(mand), rgb(230, 200, 80))
        _blob(L, c, 14, 5, 4, CHITIN)
    else:
        # A drop in pale grey: the game tints it when drawing.
        x, y = L.x, L.y
        def drop(d, s):
            ellipse(d, s, c, 23, 8, 8)
            poly(d, s, [(c - 6.5, 19), (c, 6), (c + 6.5, 19)])
        m = L.mask(drop)
        lam = np.clip(1.0 - np.hypot(x - c + 3, y - 20) / 12.0, 0, 1)
        L.paint(m, rgb(200, 200, 200) * (0.5 + 0.5 * lam)[..., None])
        def shine(d, s):
            ellipse(d, s, c - 3, 19, 2, 3)
        L.paint(L.mask(shine), rgb(255, 255, 255))
    return L.result()


# ---------------------------------------------------------- additive sprites

def _edge_window(x, y, w, h, ramp=5.0, ramp_top=None):
    """1 inside, falling to exactly 0 on the outer pixel ring (x or y within 1 of an edge)."""
    top = ramp if ramp_top is None else ramp_top
    return (smoothstep(1, 1 + ramp, x) * smoothstep(1, 1 + ramp, w - x) *
            smoothstep(1, 1 + top, y) * smoothstep(1, 1 + ramp, h - y))


def shot():
    """A spinning energy bolt: hot core and three curved plasma arms."""
    w, h = 58, 60
    x, y = grid(w, h, SS)
    cx, cy = w / 2, h / 2
    dx, dy = x - cx, y - cy
    r = np.hypot(dx, dy) / 26.0
    a = np.arctan2(dy, dx)
    arms = np.cos(3 * (a + r * 3.2)) * 0.5 + 0.5   # spiral arms show the spin
    arms = arms ** 3 * np.exp(-r * 3.0) * smoothstep(1.0, 0.6, r)
    core = np.exp(-(r / 0.16) ** 2)
    halo = np.exp(-(r / 0.45) ** 2) * 0.35
    img = (core[..., None] * rgb(255, 255, 255) + arms[..., None] * rgb(90, 230, 255) * 1.3 +
           halo[..., None] * rgb(40, 140, 255))
    img = img * _edge_window(x, y, w, h)[..., None]
    return to_bytes(downsample(img, SS))


def glow():
    w = h = 72
    x, y = grid(w, h, SS)
    r = np.hypot(x - w / 2, y - h / 2) / 34.0
    v = np.exp(-(r / 0.45) ** 2) * 0.9 + np.exp(-(r / 0.15) ** 2) * 0.25
    v = v * smoothstep(1.0, 0.8, r)
    img = v[..., None] * rgb(120, 200, 255)
    return to_bytes(downsample(img, SS))


def flame():
    """Engine exhaust: white-hot at the nozzle, yellow, orange, red, gone."""
    w, h = 58, 116
    x, y = grid(w, h, SS)
    cx = 29.0
    t = np.clip((y - 1) / (h - 6), 0, 1)           # 0 at the nozzle, 1 at the tail
    half = 14.0 * (1 - t) ** 0.8 + 1.0
    flick = fbm(x / 6.0, y / 14.0, seed=91, octaves=4, cells=64)
    across = np.abs(x - cx) / (half * (0.85 + 0.3 * flick))
    body = smoothstep(1.0, 0.2, across) * smoothstep(0.0, 0.03, t) * (1 - t) ** 1.4
    core = smoothstep(0.5, 0.0, across) * np.exp(-t * 3.5)
    halo = np.exp(-((x - cx) / (half * 1.2)) ** 2) * np.exp(-t * 2.5) * 0.3
    heat = np.clip(body * 0.9 + core * 0.8 + halo, 0, 1.2)
    col = (np.clip(heat * 2.2, 0, 1)[..., None] * rgb(255, 70, 20) +
           np.clip(heat * 1.6 - 0.35, 0, 1)[..., None] * rgb(0, 170, 40) +
           np.clip(heat * 1.4 - 0.8, 0, 1)[..., None] * rgb(0, 30, 190))
    col = col * _edge_window(x, y, w, h, ramp=6.0, ramp_top=1.5)[..., None]
    return to_bytes(downsample(col, SS))


def sheet():
    """Assembles every sprite at its rectangle on a black sheet."""
    w, h = SHEET_SIZE
    out = np.zeros((h, w, 3), dtype=np.uint8)
    makers = {
        "ship": ship, "surface": surface, "alien": lambda f: alien(),
        "shot": lambda f: shot(), "glow": lambda f: glow(),
        "debris": debris, "flame": lambda f: flame(),
    }
    for name, (sw, sh, frames) in SHEET_LAYOUT.items():
        for f, (fx, fy) in enumerate(frames):
            img = makers[name](f)
            assert img.shape == (sh, sw, 3), (name, img.shape)
            out[fy:fy + sh, fx:fx + sw] = img
    return out
