#!/usr/bin/env python3
"""How many of the game's frames the page shows, in headless Chromium
(SwiftShader WebGL): on the title, over N seconds, the display's frames
(requestAnimationFrame callbacks of a counting loop), the game's frames
(Module.kvGame.frame) and how many of those a display frame caught (distinct
game frames seen by the callbacks); then the browser's CPU seconds over 8 s
of the idle title. Prints figures, asserts nothing.
  --hz 144   also on an emulated 144 Hz display: a script put before the
             page's own replaces requestAnimationFrame by a timer on a
             144 Hz grid (callbacks get the grid time, a late tick skips
             the grid points it missed, as a busy display frame would);
             Chromium has no flag for a given refresh rate.
  --unlimited  also with Chromium's --disable-frame-rate-limit
             --disable-gpu-vsync: display frames as fast as it can make them.
  --load     the same beside `stress-ng --cpu 2` (a loaded machine).
usage: web-frame-rate.py [--seconds N] [--hz HZ] [--unlimited] [--load] [DIR]   (default build/web)"""
import argparse, os, signal, subprocess, sys, time

SRC = os.path.abspath(os.path.join(os.path.dirname(__file__), '..'))
sys.path.insert(0, os.path.join(SRC, 'tests', 'web'))
from cdp import Browser  # noqa: E402

ap = argparse.ArgumentParser()
ap.add_argument('--seconds', type=float, default=6)
ap.add_argument('--hz', type=float, help='also on an emulated display of this rate')
ap.add_argument('--unlimited', action='store_true', help='also on a display without a refresh limit')
ap.add_argument('--load', action='store_true')
ap.add_argument('dir', nargs='?', default=os.path.join(SRC, 'build', 'web'))
a = ap.parse_args()
GAME, STATE_TITLE = 'Module.kvGame', 4

# Runs before the page's scripts: requestAnimationFrame on a timer grid of
# the given rate. scheduler.postTask's delays are not clamped to 4 ms as
# nested timeouts are.
FAKE_DISPLAY = '''(() => {
  const period = 1000 / %f, t0 = performance.now();
  let queue = [], next = 1, armed = false;
  const later = (f, ms) => window.scheduler ? scheduler.postTask(f, {delay: ms}) : setTimeout(f, ms);
  const tick = () => {
    armed = false;
    const now = performance.now();
    const k = Math.floor((now - t0) / period);
    if (k < next) { arm(); return; }
    next = k + 1;
    const q = queue; queue = [];
    for (const [, cb] of q) cb(t0 + k * period);
  };
  const arm = () => {
    if (armed || !queue.length) return;
    armed = true;
    later(tick, Math.max(0, t0 + next * period - performance.now()));
  };
  let ids = 0;
  window.requestAnimationFrame = cb => { queue.push([++ids, cb]); arm(); return ids; };
  window.cancelAnimationFrame = id => { queue = queue.filter(e => e[0] !== id); };
})();'''

# A loop of display frames that counts them, the game frames they catch, and
# for how many display frames in a row each game frame stayed.
COUNT = '''(() => {
  const c = window.kvCount = {raf: 0, seen: new Set(), on: true, last: -1, run: 0, runs: {}};
  const f = () => {
    if (!c.on) return;
    c.raf++;
    const g = Module.kvGame.frame;
    c.seen.add(g);
    if (g !== c.last && c.run) c.runs[c.run] = (c.runs[c.run] || 0) + 1;
    c.run = g === c.last ? c.run + 1 : 1;
    c.last = g;
    requestAnimationFrame(f);
  };
  requestAnimationFrame(f);
})()'''


def to_title(page):
    page.wait_for(f'window.Module && {GAME} && {GAME}.frame > 1', 90, 'the first picture')
    page.tap(32)
    page.wait_for(f'{GAME}.state === {STATE_TITLE}', 90, 'the title')


def measure(url, hz=None, unlimited=False):
    flags = ['--disable-frame-rate-limit', '--disable-gpu-vsync'] if unlimited else []
    browser = Browser(size=(640, 480), extra_args=flags)
    try:
        browser.wait_idle()
        page = browser.open('about:blank')
        if hz:
            page.send('Page.addScriptToEvaluateOnNewDocument', {'source': FAKE_DISPLAY % hz})
        page.navigate(url)
        to_title(page)
        time.sleep(1)  # the title's first music and pictures out of the way
        f0, t0 = page.eval(f'{COUNT}; {GAME}.frame'), time.time()
        time.sleep(a.seconds)
        raf, seen, f1, runs = page.eval('[kvCount.raf, kvCount.seen.size, Module.kvGame.frame, kvCount.runs, '
                                        'kvCount.on = false]')[:4]
        dt = time.time() - t0
        games = f1 - f0
        what = f'{hz:g} Hz emulated' if hz else 'no refresh limit' if unlimited else 'display'
        print(f'  {what}: {raf} display frames, {games} game frames in '
              f'{dt:.1f} s: {raf / dt:.1f} display and {games / dt:.1f} game frames a second; '
              f'{seen} game frames caught by a display frame ({seen / max(games, 1):.2f} of them); '
              f'a game frame stayed for N display frames this often: '
              f'{", ".join(f"{n}: {runs[n]}" for n in sorted(runs, key=int))}', flush=True)
        if not hz and not unlimited:
            c0 = browser.cpu_seconds()
            time.sleep(8)
            print(f'  CPU {browser.cpu_seconds() - c0:.2f} s over 8 s of the idle title', flush=True)
    finally:
        browser.close()


server = subprocess.Popen([sys.executable, os.path.join(SRC, 'scripts', 'serve-web.py'), '--port', '0',
                           '--dir', a.dir], stdout=subprocess.PIPE, text=True)
stress = None
try:
    url = server.stdout.readline().strip()
    if a.load:
        stress = subprocess.Popen(['stress-ng', '--cpu', '2', '--quiet'], start_new_session=True,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    print(f'{a.dir}{" beside stress-ng --cpu 2" if a.load else ""}:', flush=True)
    measure(url)
    if a.hz:
        measure(url, a.hz)
    if a.unlimited:
        measure(url, unlimited=True)
finally:
    if stress:
        os.killpg(stress.pid, signal.SIGKILL)
        stress.wait()
    server.terminate()
