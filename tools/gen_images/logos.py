"""The title logo, the makers' splash logo and the menu pointer.

All three are drawn masked or alpha-blended, so their edges are crisp and no
drawn pixel is pure black.
"""
import numpy as np
from PIL import Image

from canvas import (FONT_BOLD, FONT_REGULAR, downsample, ellipse, fast_blur,
                    grid, lerp, masked_sprite, poly, rgb, shape_mask,
                    smoothstep, text_mask)

SS = 4


def _place(canvas, mask, x, y):
    """Adds a mask into a bigger canvas with its top-left corner at (x, y) in samples."""
    h, w = mask.shape
    H, W = canvas.shape
    x0, y0 = max(x, 0), max(y, 0)
    x1, y1 = min(x + w, W), min(y + h, H)
    canvas[y0:y1, x0:x1] = np.maximum(canvas[y0:y1, x0:x1], mask[y0 - y:y1 - y, x0 - x:x1 - x])


def _shear(mask, k):
    """Leans a mask forwards by k (x shift per unit of height)."""
    h, w = mask.shape
    im = Image.fromarray((mask * 255).astype(np.uint8), "L")
    extra = int(abs(k) * h) + 1
    im = im.transform((w + extra, h), Image.AFFINE, (1, k, -k * h if k > 0 else 0, 0, 1, 0),
                      resample=Image.BILINEAR)
    return np.asarray(im, dtype=np.float64) / 255.0


def _fit_text(text, font, size, stroke=0, shear=0.0):
    m = text_mask(text, font, size, SS, pad=2, stroke=stroke)
    if shear:
        m = _shear(m, shear)
    ys, xs = np.nonzero(m > 0.02)
    return m[ys.min():ys.max() + 1, xs.min():xs.max() + 1]


def _bevel_normals(mask, radius):
    """Normals of a pillow-shaped bevel grown from the mask's edges."""
    hgt = fast_blur(mask, radius)
    hgt = np.clip(hgt * 2.0 - 0.5, 0, 1) ** 0.7
    gy, gx = np.gradient(hgt)
    k = radius * 0.9
    n = np.stack([-gx * k, -gy * k, np.ones_like(gx)], axis=-1)
    return n / np.linalg.norm(n, axis=-1, keepdims=True)


def _chrome(n, y_rel, warm):
    """Polished metal: the reflected sky-to-horizon ramp plus a key light."""
    ry = np.clip(y_rel + n[..., 1] * 0.6, 0, 1)   # where the reflection hits the ramp
    if warm:
        top, mid, low, floor = rgb(255, 246, 200), rgb(255, 196, 70), rgb(120, 52, 10), rgb(250, 180, 90)
    else:
        top, mid, low, floor = rgb(255, 255, 255), rgb(180, 205, 240), rgb(40, 56, 100), rgb(190, 220, 255)
    col = np.where((ry < 0.48)[..., None], lerp(top, mid, smoothstep(0.0, 0.48, ry)),
                   np.where((ry < 0.56)[..., None], lerp(mid, low, smoothstep(0.48, 0.56, ry)),
                            lerp(low, floor, smoothstep(0.56, 1.0, ry))))
    light = np.array([-0.5, -0.6, 0.62])
    light /= np.linalg.norm(light)
    lam = np.clip(n @ light, 0, 1)
    highlight = lam ** 30
    return col * (0.55 + 0.5 * lam)[..., None] + highlight[..., None] * 0.8


def title_logo(w=422, h=141):
    W, H = w * SS, h * SS
    word = _fit_text("KELVORA", FONT_BOLD, 86, shear=0.18)
    scale = min((W - 16 * SS) / word.shape[1], 1.0)
    if scale < 1.0:
        im = Image.fromarray((word * 255).astype(np.uint8), "L")
        im = im.resize((int(word.shape[1] * scale), int(word.shape[0] * scale)), Image.LANCZOS)
        word = np.asarray(im, dtype=np.float64) / 255.0
    three = _fit_text("3D", FONT_BOLD, 84, shear=0.18)
    m_word = np.zeros((H, W))
    m_three = np.zeros((H, W))
    wx = (W - word.shape[1]) // 2
    _place(m_word, word, wx, 4 * SS)
    tx = (W - three.shape[1]) // 2 + 2 * SS
    ty = H - three.shape[0] - 6 * SS
    _place(m_three, three, tx, ty)
    ext = 4 * SS                                  # extrusion depth towards the lower right
    outline = np.maximum(fast_blur(m_word, SS * 1.2), fast_blur(m_three, SS * 1.2)) > 0.12
    depth = np.zeros((H, W))
    for i in range(1, ext + 1, 2):
        sh = np.zeros((H, W))
        sh[i:, i // 2:] = np.maximum(m_word, m_three)[:H - i, :W - i // 2]
        depth = np.maximum(depth, sh)
    # The "3D" sits in front of the word: the word's pixels behind it are cut away.
    gap = fast_blur(m_three, SS * 1.5) > 0.05
    m_word = np.where(gap, 0.0, m_word)
    x, y = grid(w, h, SS)
    col = np.zeros((H, W, 3))
    cov = np.zeros((H, W))

    def paint(m, c):
        nonlocal col, cov
        m = np.clip(m, 0, 1)
        col = col * (1 - m[..., None]) + c * m[..., None]
        cov = np.maximum(cov, m)

    paint(outline.astype(float), rgb(14, 18, 34))
    paint(depth, lerp(rgb(40, 52, 90), rgb(12, 16, 30), smoothstep(10, 130, y)))
    n_word = _bevel_normals(m_word, SS * 2.2)
    y_word = (y - 4) / (word.shape[0] / SS)
    paint(m_word, _chrome(n_word, y_word, warm=False))
    n_three = _bevel_normals(m_three, SS * 2.2)
    y_three = (y - ty / SS) / (three.shape[0] / SS)
    paint(m_three, _chrome(n_three, y_three, warm=True))
    cov_px = downsample(cov, SS)
    col_px = downsample(col * cov[..., None], SS) / np.maximum(cov_px, 1e-6)[..., None]
    return masked_sprite(col_px, cov_px)


def makers_logo(w=420, h=236):
    """Splash logo of the studio: a ringed QV emblem over the studio's name."""
    W, H = w * SS, h * SS
    x, y = grid(w, h, SS)
    col = np.zeros((H, W, 3))
    cov = np.zeros((H, W))

    def paint(m, c):
        nonlocal col, cov
        m = np.clip(m, 0, 1)
        if np.ndim(c) == 1:
            c = np.broadcast_to(c, col.shape)
        col = col * (1 - m[..., None]) + c * m[..., None]
        cov = np.maximum(cov, m)

    ecx, ecy, R = 210.0, 72.0, 60.0
    d = np.hypot(x - ecx, y - ecy)
    ang = np.arctan2(y - ecy, x - ecx)
    # Outer ring with a gap at the lower right where the tail leaves it.
    ring = smoothstep(R + 0.5, R - 0.5, d) * smoothstep(R - 14.5, R - 13.5, d)
    gap = np.abs(((ang - 0.75 + np.pi) % (2 * np.pi)) - np.pi) < 0.28
    ring = ring * (~gap)
    ring_col = lerp(rgb(255, 190, 60), rgb(240, 60, 120), smoothstep(-R, R, (x - ecx) + (y - ecy)))
    shade = 0.75 + 0.35 * np.cos(ang + 2.3)
    paint(smoothstep(R + 3, R + 2, d) * smoothstep(R - 17.5, R - 16.5, d) * (~gap), rgb(20, 16, 40))
    paint(ring, ring_col * shade[..., None])
    # The V: a chevron whose right arm runs on through the gap as the Q's tail.
    def vee(dr, s):
        poly(dr, s, [(ecx - 30, ecy - 26), (ecx - 15, ecy - 26), (ecx, ecy + 12),
                     (ecx + 15, ecy - 26), (ecx + 30, ecy - 26), (ecx + 8, ecy + 32),
                     (ecx - 8, ecy + 32)])
        # The Q's tail: a blade crossing the ring's gap at the lower right.
        poly(dr, s, [(ecx + 30, ecy + 36), (ecx + 40, ecy + 26), (ecx + 68, ecy + 54),
                     (ecx + 62, ecy + 62)])
    vm = shape_mask(w, h, SS, vee)
    outline = fast_blur(vm, SS) > 0.1
    paint(outline.astype(float), rgb(20, 16, 40))
    n = _bevel_normals(vm, SS * 1.6)
    paint(vm, _chrome(n, (y - (ecy - 30)) / 64.0, warm=False))
    # A small star inside the ring, upper left: the spark of the name.
    sx, sy = ecx - 28, ecy - 2
    star = np.exp(-((x - sx) ** 2 + (y - sy) ** 2) / 6.0)
    rays = (np.exp(-((y - sy) / 0.9) ** 2 - ((x - sx) / 9.0) ** 2) +
            np.exp(-((x - sx) / 0.9) ** 2 - ((y - sy) / 9.0) ** 2))
    sm = np.clip(star * 1.4 + rays, 0, 1)
    paint(smoothstep(0.25, 0.55, sm), rgb(255, 250, 220))
    # The name and the line under it.
    name = _fit_text("QUORVANE", FONT_BOLD, 50)
    nx0 = (W - name.shape[1]) // 2
    ny0 = int(146 * SS)
    nm = np.zeros((H, W))
    _place(nm, name, nx0, ny0)
    paint((fast_blur(nm, SS) > 0.1).astype(float), rgb(20, 16, 40))
    n = _bevel_normals(nm, SS * 1.2)
    paint(nm, _chrome(n, (y - 146) / (name.shape[0] / SS), warm=True))
    sub = _fit_text("W  O  R  K  S", FONT_REGULAR, 20)
    sm2 = np.zeros((H, W))
    sx0 = (W - sub.shape[1]) // 2
    sy0 = ny0 + name.shape[0] + 12 * SS
    _place(sm2, sub, sx0, sy0)
    paint(sm2, rgb(150, 200, 255))
    sub_l, sub_r = sx0 / SS - 14, (sx0 + sub.shape[1]) / SS + 14
    line_y = sy0 / SS + sub.shape[0] / SS / 2
    for a, b in ((sub_l - 70, sub_l), (sub_r, sub_r + 70)):
        lm = smoothstep(line_y + 1.2, line_y + 0.6, y) * smoothstep(line_y - 1.2, line_y - 0.6, y)
        lm = lm * smoothstep(a, a + 0.5, x) * smoothstep(b + 0.5, b, x)
        fade = np.clip(np.where(x < w / 2, (x - a) / 70.0, (b - x) / 70.0), 0.15, 1)
        paint(lm, rgb(150, 200, 255) * fade[..., None])
    cov_px = downsample(cov, SS)
    col_px = downsample(col * cov[..., None], SS) / np.maximum(cov_px, 1e-6)[..., None]
    return masked_sprite(col_px, cov_px)


def pointer(size=18):
    """An arrow whose tip is the top-left pixel, the pointer's hot spot."""
    ss = 8
    arrow = [(0, 0), (0, 15.5), (4.2, 11.8), (7.2, 17.6), (10.2, 16.4), (7.3, 10.8), (12.8, 10.8)]
    outer = shape_mask(size, size, ss, lambda d, s: poly(d, s, arrow))
    # Shrink the outline by a pixel for the light fill.
    inner = [(1.0, 2.4), (1.0, 13.2), (4.5, 10.0), (7.7, 16.2), (9.0, 15.7), (5.8, 9.8), (10.4, 9.8)]
    fill = shape_mask(size, size, ss, lambda d, s: poly(d, s, inner))
    x, y = grid(size, size, ss)
    shade = lerp(rgb(255, 255, 255), rgb(110, 200, 255), smoothstep(0, 18, x + y))
    col = np.broadcast_to(rgb(16, 30, 60), (size * ss, size * ss, 3)) * (1 - fill[..., None]) + \
        shade * fill[..., None]
    cov = downsample(outer, ss)
    col_px = downsample(col * outer[..., None], ss) / np.maximum(cov, 1e-6)[..., None]
    out = masked_sprite(col_px, cov, floor=16)
    out[0, 0] = (200, 230, 255)                 # the hot spot itself is always drawn
    return out
