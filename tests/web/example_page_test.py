#!/usr/bin/env python3
"""An example built for the browser with the page template (kv_web_page),
in headless Chromium, served on 127.0.0.1: its files named after their
content, the first picture drawn on the canvas with the template's title,
a key that changes the picture (Space starts Alien Rain), Escape that ends
the program (the page says so), a console without errors.
usage: example_page_test.py PAGE_DIR [--title T] [--out DIR]"""
import argparse, hashlib, os, re, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cdp import Browser  # noqa: E402
from pictures import read_png_rgb  # noqa: E402

SRC = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
ap = argparse.ArgumentParser()
ap.add_argument('page_dir')
ap.add_argument('--title', default='Alien Rain')
ap.add_argument('--out', default=tempfile.mkdtemp(prefix='kv-example-page-'))
a = ap.parse_args()
os.makedirs(a.out, exist_ok=True)
failures = []


def check(name, ok, detail=''):
    print(f'{"ok  " if ok else "FAIL"} {name}{": " + str(detail) if detail != "" else ""}', flush=True)
    if not ok:
        failures.append(name)


files = sorted(os.listdir(a.page_dir))
index = open(os.path.join(a.page_dir, 'index.html')).read()
odd = [f for f in files if f != 'index.html' and not (
    re.fullmatch(r'[a-z0-9_]+\.([0-9a-f]{8})\.(js|wasm|data)', f) and f'"{f}' in index and
    hashlib.sha256(open(os.path.join(a.page_dir, f), 'rb').read()).hexdigest()[:8] == f.split('.')[-2])]
check('the files are named after their content and all in use', not odd and len(files) == 4, odd or files)
check('the template is filled in', '@KV_' not in index and f'<title>{a.title}</title>' in index)

server = subprocess.Popen([sys.executable, os.path.join(SRC, 'scripts', 'serve-web.py'), '--port', '0',
                           '--dir', a.page_dir], stdout=subprocess.PIPE, text=True)
browser = Browser(size=(640, 480))
shots = 0


def shot(page):
    """The canvas's picture: its rows and the share (percent) of pixels not black."""
    global shots
    shots += 1
    path = os.path.join(a.out, f'{shots:02d}.png')
    page.screenshot(path, {'x': 0, 'y': 0, 'width': 640, 'height': 480})
    _, _, rows = read_png_rgb(path)
    lit = sum(1 for r in rows for x in range(0, len(r), 3) if max(r[x:x + 3]) > 24)
    return rows, 100.0 * lit / (640 * 480)


try:
    page = browser.open(server.stdout.readline().strip())
    page.wait_for('Module.kvFrames > 2', 60, 'the first picture')
    check('the loading panel is gone and the canvas has the focus',
          page.eval("getComputedStyle(loading).display === 'none' && document.activeElement === canvas"))
    # (The full-screen button, which fades after a while, out of the pictures.)
    page.eval("document.getElementById('fullscreen').style.visibility = 'hidden'")
    title, lit = shot(page)
    check('the title is drawn on the canvas', lit > 0.5, f'{lit:.2f} % of pixels lit')

    # Space starts a game: the picture changes (the title stands still until then).
    page.tap(32)
    end, changed = time.time() + 30, False
    while time.time() < end and not changed:
        frames = page.eval('Module.kvFrames')
        page.wait_for(f'Module.kvFrames > {frames + 1}', 10, 'a frame drawn')
        changed = shot(page)[0] != title
    check('Space changes the picture', changed)

    # Escape ends the program; the page says so.
    page.tap(27)
    page.wait_for("getComputedStyle(message).display === 'block'", 20, 'the ended message')
    text = page.eval('message.textContent')
    check('Escape ends the program with status 0, and the page says so', f'Thanks for playing {a.title}' in text, text)
    check('no console errors', not browser.errors, browser.errors[:5])
    page.close()
finally:
    browser.close()
    server.terminate()
    server.wait()

print(f'example page test: {"FAILED: " + ", ".join(failures) if failures else "all passed"} (pictures in {a.out})')
sys.exit(1 if failures else 0)
