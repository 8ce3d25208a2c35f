#!/usr/bin/env python3
"""How soon the page shows its first picture (Module.firstPictureMs, from the
start of navigation) in the first tab of a fresh headless Chromium, the case
where the browser still has to start WebGL in its graphics process: N runs,
each in a new browser, folders taken in turn so that they share the
machine's state. The page opens once the browser's own start-up is over
(about 5 CPU seconds over 3 to 4 s here), or with --at-launch at once,
competing with it.
usage: web-first-picture.py [--runs N] [--at-launch] [DIR ...]   (default build/web)"""
import argparse, os, statistics, subprocess, sys

SRC = os.path.abspath(os.path.join(os.path.dirname(__file__), '..'))
sys.path.insert(0, os.path.join(SRC, 'tests', 'web'))
from cdp import Browser  # noqa: E402

ap = argparse.ArgumentParser()
ap.add_argument('--runs', type=int, default=7)
ap.add_argument('--at-launch', action='store_true')
ap.add_argument('dirs', nargs='*', default=[os.path.join(SRC, 'build', 'web')])
a = ap.parse_args()

servers, urls = [], []
times, starts = {d: [] for d in a.dirs}, {d: [] for d in a.dirs}
try:
    for d in a.dirs:
        servers.append(subprocess.Popen([sys.executable, os.path.join(SRC, 'scripts', 'serve-web.py'), '--port', '0',
                                         '--dir', d], stdout=subprocess.PIPE, text=True))
        urls.append(servers[-1].stdout.readline().strip())
    for run in range(a.runs):
        for d, url in zip(a.dirs, urls):
            browser = Browser(size=(640, 480))
            try:
                if not a.at_launch:
                    browser.wait_idle()
                page = browser.open(url)
                times[d].append(page.wait_for('window.Module && Module.firstPictureMs', 60, 'the first picture'))
                starts[d].append(page.eval('Module.kvInitMs'))
            finally:
                browser.close()
        print(f'run {run + 1}: ' + '  '.join(f'{d} {times[d][-1]:.0f} ms (program from {starts[d][-1]:.0f} ms)'
                                             for d in a.dirs), flush=True)
finally:
    for s in servers:
        s.terminate()
for d in a.dirs:
    t, own = times[d], [t - s for t, s in zip(times[d], starts[d])]
    print(f'{d}: first picture median {statistics.median(t):.0f} ms, {min(t):.0f}-{max(t):.0f} ms over {len(t)} '
          f'fresh browsers; the program\'s own start median {statistics.median(own):.0f} ms')
