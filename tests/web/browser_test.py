#!/usr/bin/env python3
"""The game's page in a real headless Chromium, served on 127.0.0.1: start-up
and title, a game started and played with keys, pause and resume, the saved
values across a reload and a closed tab, sound, Escape on the title, and a
console without errors.
usage: browser_test.py WEB_DIR [--title-ref PNG --bound MAX_DIFF] [--out DIR]"""
import argparse, os, struct, subprocess, sys, tempfile, time, zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cdp import Browser  # noqa: E402

STATE_PLAY, STATE_PAUSE, STATE_TITLE = 2, 3, 4
SRC = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))

ap = argparse.ArgumentParser()
ap.add_argument('web_dir')
ap.add_argument('--title-ref', help='the title screen as the desktop driver draws it (PNG, 640x480)')
ap.add_argument('--bound', type=float, default=0, help='largest mean difference per channel allowed (0-255)')
ap.add_argument('--out', default=tempfile.mkdtemp(prefix='kv-web-test-'))
a = ap.parse_args()
os.makedirs(a.out, exist_ok=True)

failures = []


def check(name, ok, detail=''):
    print(f'{"ok  " if ok else "FAIL"} {name}{": " + str(detail) if detail != "" else ""}', flush=True)
    if not ok:
        failures.append(name)


def read_png_rgb(path):
    """RGB rows of an 8-bit RGB or RGBA PNG (what Chromium and the replay write)."""
    data = open(path, 'rb').read()
    pos, idat, width = 8, b'', 0
    while pos < len(data):
        n, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b'IHDR':
            width, height, depth, ctype = struct.unpack('>IIBB', body[:10])
            assert depth == 8 and ctype in (2, 6), f'{path}: unsupported PNG'
            bpp = 3 if ctype == 2 else 4
        elif kind == b'IDAT':
            idat += body
        pos += 12 + n
    raw, stride, rows, prev = zlib.decompress(idat), width * bpp, [], bytearray(width * bpp)
    for y in range(height):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - bpp] if i >= bpp else 0
            up, ul = prev[i], prev[i - bpp] if i >= bpp else 0
            if f == 1: line[i] = (line[i] + left) & 255
            elif f == 2: line[i] = (line[i] + up) & 255
            elif f == 3: line[i] = (line[i] + (left + up) // 2) & 255
            elif f == 4:
                p = left + up - ul
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - ul)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else ul)) & 255
        rows.append(bytes(b for i, b in enumerate(line) if bpp == 3 or i % 4 != 3))
        prev = line
    return width, height, rows


def mean_difference(a_png, b_png):
    wa, ha, ra = read_png_rgb(a_png)
    wb, hb, rb = read_png_rgb(b_png)
    if (wa, ha) != (wb, hb):
        return 255.0
    total = sum(abs(x - y) for la, lb in zip(ra, rb) for x, y in zip(la, lb))
    return total / (wa * ha * 3)


server = subprocess.Popen([sys.executable, os.path.join(SRC, 'scripts', 'serve-web.py'), '--port', '0',
                           '--dir', a.web_dir], stdout=subprocess.PIPE, text=True)
url = server.stdout.readline().strip()
browser = Browser(size=(640, 480))
game = 'Module.kvGame'
try:
    # A first visit: storage is empty, so the values are the defaults.
    t0 = time.time()
    page = browser.open(url)
    page.wait_for(f'{game} && {game}.state === {STATE_TITLE}', 30, 'the title menu')
    first = page.eval('Module.firstPictureMs')
    print(f'first picture {first:.0f} ms after the page started loading; title after {time.time() - t0:.1f} s')
    check('the page shows the game\'s first picture', first is not None and first > 0, first)
    rect = page.eval('(r => [r.x, r.y, r.width, r.height])(canvas.getBoundingClientRect())')
    check('the canvas fills the 640x480 tab at 4:3', rect == [0, 0, 640, 480], rect)
    check('the canvas has the keyboard focus', page.eval('document.activeElement === canvas'))
    check('the loading bar is gone', page.eval("getComputedStyle(loading).display === 'none'"))
    cx, cy = rect[0], rect[1]

    time.sleep(1.0)  # the title's fade-in
    shot = os.path.join(a.out, 'title.png')
    page.screenshot(shot, {'x': cx, 'y': cy, 'width': 640, 'height': 480})
    if a.title_ref:
        diff = mean_difference(shot, a.title_ref)
        check(f'the title matches the desktop picture within {a.bound}', diff <= a.bound, f'{diff:.2f}')

    # Sound: the context runs (autoplay allowed here) and what SDL plays is not silence.
    check('the audio context runs', page.wait_for("Module.SDL2 && Module.SDL2.audioContext && "
                                                  "Module.SDL2.audioContext.state === 'running'", 10))
    peak = page.eval(open(os.path.join(os.path.dirname(__file__), 'capture_audio.js')).read(), await_promise=True)
    check('the title music is heard', peak is not None and peak > 0.01, peak)
    check('no sound hint once sound runs', page.eval("getComputedStyle(hint).display === 'none'"))

    # 3D mode: the menu's second row steps it; the choice outlives the page.
    mode = page.eval(f'{game}.mode3d')
    page.click(cx + 320, cy + 275)
    page.wait_for(f'{game}.mode3d === {(mode + 1) % 5}', 5, 'the 3D mode to change')

    # A game: the first row starts it, Control fires, missed shots cost points.
    page.click(cx + 320, cy + 245)
    page.wait_for(f'{game}.state === {STATE_PLAY}', 5, 'play')
    page.key(162, True)
    page.wait_for(f'{game}.shots > 0', 5, 'a shot')
    time.sleep(1.5)
    page.key(162, False)
    g = page.eval(game)
    check('Control fires and the score changes', g['shots'] > 0 and g['score'] != 0, g)

    page.tap(32)
    page.wait_for(f'{game}.state === {STATE_PAUSE}', 5, 'the pause menu')
    paused_frame = page.eval(f'{game}.frame')
    time.sleep(0.3)
    check('the game stays paused and keeps drawing', page.eval(f'{game}.state') == STATE_PAUSE
          and page.eval(f'{game}.frame') > paused_frame)
    page.tap(32)
    check('Space resumes', page.wait_for(f'{game}.state === {STATE_PLAY}', 5, 'play again'))

    # A best score in storage, as an earlier visit leaves it: read at start,
    # kept through a reload (which writes the values on the way out).
    page.eval("localStorage.setItem('kelvora3d/hiscore.dat', 'd2040000')")
    page.reload()
    page.wait_for(f'{game} && {game}.state === {STATE_TITLE}', 30, 'the title after a reload')
    g = page.eval(game)
    check('after a reload: the best score is read from storage', g['best'] == 1234, g['best'])
    check('after a reload: the 3D mode chosen before is back', g['mode3d'] == (mode + 1) % 5, g['mode3d'])
    page.close()

    # A closed tab, then a new one.
    page = browser.open(url)
    page.wait_for(f'{game} && {game}.state === {STATE_TITLE}', 30, 'the title in a new tab')
    g = page.eval(game)
    check('after a closed tab: best score and 3D mode are kept', g['best'] == 1234 and g['mode3d'] == (mode + 1) % 5, g)

    # Escape on the title ends the game, as on the desktop; the page says so
    # and a key starts it again.
    page.tap(27)
    page.wait_for("getComputedStyle(message).display === 'block'", 10, 'the ended message')
    check('Escape on the title: the page says the game ended', 'Thanks for playing' in page.eval('message.textContent'))
    check('Escape on the title: the values were written',
          page.eval("localStorage.getItem('kelvora3d/hiscore.dat')") == 'd2040000')
    page.tap(13)
    page.wait_for(f'{game} && {game}.state === {STATE_TITLE}', 30, 'the title after playing again')
    check('a key after the end starts the game again', True)

    check('no console errors', not browser.errors, browser.errors[:5])
finally:
    browser.close()
    server.terminate()
    server.wait()

print(f'browser test: {"FAILED: " + ", ".join(failures) if failures else "all passed"} (pictures in {a.out})')
sys.exit(1 if failures else 0)
