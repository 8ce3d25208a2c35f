#!/usr/bin/python3
"""Synthesises the game's sound effects and music into Ogg Vorbis files.

Usage: gen_sounds.py [OUTPUT_DIR] [NAME...]   (default: data/ of this repository)

Needs Debian's python3-numpy and vorbis-tools (oggenc, oggdec). Everything is
computed from fixed seeds and encoded at fixed settings with a fixed stream
serial, so a run reproduces the committed files byte for byte. Each file is
encoded, decoded and, if the codec moved its peak, encoded once more at the
corrected gain, so the levels in SOUNDS hold for what the game decodes. A
full run also checks the headroom of the whole set and writes SOUNDS.md.
"""
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import headroom  # noqa: E402
from sounds import SOUNDS  # noqa: E402
from synth import RATE, decode_ogg, encode_ogg  # noqa: E402

# The worst case may come no closer to full scale than this.
CEILING_DB = -0.5


def write_at_peak(x, path, quality, peak_db):
    """Encodes x so that the decoded file peaks at peak_db; returns the decoded sound."""
    target = 10 ** (peak_db / 20)
    gain = target
    encode_ogg(x * gain, path, quality)
    decoded = decode_ogg(path)
    got = headroom.peak(decoded)
    if abs(headroom.db(got) - peak_db) > 0.05:
        gain *= target / got
        encode_ogg(x * gain, path, quality)
        decoded = decode_ogg(path)
    return decoded


def rms_db(x):
    return headroom.db(np.sqrt(np.mean(x ** 2)))


def levels_table(decoded):
    rows = ["| File | Peak | RMS | RMS of the first 100 ms |", "|---|---|---|---|"]
    for name, x in decoded.items():
        rows.append(f"| `{name}` | {headroom.db(headroom.peak(x)):.1f} dBFS | {rms_db(x):.1f} dBFS "
                    f"| {rms_db(x[:RATE // 10]):.1f} dBFS |")
    music = rms_db(decoded["kelvora.ogg"])
    over = ", ".join(f"`{n}` {rms_db(decoded[n][:RATE // 10]) - music:+.1f} dB"
                     for n in ("laserfire.ogg", "alienmiss.ogg", "alienhit.ogg"))
    return "\n".join(rows) + f"\n\nFirst 100 ms over the play music's RMS: {over}."


def headroom_tables(decoded):
    parts, cases = headroom.cases(decoded)
    rows = ["| Part | Worst level |", "|---|---|"]
    rows += [f"| {k} | {headroom.db(v):.1f} dBFS |" for k, v in parts.items()]
    rows += ["", "| Moment | Adds up | Worst sum |", "|---|---|---|"]
    rows += [f"| {k} | {' + '.join(headroom.CASES[k])} | {headroom.db(v):.1f} dBFS |" for k, v in cases.items()]
    return "\n".join(rows), max(cases.values())


REASONING = """\
## Levels and headroom

The mixer adds every playing voice and clips only at its output, at both
volumes "Max" exactly full scale, so the files themselves must leave room for
the loudest moment the game can make. The limits come from the game's rules:

- **Shots**: one per frame at most (the fire key counts presses and nothing
  else slows it). A laser lasts 0.42 s, so 26 can overlap; the laser decays
  fast (most of it within 0.1 s) so that a stream of them piles up less.
  The figure below is the largest sum over any pattern of frames fired in.
- **Hits**: every shot that reaches an alien in the same frame plays the hit
  again, in phase, so n hits are n times as loud. Whole games with a shot
  every frame, and every second frame, gave at most 3 hits in one frame and
  3 within a hit's 1.15 s; the budget takes 3 in one frame.
- **Warnings**: one per alien as it comes to the front; aliens are spawned
  at least 40 frames apart and each warns 400 frames after its birth, so
  two warnings overlap at most, 40 or more frames apart. A warning can land
  in the same frame as hits.
- **Music**: always under everything; its loudest drum hits are held to
  10 dB over its RMS.
- **Start and end**: the new-game fanfare starts with the play music 150
  frames before the first alien; the end-game cadence plays one frame after
  the last alien has gone, while lasers, hits and a warning may still ring.
- **Pause and menu**: pausing swaps the play music for the title music while
  effects ring on; on the menu each click on the sound volume steps it and
  plays the hit at the new volume, at most one click a frame.

Each moment adds the worst level each of its parts can reach as if all their
peaks met in one sample, which is more than the game will ever produce; the
generator refuses a set whose worst moment comes within {ceiling} dB of full
scale.

## Loudness

The music is set by its loudness (EBU R128, integrated, at both volumes
"Max"): the title screen, logo and title music, at -24 LUFS, the usual
level for games on computers and consoles; the play music, which fills
every pause between shots, at -30 LUFS (it sounds under the effects, so it
sits 6 LU under the title). A whole game with steady fire then comes to
-22 LUFS. `tests/game/loudness_test.cpp` measures all of this with
libebur128 on the replay harness's captured mix and the files played
alone through the mixer, with the true peak, which stays under -1 dBTP.

Measured (`build/test/tests/game/test_game_loudness`):

| What | Integrated | True peak |
|---|---|---|
| title screen, 30 s untouched | -24.2 LUFS | -15.4 dBTP |
| play music alone | -29.9 LUFS | -19.6 dBTP |
| whole game, a shot every 7 frames | -22.0 LUFS | -9.7 dBTP |
| whole game in 3D, a shot every frame at the crowded end | -21.2 LUFS | -6.8 dBTP |

No sample clips in any of them.

With the mixer's hard clip the headroom bound above is what limits the
effects: the game end (the cadence over lasers at one shot a frame, three
hits and a warning, with the play music) reaches -0.7 dBFS, so the effects
cannot rise over the louder music. Their loudest 400 ms over the play
music's loudness: the hit +3.3 LU, the warning +4.0 LU, the laser +0.4 LU
(it piles up fastest and takes the largest share of the bound). The laser
can stand further out only with more headroom than the bound leaves. The
loudest moment measured in a game, one shot a frame at the crowded end, has
its true peak at -6.8 dBTP: a limiter stage between the mixer's accumulator
and its output, bit-transparent below a threshold near -1 dBTP, would let
the effects rise by about 5 dB, the limiter acting only on moments rarer
than any measured, and the bound here could then count what the game
really makes instead of every peak meeting.

"""


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out = argv[1] if len(argv) > 1 else os.path.join(here, "..", "..", "data")
    only = set(argv[2:])
    os.makedirs(out, exist_ok=True)
    rows = []
    decoded = {}
    for name, (make, loops, quality, peak_db) in SOUNDS.items():
        if only and name not in only:
            continue
        x = make()
        decoded[name] = write_at_peak(x, os.path.join(out, name), quality, peak_db)
        kind = "music loop" if loops else "effect"
        what = make.__doc__.strip().splitlines()[0]
        rows.append(f"| `{name}` | {kind} | {len(x) / RATE:.2f} s | {what} |")
        print(f"{name}: {len(x) / RATE:.2f} s {kind}, peak {peak_db:.1f} dBFS")
    if only:
        return 0
    tables, worst = headroom_tables(decoded)
    with open(os.path.join(out, "SOUNDS.md"), "w") as f:
        f.write("# Sounds and music\n\n"
                "Made by `tools/gen_sounds/gen_sounds.py`: 44100 Hz stereo Ogg Vorbis.\n\n"
                "| File | Kind | Length | What it is |\n|---|---|---|---|\n")
        f.write("\n".join(rows) + "\n\n")
        f.write(REASONING.format(ceiling=-CEILING_DB))
        f.write("Levels of the decoded files:\n\n" + levels_table(decoded) + "\n\n")
        f.write("Worst moments (`tools/gen_sounds/headroom.py`):\n\n" + tables + "\n")
    print(f"worst moment: {headroom.db(worst):.1f} dBFS")
    if headroom.db(worst) > CEILING_DB:
        print(f"error: the worst moment passes {CEILING_DB} dBFS; lower the levels in sounds.py",
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
