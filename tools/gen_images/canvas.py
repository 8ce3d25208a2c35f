"""Drawing helpers shared by the image generators.

Everything works on float arrays in 0..1 (H x W x 3 for colour, H x W for
masks and height fields) and is deterministic: all randomness comes from
numpy RandomState generators seeded by the caller.
"""
import numpy as np
from PIL import Image, ImageDraw, ImageFont

FONT_DIR = "/usr/share/fonts/truetype"
FONT_BOLD = FONT_DIR + "/play/Play-Bold.ttf"
FONT_REGULAR = FONT_DIR + "/play/Play-Regular.ttf"


def grid(w, h, ss=1):
    """Pixel-centre coordinates of a w x h image sampled ss x ss per pixel."""
    xs = (np.arange(w * ss) + 0.5) / ss
    ys = (np.arange(h * ss) + 0.5) / ss
    return np.meshgrid(xs, ys)


def downsample(a, ss):
    """Box-filters an ss-times supersampled array back to pixel size."""
    if ss == 1:
        return a
    h, w = a.shape[0] // ss, a.shape[1] // ss
    if a.ndim == 3:
        return a.reshape(h, ss, w, ss, a.shape[2]).mean(axis=(1, 3))
    return a.reshape(h, ss, w, ss).mean(axis=(1, 3))


def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0.0, 1.0)
    return t * t * (3.0 - 2.0 * t)


def lerp(a, b, t):
    t = np.asarray(t)
    if np.ndim(a) and t.ndim == 2:
        t = t[..., None]
    return a + (b - a) * t


def rgb(*c):
    return np.array(c, dtype=np.float64) / 255.0


def value_noise(x, y, rng, cells, period=None):
    """Smooth value noise sampled at (x, y) in lattice units.

    cells sizes the random lattice; with period the noise repeats every
    period lattice units along x, so strips made from it tile seamlessly.
    """
    px = period if period else cells
    lat = rng.random_sample((cells, max(cells, px)))
    xi = np.floor(x).astype(np.int64)
    yi = np.floor(y).astype(np.int64)
    fx = x - xi
    fy = y - yi
    fx = fx * fx * (3 - 2 * fx)
    fy = fy * fy * (3 - 2 * fy)

    def at(ix, iy):
        return lat[np.mod(iy, cells), np.mod(ix, px)]

    a = at(xi, yi)
    b = at(xi + 1, yi)
    c = at(xi, yi + 1)
    d = at(xi + 1, yi + 1)
    return (a * (1 - fx) + b * fx) * (1 - fy) + (c * (1 - fx) + d * fx) * fy


def fbm(x, y, seed, octaves=5, cells=64, period=None, gain=0.5):
    """Fractal sum of value noise octaves, roughly in 0..1."""
    rng = np.random.RandomState(seed)
    total = np.zeros_like(x, dtype=np.float64)
    amp, norm, f = 1.0, 0.0, 1.0
    for _ in range(octaves):
        p = None if period is None else int(round(period * f))
        total += amp * value_noise(x * f, y * f, rng, cells, p)
        norm += amp
        amp *= gain
        f *= 2.0
    return total / norm


def shape_mask(w, h, ss, draw_fn):
    """Rasterises PIL drawing calls at ss-times resolution into a 0..1 mask.

    draw_fn(draw, s) receives an ImageDraw and the scale to apply to every
    coordinate given in pixels.
    """
    im = Image.new("L", (w * ss, h * ss), 0)
    draw_fn(ImageDraw.Draw(im), ss)
    return np.asarray(im, dtype=np.float64) / 255.0


def poly(draw, s, pts, fill=255):
    draw.polygon([(x * s, y * s) for x, y in pts], fill=fill)


def ellipse(draw, s, cx, cy, rx, ry, fill=255):
    draw.ellipse([(cx - rx) * s, (cy - ry) * s, (cx + rx) * s, (cy + ry) * s], fill=fill)


def text_mask(text, font_path, size, ss, pad=8, stroke=0):
    """Renders text at ss-times resolution; returns (mask, width, height) in pixels."""
    font = ImageFont.truetype(font_path, size * ss)
    l, t, r, b = font.getbbox(text, stroke_width=stroke * ss)
    w = (r - l) // ss + 2 * pad + 1
    h = (b - t) // ss + 2 * pad + 1
    im = Image.new("L", (w * ss, h * ss), 0)
    ImageDraw.Draw(im).text((pad * ss - l, pad * ss - t), text, font=font, fill=255,
                            stroke_width=stroke * ss, stroke_fill=255)
    return np.asarray(im, dtype=np.float64) / 255.0


def blur(a, radius):
    """Separable box blur applied three times (close to a Gaussian)."""
    r = int(radius)
    if r <= 0:
        return a
    out = a.astype(np.float64)
    k = np.ones(2 * r + 1) / (2 * r + 1)
    for _ in range(3):
        for axis in (0, 1):
            pad = [(0, 0)] * out.ndim
            pad[axis] = (r, r)
            p = np.pad(out, pad, mode="edge")
            out = np.apply_along_axis(lambda v: np.convolve(v, k, mode="valid"), axis, p)
    return out


def fast_blur(a, radius):
    """Box blur via cumulative sums, three passes; fine for big arrays."""
    r = int(radius)
    if r <= 0:
        return a
    out = a.astype(np.float64)
    for _ in range(3):
        for axis in (0, 1):
            pad = [(0, 0)] * out.ndim
            pad[axis] = (r + 1, r)
            p = np.pad(out, pad, mode="edge")
            c = np.cumsum(p, axis=axis)
            hi = np.take(c, np.arange(2 * r + 1, c.shape[axis]), axis=axis)
            lo = np.take(c, np.arange(0, c.shape[axis] - 2 * r - 1), axis=axis)
            out = (hi - lo) / (2 * r + 1)
    return out


def gradient(h):
    """Central-difference slope of a height field (dx, dy)."""
    gy, gx = np.gradient(h)
    return gx, gy


def to_bytes(img):
    return np.clip(np.round(img * 255.0), 0, 255).astype(np.uint8)


def masked_sprite(colour, coverage, floor=6):
    """Crisp sprite for mask-blended drawing: a pixel is either fully drawn or black.

    Pixels covered at least half keep their colour, lifted to at least floor so
    no drawn pixel turns into the transparent colour; the rest become black.
    """
    out = to_bytes(colour).astype(np.int32)
    inside = coverage >= 0.5
    lifted = np.maximum(out, 0)
    dark = lifted.max(axis=2) < floor
    lifted[dark] = floor
    out = np.where(inside[..., None], lifted, 0)
    return out.astype(np.uint8)


def save_png(arr, path):
    """Writes a 24-bit RGB PNG; identical input gives identical bytes."""
    assert arr.dtype == np.uint8 and arr.ndim == 3 and arr.shape[2] == 3
    Image.fromarray(arr, "RGB").save(path, format="PNG", optimize=False, compress_level=9)
