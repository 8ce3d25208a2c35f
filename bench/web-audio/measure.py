#!/usr/bin/env python3
"""The page's sound output during a game in headless Chromium: what reached the
destination against what the main thread wrote (dropouts), and how far ahead of
the render clock the sound is mixed (latency).
usage: measure.py WEB_DIR [--query 'audio=sp&frames=1024'] [--seconds 30] [--stress]
The query picks the output when the page is built with the bench's device
choice (see README); without it the page's own output is measured."""
import argparse, json, os, signal, subprocess, sys, time

SRC = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
sys.path.insert(0, os.path.join(SRC, 'tests', 'web'))
from cdp import Browser  # noqa: E402

STATE_PLAY, STATE_TITLE, STATE_RESULTS = 2, 4, 5
ap = argparse.ArgumentParser()
ap.add_argument('web_dir')
ap.add_argument('--query', default='')
ap.add_argument('--seconds', type=float, default=30)
ap.add_argument('--stress', action='store_true', help='beside stress-ng --cpu 2')
a = ap.parse_args()

server = subprocess.Popen([sys.executable, os.path.join(SRC, 'scripts', 'serve-web.py'), '--port', '0',
                           '--dir', a.web_dir], stdout=subprocess.PIPE, text=True, start_new_session=True)
url = server.stdout.readline().strip() + ('?' + a.query if a.query else '')
browser, stress = Browser(size=(640, 480)), None
game = 'Module.kvGame'
try:
    browser.wait_idle()
    page = browser.open('about:blank')
    page.send('Page.addScriptToEvaluateOnNewDocument',
              {'source': open(os.path.join(os.path.dirname(__file__), 'instrument.js')).read()})
    page.navigate(url)
    page.wait_for(f'window.{game} && {game}.frame > 1', 60, 'the first picture')
    page.tap(32)
    page.wait_for(f'{game}.state === {STATE_TITLE}', 60, 'the title')
    page.wait_for('kvBench.kind', 10, 'the sound output')
    page.click(320, 245)
    page.wait_for(f'{game}.state === {STATE_PLAY}', 10, 'play')
    if a.stress:
        stress = subprocess.Popen(['stress-ng', '--cpu', '2', '--timeout', str(int(a.seconds + 30))],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        time.sleep(1)
    load = os.getloadavg()[0]
    page.eval('kvBench.start()', await_promise=True)
    end, key, frame0 = time.time() + a.seconds, 37, page.eval(f'{game}.frame')
    while time.time() < end:
        # Steer one way then the other and fire, so the game makes sound;
        # start again whenever a game ends.
        g = page.eval(game)
        if g['state'] == STATE_RESULTS:
            page.tap(162)
        elif g['state'] == STATE_TITLE:
            page.click(320, 245)
        else:
            page.key(key, True)
            page.tap(162, 0.05)
            page.key(key, False)
            key = 39 if key == 37 else 37
        time.sleep(0.2)
    frames = page.eval(f'{game}.frame') - frame0
    r = page.eval('kvBench.stop()', await_promise=True)
    r['gameFps'] = round(frames / a.seconds, 1)
    r['loadavg1'] = round(load, 2)
    r['stress'] = a.stress
    r['query'] = a.query
    print(json.dumps(r))
finally:
    if stress:
        os.killpg(stress.pid, signal.SIGTERM); stress.wait()
    browser.close()
    os.killpg(server.pid, signal.SIGTERM); server.wait()
