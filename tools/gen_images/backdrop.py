"""The backdrop layers: night sky with the Earth, the moon plain, two ridges.

All of them are drawn additively by the game, so black adds nothing and the
layers sum up on screen: the sky fills the top 292 rows, the plain lies below
the horizon at about y 292, and the ridges stand on the horizon.
"""
import numpy as np

from canvas import (downsample, fbm, grid, lerp, rgb, smoothstep, to_bytes,
                    fast_blur)

HORIZON = 291.5


# ---------------------------------------------------------------- night sky

def _stars(w, h, rng, occluded):
    """Point stars with a power-law brightness spread and a few bright ones."""
    img = np.zeros((h, w, 3))
    n = 800
    xs = rng.random_sample(n) * w
    ys = rng.random_sample(n) * h
    mag = rng.random_sample(n) ** 3.2          # most faint, a few bright
    temp = rng.random_sample(n)
    tint = np.stack([lerp(rgb(170, 195, 255), rgb(255, 236, 205), temp[i]) for i in range(n)])
    yy, xx = np.mgrid[0:h, 0:w]
    for i in range(n):
        x, y, m = xs[i], ys[i], mag[i]
        ix, iy = int(x), int(y)
        if occluded(x, y):
            continue
        sigma = 0.45 + 0.9 * m
        r = int(3 + 6 * m)
        y0, y1, x0, x1 = max(0, iy - r), min(h, iy + r + 1), max(0, ix - r), min(w, ix + r + 1)
        dx = xx[y0:y1, x0:x1] + 0.5 - x
        dy = yy[y0:y1, x0:x1] + 0.5 - y
        core = np.exp(-(dx * dx + dy * dy) / (2 * sigma * sigma))
        amp = 0.18 + 1.1 * m
        if m > 0.8:                            # diffraction spikes on the brightest
            spike = (np.exp(-dy * dy / 0.35) * np.exp(-np.abs(dx) / (2.5 + 5 * m)) +
                     np.exp(-dx * dx / 0.35) * np.exp(-np.abs(dy) / (2.5 + 5 * m)))
            core = core + 0.45 * spike
        img[y0:y1, x0:x1] += amp * core[..., None] * tint[i]
    return img


def _earth(w, h, cx, cy, radius, ss=4):
    """The Earth as a lit sphere: oceans, continents, clouds, ice, thin air glow.

    Only the square around the globe is computed; the rest stays black.
    """
    m = int(radius * 1.4)
    x0, y0 = max(int(cx) - m, 0), max(int(cy) - m, 0)
    x1, y1 = min(int(cx) + m, w), min(int(cy) + m, h)
    full = np.zeros((h, w, 3))
    full[y0:y1, x0:x1] = _globe(x1 - x0, y1 - y0, cx - x0, cy - y0, radius, ss)
    return full


def _globe(w, h, cx, cy, radius, ss):
    x, y = grid(w, h, ss)
    dx = (x - cx) / radius
    dy = (y - cy) / radius
    r2 = dx * dx + dy * dy
    inside = r2 < 1.0
    nz = np.sqrt(np.clip(1.0 - r2, 0.0, 1.0))
    # Spin the globe a little so the continents sit off-centre.
    tilt = 0.35
    sy = dy * np.cos(tilt) - nz * np.sin(tilt)
    sz = dy * np.sin(tilt) + nz * np.cos(tilt)
    lat = np.arcsin(np.clip(sy, -1, 1))
    lon = np.arctan2(dx, sz) + 1.9
    u = (lon / (2 * np.pi)) * 9.0
    v = (lat / np.pi + 0.5) * 4.5
    land = fbm(u, v + 3.0, seed=11, octaves=5, cells=64, gain=0.45)
    land = smoothstep(0.52, 0.56, land)
    cloud = fbm(u * 1.6 + 7.0, v * 2.2, seed=12, octaves=6, cells=64)
    cloud = smoothstep(0.55, 0.75, cloud) * 0.85
    ice = smoothstep(0.88, 0.94, np.abs(sy))
    green = rgb(52, 112, 44)
    desert = rgb(170, 140, 90)
    dry = fbm(u * 2 + 3.0, v * 2, seed=13, octaves=4, cells=64)
    land_col = lerp(green, desert, smoothstep(0.45, 0.65, dry))
    ocean = lerp(rgb(8, 30, 90), rgb(20, 70, 150), nz)
    col = lerp(ocean, land_col, land)
    col = lerp(col, rgb(235, 240, 250), np.maximum(ice, cloud))
    # Sun from the upper left: a gibbous Earth with a soft terminator.
    light = np.array([-0.72, -0.42, 0.55])
    light /= np.linalg.norm(light)
    lam = dx * light[0] + dy * light[1] + nz * light[2]
    lit = smoothstep(-0.08, 0.35, lam) * (0.25 + 0.75 * np.clip(lam, 0, 1) ** 0.6)
    glint = np.clip(lam, 0, 1) ** 40 * (1 - land) * (1 - cloud) * 0.6
    body = col * lit[..., None] + glint[..., None] * rgb(255, 250, 230)
    # Atmosphere: a blue rim brightest on the lit limb, and a faint halo.
    rim = smoothstep(0.55, 1.0, np.sqrt(np.clip(r2, 0, 1))) * smoothstep(-0.2, 0.4, lam)
    body = body + rim[..., None] * rgb(60, 120, 255) * 0.55
    dist = np.sqrt(r2)
    halo = np.exp(-np.clip(dist - 1.0, 0, None) * 18.0) * (~inside)
    ldir = (dx * light[0] + dy * light[1]) / np.maximum(dist, 1e-6)
    halo = halo * smoothstep(-0.3, 0.6, ldir)
    out = body * inside[..., None] + halo[..., None] * rgb(70, 130, 255) * 0.45
    return downsample(out, ss)


def night_sky(w=640, h=292):
    rng = np.random.RandomState(2024)
    x, y = grid(w, h)
    t = y / h
    sky = lerp(rgb(1, 2, 8), rgb(8, 12, 34), t ** 1.6)
    # A faint band of distant stars and dust across the sky.
    band_d = (y - (60 + 0.28 * x)) / 55.0
    band = np.exp(-band_d * band_d) * (0.35 + 0.65 * fbm(x / 40, y / 40, seed=7, octaves=5))
    dust = fbm(x / 25 + 5, y / 25, seed=8, octaves=4)
    sky = sky + band[..., None] * rgb(26, 22, 40) * smoothstep(0.35, 0.7, dust)[..., None] * 1.2
    cx, cy, radius = 500.0, 92.0, 44.0
    occluded = lambda sx, sy: (sx - cx) ** 2 + (sy - cy) ** 2 < (radius + 1.5) ** 2
    # Dense faint star dust in the band, then the stars themselves.
    img = sky + _stars(w, h, rng, occluded)
    micro = rng.random_sample((h, w)) ** 60 * band * 0.9
    img = img + micro[..., None] * rgb(200, 210, 255)
    earth = _earth(w, h, cx, cy, radius)
    inside = ((x - cx) ** 2 + (y - cy) ** 2) < radius * radius
    img = np.where(inside[..., None], 0.0, img) + earth
    return to_bytes(img)


# --------------------------------------------------------------- moon plain

def _crater_profile(d, depth, rim):
    """Height of a bowl crater and its derivative over distance in radii."""
    bowl = np.where(d < 1.0, -depth * (1.0 - d * d), 0.0)
    dbowl = np.where(d < 1.0, 2.0 * depth * d, 0.0)
    g = np.exp(-((d - 1.0) / 0.22) ** 2)
    ridge = rim * g
    dridge = rim * g * (-2.0 * (d - 1.0) / 0.0484)
    e = np.where(d > 1.0, 0.35 * rim * np.exp(-(d - 1.0) * 2.2), 0.0)
    return bowl + ridge + e, dbowl + dridge - 2.2 * e


def moon_plain(w=640, h=480, ss=3):
    xf, yf = grid(w, h, ss)
    r0 = (int(HORIZON) - 1) * ss                   # the ground is only computed below here
    x, y = xf[r0:], yf[r0:]
    focal, cam_h = 420.0, 1.0
    below = y > HORIZON
    dy = np.where(below, y - HORIZON, 1.0)
    z = np.where(below, focal * cam_h / dy, 1e6)   # distance along the ground
    u = (x - w / 2) * cam_h / dy                   # sideways ground position
    rng = np.random.RandomState(77)

    def bumps(uu, zz):
        hgt = 0.05 * (fbm(uu * 0.6 + 40, zz * 0.6, seed=21, octaves=6, cells=128) - 0.5)
        return hgt + 0.012 * (fbm(uu * 6 + 9, zz * 6, seed=22, octaves=3, cells=128) - 0.5)

    e = 0.004
    h0 = bumps(u, z)
    hu = (bumps(u + e, z) - h0) / e
    hz = (bumps(u, z + e) - h0) / e
    # Craters on the ground plane: perspective makes the near ones large.
    for _ in range(520):
        cz = 1.6 + rng.random_sample() ** 1.7 * 70.0
        half = (w / 2) * cz / focal * 1.15
        cu = (rng.random_sample() * 2 - 1) * half
        r = 0.05 + (rng.random_sample() ** 4) * 0.9 * (0.4 + cz / 40.0)
        depth = r * (0.35 + 0.2 * rng.random_sample())
        reach = 3.0 * r
        y_top = HORIZON + focal * cam_h / (cz + reach)
        y_bot = HORIZON + focal * cam_h / max(cz - reach, 0.05)
        i0 = max(int((y_top - 1) * ss) - r0, 0)
        i1 = min(int((y_bot + 1) * ss) + 1, h * ss) - r0
        if i0 >= i1:
            continue
        xs = [w / 2 + (cu + sx * reach) * (yy - HORIZON) / cam_h for sx in (-1, 1) for yy in (y_top, min(y_bot, h))]
        j0 = max(int((min(xs) - 1) * ss), 0)
        j1 = min(int((max(xs) + 1) * ss) + 1, w * ss)
        if j0 >= j1:
            continue
        du = u[i0:i1, j0:j1] - cu
        dz = z[i0:i1, j0:j1] - cz
        dist = np.sqrt(du * du + dz * dz)
        d = dist / r
        fh, fd = _crater_profile(d, depth, depth * 0.35)
        k = fd / (r * np.maximum(dist, 1e-9))
        hu[i0:i1, j0:j1] += k * du
        hz[i0:i1, j0:j1] += k * dz
    n = np.stack([-hu, np.ones_like(hu), -hz], axis=-1)
    n /= np.linalg.norm(n, axis=-1, keepdims=True)
    sun = np.array([-0.62, 0.42, 0.66])        # low sun from the left and behind
    sun /= np.linalg.norm(sun)
    lam = np.clip(n @ sun, 0.0, None)
    albedo = 0.55 + 0.35 * (fbm(u * 0.08 + 3, z * 0.08, seed=23, octaves=4, cells=128) - 0.5)
    albedo *= 0.9 + 0.2 * fbm(u * 2.5, z * 2.5, seed=24, octaves=3, cells=128)
    shade = albedo * (0.12 + 1.05 * lam)
    dist_fade = smoothstep(0.0, 160.0, dy)  # far ground fades into a dim band
    shade = lerp(0.16, shade, 0.35 + 0.65 * dist_fade)
    col = np.zeros((h * ss, w * ss, 3))
    col[r0:] = shade[..., None] * rgb(232, 228, 222) * below[..., None]
    # A faint glow above the horizon.
    glow = np.exp(-np.clip(HORIZON - yf, 0, None) / 14.0) * (yf <= HORIZON)
    col = col + glow[..., None] * rgb(18, 24, 44)
    return to_bytes(downsample(col, ss))


# ------------------------------------------------------------------ ridges

def _periodic_profile(x, w, seed, harmonics, rough):
    """Crest height over x, repeating every w pixels, in 0..1."""
    rng = np.random.RandomState(seed)
    p = np.zeros_like(x)
    for k in range(1, harmonics + 1):
        a = (0.5 + rng.random_sample()) / (k ** rough)
        p += a * np.sin(2 * np.pi * k * x / w + rng.random_sample() * 2 * np.pi)
    p = (p - p.min()) / (p.max() - p.min())
    return p ** 1.3                             # broad valleys, rounded peaks


def ridge(w, h, seed, top, low, colour, bumps, harmonics, ss=4):
    """A ridge of worn lunar mountains, lit from the left, tiling along x."""
    x, y = grid(w, h, ss)
    prof = _periodic_profile(x[0], w, seed, harmonics, 1.7)
    crest = low - prof * (low - top)            # y of the skyline
    inside = smoothstep(-0.5, 0.5, y - crest[None, :])
    below = np.clip(y - crest[None, :], 0, None)
    # Rounded massifs: the face turns towards the light on left-rising slopes,
    # less so deeper down where the shape blurs into the foothills.
    slope = (np.roll(crest, -1) - np.roll(crest, 1)) / 2 * ss
    face = np.tanh(-slope * 1.6)[None, :] * np.exp(-below / (h * 0.6))
    rough = fbm(x / w * bumps, y / w * bumps, seed=seed + 1, octaves=4, cells=64, period=bumps, gain=0.45)
    gy, gx = np.gradient(rough * w / bumps)
    relief = np.tanh(-(gx * 0.8 + gy * 0.35) * ss * 0.9) * 0.3
    light = 0.5 + 0.32 * face + relief
    depth = np.clip(below / (h - top), 0.0, 1.0)
    body = np.clip(light, 0.04, 1.0) * (1.0 - 0.45 * depth)
    rim = np.exp(-below / 1.2) * 0.35 * (0.6 + 0.4 * np.tanh(-slope * 2)[None, :])
    v = np.clip(body + rim, 0, 1.0) * inside
    img = v[..., None] * colour
    return to_bytes(downsample(img, ss))


def far_ridge():
    return ridge(140, 89, seed=301, top=4, low=58, colour=rgb(185, 195, 225), bumps=8, harmonics=4)


def near_ridge():
    return ridge(230, 58, seed=402, top=6, low=40, colour=rgb(245, 240, 230), bumps=16, harmonics=7)
