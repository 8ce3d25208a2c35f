"""The game's five effects and two looping music tracks.

Effects start at once and decay to silence within 1.5 seconds. The music
tracks are built circularly: every note, echo and reverb tail that runs past
the end of the loop is folded back onto its start, so the track is exactly
periodic and loops without a seam.

Each maker returns its sound at a peak of 1; the level every file is
written at is its peak in SOUNDS below, chosen so that everything the game
can play at once stays below full scale (headroom.py): the music by its
loudness (the title screen at -24 LUFS, the play music at -30), the
effects as loud as the rest of the bound allows, the hit and the warning
3 to 4 LU over the play music, the laser level with it.
"""
import numpy as np

from synth import (RATE, band, convolve, echo, envelope, fm, frames, midi_hz,
                   limit, noise, osc, place, reverb_ir, saw, seconds,
                   sine, square)


def _unit(x, shave_db=0.0):
    """Scaled to a peak of 1, after the few loudest peaks are limited by
    shave_db; gen_sounds.py sets each file's final level."""
    x = x / np.max(np.abs(x))
    if shave_db:
        x = limit(x, 10 ** (-shave_db / 20))
    return x / np.max(np.abs(x))


def _fade_tail(x, sec=0.03):
    """Ends exactly at silence so a short effect never clicks off."""
    n = frames(sec)
    x[-n:] *= np.linspace(1.0, 0.0, n)[:, None] if x.ndim == 2 else np.linspace(1.0, 0.0, n)
    return x


def _stereo(n):
    return np.zeros((n, 2))


# ------------------------------------------------------------------ effects

def laser():
    """A bright zap: a fast falling sweep over a short hiss."""
    n = frames(0.42)
    t = seconds(n)
    out = _stereo(n)
    for ch, detune in ((0, 1.0), (1, 1.018)):
        f = (2600 * np.exp(-t / 0.055) + 240) * detune * (1 + 0.02 * np.sin(2 * np.pi * 38 * t))
        tone = osc(f, n, square, bright=f * 6)
        env = np.exp(-t / 0.06) * np.minimum(t / 0.0015, 1.0)   # short: shots overlap less
        out[:, ch] += tone * env
    hiss = band(noise(n, 101), 2500, 9000) * np.exp(-t / 0.018)
    out += hiss[:, None] * 0.5
    return _fade_tail(_unit(out))


def alien_hit():
    """The alien bursts: a deep thump, a crackling blast and a dying squeal."""
    n = frames(1.15)
    t = seconds(n)
    out = _stereo(n)
    f = 130 * np.exp(-t / 0.12) + 36
    thump = osc(f, n, sine) * np.exp(-t / 0.16) * np.minimum(t / 0.002, 1.0)
    out += thump[:, None] * 1.0
    for ch in range(2):
        blast = band(noise(n, 200 + ch), 250, 6000) * np.exp(-t / 0.16)
        rumble = band(noise(n, 210 + ch), 50, 700) * np.exp(-t / 0.42) * 2.0
        rng = np.random.RandomState(220 + ch)
        crack = np.zeros(n)
        hits = rng.randint(0, frames(0.7), 90)
        crack[hits] = rng.standard_normal(90) * np.exp(-hits / frames(0.25)) * 6
        crack = band(crack, 800, 9000)
        attack = np.minimum(t / 0.003, 1.0)
        out[:, ch] += (blast * 0.55 + rumble * 0.5 + crack * 0.5) * attack
    sq_f = 1900 * np.exp(-t / 0.16) + 420
    squeal = osc(sq_f * (1 + 0.05 * np.sin(2 * np.pi * 24 * t)), n, saw, bright=3000)
    squeal *= np.exp(-t / 0.12) * np.minimum(t / 0.01, 1.0)
    out += np.stack([squeal * 0.16, squeal * 0.1], axis=1)
    out = out + convolve(out, reverb_ir(0.8, 0.25, 230), circular=False) * 0.12
    out = np.tanh(out * (3.0 / np.max(np.abs(out))))   # squeeze the thump: loud, but little peak
    return _fade_tail(_unit(out))


def _bell(note, dur, bright=1.0):
    n = frames(dur)
    f = midi_hz(note)
    return fm(f, n, 2.0, 2.2 * bright, 0.25) * envelope(n, 0.004, 0.35, 0.0, 0.05) + \
        osc(f, n, saw, bright=f * 4) * envelope(n, 0.01, 0.2, 0.3, 0.1) * 0.25


def new_game():
    """A rising fanfare: a quick upward arpeggio landing on a bright chord."""
    n = frames(1.4)
    out = _stereo(n)
    notes = [60, 64, 67, 72, 76]
    for i, m in enumerate(notes):
        place(out, _bell(m, 0.35), frames(0.075 * i), pan=-0.4 + 0.2 * i, gain=0.6)
    chord = [60, 67, 72, 76, 79]
    start = frames(0.38)
    for j, m in enumerate(chord):
        d = 1.0
        k = frames(d)
        f = midi_hz(m)
        tone = osc(f * (1 + 0.003 * (j - 2)), k, saw, bright=np.linspace(f * 8, f * 3, k))
        tone *= envelope(k, 0.02, 0.4, 0.45, 0.45)
        place(out, tone, start, pan=(j - 2) * 0.3, gain=0.28)
        place(out, _bell(m, 0.9), start, pan=(2 - j) * 0.3, gain=0.35)
    t = seconds(n)
    whoosh = band(noise(n, 301), 800, 8000) * np.exp(-((t - 0.3) / 0.12) ** 2) * 0.25
    out += whoosh[:, None]
    out = out + convolve(out, reverb_ir(1.2, 0.35, 310), circular=False) * 0.18
    return _fade_tail(_unit(out, 4.0), 0.2)


def end_game():
    """A closing cadence: a falling line over a warm chord that settles home."""
    n = frames(1.48)
    out = _stereo(n)
    line = [(79, 0.0), (76, 0.13), (72, 0.26), (74, 0.39), (71, 0.52), (72, 0.68)]
    for m, s in line:
        place(out, _bell(m, 0.5, 0.7), frames(s), pan=0.25, gain=0.5)
    for chord, s, d in (([53, 57, 60, 65], 0.0, 0.7), ([48, 55, 60, 64, 67], 0.66, 0.8)):
        for j, m in enumerate(chord):
            k = frames(d)
            f = midi_hz(m)
            tone = osc(f * (1 + 0.002 * j), k, saw, bright=f * 3.5)
            tone *= envelope(k, 0.03, 0.5, 0.6, 0.35)
            place(out, tone, frames(s), pan=-0.3 + 0.15 * j, gain=0.22)
    out = out + convolve(out, reverb_ir(1.5, 0.45, 410), circular=False) * 0.2
    return _fade_tail(_unit(out, 4.0), 0.25)


def alien_miss():
    """An alarm: three urgent two-tone pulses and a falling 'lost it' tone."""
    n = frames(0.95)
    out = _stereo(n)
    for i, f in enumerate((988.0, 740.0, 988.0)):
        k = frames(0.12)
        tone = osc(f * (1 + 0.01 * np.sin(2 * np.pi * 30 * seconds(k))), k, square, bright=f * 5)
        tone *= envelope(k, 0.002, 0.2, 0.8, 0.02)
        place(out, tone, frames(0.15 * i), pan=(-0.35, 0.35, -0.35)[i], gain=0.5)
    k = frames(0.45)
    tk = seconds(k)
    f = 660 * np.exp(-tk / 0.5)
    drop = osc(f, k, square, bright=f * 4) * envelope(k, 0.005, 0.3, 0.6, 0.15)
    place(out, drop, frames(0.47), gain=0.45)
    return _fade_tail(_unit(out))


# -------------------------------------------------------------------- music

def _squeeze_music(x):
    """Holds the loudest drum hits to 10 dB over the track's RMS, loop-safe,
    so the music sits under the effects without wasting headroom on peaks."""
    rms = np.sqrt(np.mean(x ** 2))
    return limit(x, rms * 10 ** (10 / 20), circular=True)


def _pad(notes, dur, seed, bright_mul=3.0, attack=0.6, release=0.9):
    """Detuned saw pad, slowly opening; stereo from differently detuned voices."""
    n = frames(dur + release)
    out = _stereo(n)
    rng = np.random.RandomState(seed)
    for m in notes:
        f = midi_hz(m)
        for ch in range(2):
            for det in (-0.004, 0.0035):
                d = 1 + det * (1 if ch else -1) + rng.uniform(-0.001, 0.001)
                v = osc(f * d, n, saw, bright=f * bright_mul, phase=rng.uniform(0, 6.3))
                out[:, ch] += v
    env = envelope(n, attack, 1.0, 0.85, release, hold=dur)
    return out * env[:, None] / len(notes)


def moon_title():
    """Calm title theme, 8 bars of 3/4 at 90 bpm in D minor: pads, bells, a slow bass."""
    beat = 60.0 / 90
    bar = 3 * beat
    n = frames(8 * bar)
    out = _stereo(n)
    chords = [
        (38, [50, 53, 57, 60, 64]),   # Dm9
        (34, [46, 50, 53, 57, 60]),   # Bbmaj9
        (41, [53, 57, 60, 64]),       # Fmaj7
        (36, [48, 52, 55, 62]),       # Cadd9
        (43, [55, 58, 62, 65, 69]),   # Gm9
        (34, [50, 53, 57, 58]),       # Bbmaj7
        (45, [52, 55, 57, 60]),       # Am7
        (45, [52, 57, 61, 64]),       # A, leading home
    ]
    for i, (root, notes) in enumerate(chords):
        start = frames(i * bar)
        place(out, _pad(notes, bar + 0.3, 600 + i), start, circular=True, gain=0.35)
        k = frames(bar)
        f = midi_hz(root)
        bass = osc(f, k, lambda h: (1.0, 0.35, 0.12)[h - 1] if h <= 3 else 0.0)
        bass *= envelope(k, 0.06, 0.8, 0.7, 0.5)
        place(out, bass, start, circular=True, gain=0.4)
        # Arpeggio of soft bells, eighth notes up and down the chord.
        arp = notes + [notes[-1] + 12] if i % 2 == 0 else notes[::-1]
        for j in range(6):
            m = arp[j % len(arp)] + 12
            place(out, _bell(m, 0.6, 0.5), start + frames(j * beat / 2), circular=True,
                  pan=np.sin(j * 0.9) * 0.6, gain=0.16 + 0.05 * (j % 2 == 0))
    # A slow melody over the top.
    melody = [(74, 0, 2), (72, 2, 1), (69, 3, 3), (70, 6, 2), (69, 8, 1), (65, 9, 3),
              (67, 12, 2), (69, 14, 1), (67, 15, 2), (64, 17, 1), (74, 18, 2), (72, 20, 1),
              (69, 21, 3)]
    for m, b, d in melody:
        k = frames(d * beat + 0.6)
        f = midi_hz(m)
        tone = fm(f, k, 1.0, 1.2, 0.6) * envelope(k, 0.03, 0.5, 0.55, 0.5, hold=d * beat)
        vib = osc(f * (1 + 0.004 * np.sin(2 * np.pi * 5 * seconds(k))), k, lambda h: 1.0 / h ** 2)
        tone = tone * 0.7 + vib * 0.3 * envelope(k, 0.2, 0.5, 0.7, 0.5, hold=d * beat)
        place(out, tone, frames(b * beat), circular=True, pan=0.15, gain=0.3)
    wet = echo(out, beat * 0.75, 0.35, 4, circular=True)
    out = out + (wet - out) * 0.5
    out = out + convolve(out, reverb_ir(3.2, 1.1, 620), circular=True) * 0.32
    return _unit(_squeeze_music(out))


def _kick(n):
    t = seconds(n)
    f = 120 * np.exp(-t / 0.04) + 46
    body = osc(f, n, sine) * np.exp(-t / 0.22)
    click = band(noise(n, 701), 1500, 6000) * np.exp(-t / 0.004) * 0.3
    return body + click


def _snare(n, seed):
    t = seconds(n)
    tone = osc(185.0, n, lambda h: (1.0, 0.4)[h - 1] if h <= 2 else 0.0) * np.exp(-t / 0.06)
    hiss = band(noise(n, seed), 1200, 9000) * np.exp(-t / 0.11)
    return tone * 0.5 + hiss * 0.8


def _hat(n, seed, length):
    t = seconds(n)
    return band(noise(n, seed), 7000, 16000) * np.exp(-t / length)


def kelvora_play():
    """Driving play theme, 8 bars at 120 bpm in E minor."""
    beat = 0.5
    bar = 4 * beat
    n = frames(8 * bar)
    out = _stereo(n)
    drums = _stereo(n)
    kick, snare = _kick(frames(0.4)), _snare(frames(0.3), 711)
    for b in range(32):
        place(drums, kick, frames(b * beat), circular=True, gain=0.9)
        if b % 4 in (1, 3):
            place(drums, snare, frames(b * beat), circular=True, gain=0.55)
        if b % 8 == 7:                           # a pickup before each phrase turn
            place(drums, kick, frames((b + 0.75) * beat), circular=True, gain=0.5)
    for s in range(128):
        accent = 0.35 if s % 2 == 0 else 0.2
        open_hat = s % 4 == 2
        h = _hat(frames(0.25 if open_hat else 0.06), 720 + s % 7, 0.09 if open_hat else 0.018)
        place(drums, h, frames(s * beat / 4), circular=True, pan=0.3, gain=0.5 * accent * (1.3 if open_hat else 1))
    prog = [(40, [52, 55, 59]), (36, [52, 55, 60]), (38, [54, 57, 62]), (35, [54, 59, 62]),
            (40, [52, 55, 59]), (36, [52, 55, 60]), (33, [52, 57, 60]), (35, [51, 54, 59])]
    for i, (root, chord) in enumerate(prog):
        start = i * bar
        # Bass: eighth notes with a plucky filter, octave on the off-beats.
        for e in range(8):
            m = root + (12 if e % 2 else 0)
            k = frames(beat / 2)
            f = midi_hz(m)
            tk = seconds(k)
            b = osc(f, k, saw, bright=f * (1.5 + 9 * np.exp(-tk / 0.05)))
            b *= envelope(k, 0.003, 0.15, 0.6, 0.03)
            place(out, b, frames(start + e * beat / 2), circular=True, gain=0.38)
        # Sixteenth-note arpeggio, echoed.
        arp = chord + [chord[0] + 12]
        for s in range(16):
            m = arp[(s * 3) % 4] + 12
            k = frames(beat / 4)
            f = midi_hz(m)
            a = osc(f, k, square, bright=f * 5) * envelope(k, 0.002, 0.06, 0.3, 0.02)
            place(out, a, frames(start + s * beat / 4), circular=True,
                  pan=0.5 * np.sin(s * np.pi / 8), gain=0.07)
        # Chord stabs on the off-beats of beats 2 and 4.
        for off in (1.5, 3.5):
            k = frames(0.22)
            for j, m in enumerate(chord):
                f = midi_hz(m + 12)
                stab = osc(f * (1 + 0.003 * j), k, saw, bright=f * 4) * envelope(k, 0.004, 0.08, 0.3, 0.05)
                place(out, stab, frames(start + off * beat), circular=True, pan=(j - 1) * 0.5, gain=0.07)
    # Lead hook in the second half.
    hook = [(71, 16, 1.5), (74, 17.5, 0.5), (76, 18, 1), (74, 19, 1), (72, 20, 1.5), (71, 21.5, 0.5),
            (67, 22, 2), (69, 24, 1.5), (72, 25.5, 0.5), (71, 26, 1), (69, 27, 1), (66, 28, 2),
            (71, 30, 1), (75, 31, 1)]
    for m, b, d in hook:
        k = frames(d * beat + 0.1)
        f = midi_hz(m)
        tk = seconds(k)
        vib = 1 + 0.006 * np.sin(2 * np.pi * 5.5 * tk) * np.minimum(tk / 0.3, 1)
        lead = osc(f * vib, k, saw, bright=f * 3.5) * envelope(k, 0.01, 0.3, 0.7, 0.08)
        place(out, lead, frames(b * beat), circular=True, pan=-0.1, gain=0.17)
    out = echo(out, beat * 0.75, 0.3, 3, circular=True)
    out = out + convolve(out, reverb_ir(1.6, 0.5, 730), circular=True) * 0.15
    out = out + drums
    return _unit(_squeeze_music(out))


# name: (maker, looping, ogg quality, peak of the decoded file in dBFS)
SOUNDS = {
    "laserfire.ogg": (laser, False, 4, -18.0),
    "alienhit.ogg": (alien_hit, False, 4, -19.5),
    "newgame.ogg": (new_game, False, 4, -18.5),
    "endgame.ogg": (end_game, False, 4, -20.5),
    "alienmiss.ogg": (alien_miss, False, 4, -24.0),
    "moontitle.ogg": (moon_title, True, 3, -15.2),
    "kelvora.ogg": (kelvora_play, True, 3, -19.4),
}
