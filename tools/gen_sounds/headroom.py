"""The loudest moments the game can produce, worked out from its own limits.

The mixer adds voices sample by sample and clips only at its output, so the
files must leave room for everything that can sound at once. Every voice
starts at a frame (60 per second, rounded to the millisecond by the mixer);
the limits below come from the game's rules:

- shots: at most one per frame (the fire key counts presses, and nothing
  slows it down), so up to 26 lasers overlap;
- hits: shots that reach an alien in the same frame each play the hit, in
  phase; whole games at one shot per frame give at most 3 in a frame and 3
  within a hit's length;
- warnings: one per alien as it comes to the front, and aliens are spawned
  at least 40 frames apart, so two warnings overlap at most;
- the new-game fanfare plays as a game starts (no alien for 150 frames), the
  end-game cadence one frame after the last alien has gone, and pausing
  swaps the play music for the title music while effects ring on; on the
  menu, every click on the sound volume steps the volume and plays the hit at
  the new volume (one click a frame).

Each case adds the largest value each part can reach, as if their peaks met:
a bound, not a measurement.
"""
import numpy as np

FRAME_MS = 1000.0 / 60
HITS_TOGETHER = 3
WARNING_GAP_FRAMES = 40


def _starts(count):
    """Sample offsets of count successive frames, as the mixer starts voices."""
    return [int(round(k * FRAME_MS)) * 441 // 10 for k in range(count)]


def _frames_long(x):
    return int(np.ceil(len(x) / (44100 * FRAME_MS / 1000))) + 1


def pile(x, offsets):
    """Largest sum of copies of x started at any subset of offsets, either sign."""
    n = len(x)
    best = 0.0
    for sign in (1.0, -1.0):
        part = np.maximum(sign * x, 0.0)
        acc = np.zeros((offsets[-1] + n, x.shape[1]))
        for o in offsets:
            acc[o:o + n] += part
        best = max(best, float(acc.max()))
    return best


def _clicks(hit):
    """Clicking the sound volume every frame: each click steps the volume
    (10 %, 20 %, .. Max, Off, 10 %, ..) and plays the hit at the new one."""
    offsets = _starts(_frames_long(hit))
    n = len(hit)
    best = 0.0
    for first in range(11):
        acc = np.zeros((offsets[-1] + n, hit.shape[1]))
        for k, o in enumerate(offsets):
            acc[o:o + n] += hit * (((first + k) % 11) / 10)
        best = max(best, float(np.max(np.abs(acc))))
    return best


def peak(x):
    return float(np.max(np.abs(x)))


def parts(s):
    """The worst level of each part, linear (1.0 = full scale)."""
    laser, hit, warn = s["laserfire.ogg"], s["alienhit.ogg"], s["alienmiss.ogg"]
    return {
        "lasers, one shot a frame": pile(laser, _starts(_frames_long(laser))),
        f"{HITS_TOGETHER} hits in one frame": HITS_TOGETHER * peak(hit),
        "warnings, 40 frames apart": max(pile(warn, [0, o])
                                         for o in _starts(_frames_long(warn))[WARNING_GAP_FRAMES:]),
        "hits, one click a frame": _clicks(hit),
        "play music": peak(s["kelvora.ogg"]),
        "title music": peak(s["moontitle.ogg"]),
        "new game": peak(s["newgame.ogg"]),
        "end of game": peak(s["endgame.ogg"]),
    }


CASES = {
    "play": ["lasers, one shot a frame", f"{HITS_TOGETHER} hits in one frame",
             "warnings, 40 frames apart", "play music"],
    "game start": ["new game", "lasers, one shot a frame", "play music"],
    "game end": ["end of game", "lasers, one shot a frame", f"{HITS_TOGETHER} hits in one frame",
                 "warnings, 40 frames apart", "play music"],
    "pause": ["title music", "lasers, one shot a frame", f"{HITS_TOGETHER} hits in one frame",
              "warnings, 40 frames apart"],
    "menu clicks": ["title music", "hits, one click a frame"],
}


def cases(s):
    p = parts(s)
    return p, {name: sum(p[k] for k in keys) for name, keys in CASES.items()}


def db(v):
    return 20 * np.log10(max(v, 1e-9))
