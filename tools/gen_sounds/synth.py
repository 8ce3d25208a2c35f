"""Small deterministic synthesiser: additive oscillators, envelopes, noise,
FFT filtering and reverb, with circular placement for seamless loops.

Signals are float64 arrays, mono (n,) or stereo (n, 2), at RATE hertz.
"""
import os
import subprocess
import wave

import numpy as np

RATE = 44100


def seconds(n):
    return np.arange(n) / RATE


def frames(sec):
    return int(round(sec * RATE))


def midi_hz(note):
    return 440.0 * 2.0 ** ((note - 69) / 12.0)


def envelope(n, attack, decay, sustain, release, hold=None):
    """ADSR over n frames; the release starts at hold seconds (default: so it ends at n)."""
    t = seconds(n)
    a = max(attack, 1e-4)
    env = np.where(t < a, t / a, sustain + (1 - sustain) * np.exp(-(t - a) / max(decay, 1e-4)))
    rel_start = (n / RATE - release) if hold is None else hold
    rel = np.clip(1 - (t - rel_start) / max(release, 1e-4), 0, 1)
    return env * np.where(t > rel_start, rel, 1.0)


def osc(freq, n, partials, bright=None, phase=0.0):
    """Band-limited additive oscillator.

    freq is a number or a per-frame array (for sweeps); partials(k) gives the
    amplitude of harmonic k; bright, when given, is a per-frame cutoff in hertz
    that rolls the harmonics off smoothly (a filter sweep without a filter).
    """
    if np.ndim(freq) == 0 and np.ndim(bright) == 0:
        return _table_osc(float(freq), n, partials, bright, phase)
    f = np.broadcast_to(np.asarray(freq, dtype=np.float64), (n,))
    ph = 2 * np.pi * np.cumsum(f) / RATE + phase
    out = np.zeros(n)
    k = 1
    while True:
        fk = f * k
        if np.min(fk) > RATE * 0.45:
            break
        amp = partials(k)
        if amp != 0.0:
            g = np.where(fk < RATE * 0.45, amp, 0.0)
            if bright is not None:
                roll = np.maximum(fk - bright * 0.3, 0) / np.maximum(bright, 1.0)
                if np.min(roll) > 9.0:          # every later harmonic is inaudible too
                    break
                g = g * np.exp(-roll)
            out += g * np.sin(k * ph)
        k += 1
        if k > 200:
            break
    return out


TABLE = 4096


def _table_osc(freq, n, partials, bright, phase):
    """osc for a steady pitch and tone: one band-limited cycle, read by phase."""
    cycle = np.zeros(TABLE)
    t = 2 * np.pi * np.arange(TABLE) / TABLE
    k = 1
    while freq * k < RATE * 0.45 and k <= 200:
        g = partials(k)
        if bright is not None:
            roll = max(freq * k - bright * 0.3, 0) / max(bright, 1.0)
            if roll > 9.0:
                break
            g *= np.exp(-roll)
        if g:
            cycle += g * np.sin(k * t)
        k += 1
    pos = (np.arange(1, n + 1) * (freq / RATE) + phase / (2 * np.pi)) % 1.0 * TABLE
    i = pos.astype(np.int64)
    frac = pos - i
    return cycle[i] * (1 - frac) + cycle[(i + 1) % TABLE] * frac


def saw(k):
    return 1.0 / k


def square(k):
    return 1.0 / k if k % 2 else 0.0


def sine(k):
    return 1.0 if k == 1 else 0.0


def fm(freq, n, ratio, index, index_decay):
    """Two-operator FM bell: a sine modulated by a decaying sine."""
    t = seconds(n)
    mod = index * np.exp(-t / index_decay) * np.sin(2 * np.pi * freq * ratio * t)
    return np.sin(2 * np.pi * freq * t + mod)


def noise(n, seed):
    return np.random.RandomState(seed).standard_normal(n)


def band(x, lo, hi, soft=0.15):
    """Band-pass by FFT with smooth (log-frequency) edges; lo/hi in hertz."""
    n = len(x)
    spectrum = np.fft.rfft(x, axis=0)
    f = np.fft.rfftfreq(n, 1.0 / RATE)
    lf = np.log(np.maximum(f, 1.0))
    g = np.ones_like(f)
    if lo:
        g *= 1 / (1 + np.exp(-(lf - np.log(lo)) / soft))
    if hi:
        g *= 1 / (1 + np.exp((lf - np.log(hi)) / soft))
    if x.ndim == 2:
        g = g[:, None]
    return np.fft.irfft(spectrum * g, n=n, axis=0)


def reverb_ir(sec, decay, seed, stereo=True):
    """A diffuse room: exponentially decaying noise, darker as it decays."""
    n = frames(sec)
    t = seconds(n)
    chans = []
    for c in range(2 if stereo else 1):
        r = noise(n, seed + c) * np.exp(-t / decay)
        lowpassed = band(r, None, 3500)
        mix = np.exp(-t / (decay * 0.6))
        chans.append(r * mix + lowpassed * (1 - mix))
    ir = np.stack(chans, axis=1)
    ir[: frames(0.012)] = 0.0                   # a short pre-delay
    return ir / np.sqrt(np.sum(ir ** 2) / ir.shape[1])


def convolve(x, ir, circular):
    """Convolves each channel with the IR; circular wraps the tail to the start."""
    n = len(x)
    if circular:
        size = n
        irr = np.zeros((n, ir.shape[1]))
        m = min(n, len(ir))
        irr[:m] = ir[:m]
        if len(ir) > n:                         # fold a tail longer than the loop
            for s in range(n, len(ir), n):
                seg = ir[s:s + n]
                irr[:len(seg)] += seg
        y = np.fft.irfft(np.fft.rfft(x, axis=0) * np.fft.rfft(irr, axis=0), n=size, axis=0)
        return y
    size = n + len(ir)
    y = np.fft.irfft(np.fft.rfft(x, n=size, axis=0) * np.fft.rfft(ir, n=size, axis=0), n=size, axis=0)
    return y[:n]


def place(buf, sig, start, circular=False, pan=0.0, gain=1.0):
    """Adds a mono or stereo signal into a stereo buffer at frame start.

    pan -1 is left, +1 right (constant power); with circular the part that runs
    past the end comes back in at the start, so a loop stays continuous.
    """
    if sig.ndim == 1:
        a = np.pi / 4 * (pan + 1)
        sig = np.stack([sig * np.cos(a), sig * np.sin(a)], axis=1) * np.sqrt(2)
    sig = sig * gain
    n = len(buf)
    if circular:
        idx = (start + np.arange(len(sig))) % n
        np.add.at(buf, idx, sig)
    else:
        end = min(n, start + len(sig))
        if end > start:
            buf[start:end] += sig[:end - start]


def _shift(x, d, circular):
    if circular:
        return np.roll(x, d, axis=0)
    out = np.zeros_like(x)
    out[d:] = x[:-d]
    return out


def echo(x, delay_sec, feedback, taps, circular):
    """Ping-pong echo on a stereo signal; with circular the repeats wrap around."""
    out = x.copy()
    cur = x
    d = frames(delay_sec)
    for _ in range(taps):
        cur = _shift(cur, d, circular)[:, ::-1] * feedback
        out = out + cur
    return out


def normalise(x, peak):
    return x * (peak / np.max(np.abs(x)))


def _run_min(x, radius, circular):
    """Minimum over x[i - radius .. i + radius], by doubling shifts."""
    n = len(x)
    pad = np.concatenate([x[-radius:], x, x[:radius]]) if circular else \
        np.concatenate([np.full(radius, x[0]), x, np.full(radius, x[-1])])
    out = pad.copy()
    width = 1
    while width < 2 * radius + 1:
        step = min(width, 2 * radius + 1 - width)
        out[:-step] = np.minimum(out[:-step], out[step:])
        width += step
    return out[:n]


def _run_mean(x, radius, circular):
    n = len(x)
    pad = np.concatenate([x[-radius:], x, x[:radius]]) if circular else \
        np.concatenate([np.full(radius, x[0]), x, np.full(radius, x[-1])])
    c = np.concatenate([[0.0], np.cumsum(pad)])
    return (c[2 * radius + 1:] - c[:-2 * radius - 1])[:n] / (2 * radius + 1)


def limit(x, ceiling, sec=0.008, circular=False):
    """Look-ahead peak limiter: a smooth gain that keeps |x| at or below ceiling.

    The gain needed at each frame is spread over sec either side (a running
    minimum, then a running mean no wider), so it never exceeds what a peak
    needs and changes slowly enough not to click; with circular the gain
    wraps like the loop it is applied to.
    """
    need = np.minimum(1.0, ceiling / np.maximum(np.max(np.abs(x), axis=1), 1e-12))
    r = frames(sec)
    gain = _run_mean(_run_min(need, r, circular), r, circular)
    return x * gain[:, None]


def decode_ogg(path):
    """The file as the game hears it: decoded to float stereo by oggdec."""
    tmp = path + ".dec.wav"
    subprocess.run(["oggdec", "-Q", "-o", tmp, path], check=True)
    try:
        with wave.open(tmp, "rb") as w:
            pcm = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
            return pcm.reshape(-1, w.getnchannels()) / 32768.0
    finally:
        os.remove(tmp)


def write_wav(path, x):
    pcm = np.clip(np.round(x * 32767.0), -32767, 32767).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(pcm.shape[1] if pcm.ndim == 2 else 1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm.tobytes())


def encode_ogg(x, path, quality):
    """Encodes with oggenc at fixed settings; a fixed stream serial keeps it reproducible."""
    tmp = path + ".wav"
    write_wav(tmp, x)
    try:
        subprocess.run(["oggenc", "-Q", "-q", str(quality), "--serial", "1",
                        "-o", path, tmp], check=True)
    finally:
        os.remove(tmp)
