#!/usr/bin/env python3
"""Plays one whole game in the page, served by the score server, in headless
Chromium: the player's name typed into the page's field, the logo skipped,
a game started with the mouse and fired with Control (each press once the
one before has shown in the shot count or been refused by the reload) until
the results. Prints the final score the page showed, once the page has sent
the run and the server has answered it.

usage: play_page.py PAGE_URL NAME"""
import os, sys, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'web'))
from cdp import Browser  # noqa: E402

PLAY, TITLE, RESULTS = 2, 4, 5
G = 'Module.kvGame'
url, name = sys.argv[1], sys.argv[2]


def fail(why):
    print(f'play_page: {why}', file=sys.stderr)
    sys.exit(1)


browser = Browser(size=(1200, 700))
try:
    page = browser.open(url)
    if not page.wait_for(f'{G} && {G}.frame > 1', 120, 'the first picture'):
        fail('the game never drew')
    # The name, typed as a player types it; Enter keeps it and gives the keys back.
    page.eval("document.getElementById('kv-name').focus()")
    page.send('Input.insertText', {'text': name})
    page.key(13, True)
    page.key(13, False)
    if not page.wait_for(f"localStorage.getItem('kelvora3d/name') === {name!r}", 10, 'the name kept'):
        fail('the name was not kept')
    page.eval("document.getElementById('canvas').focus()")

    def on_picture(x, y):
        """Where the game's pixel (x, y) is on the page, the picture being scaled and placed."""
        r = page.eval("(b => [b.x, b.y, b.width, b.height])(document.getElementById('canvas').getBoundingClientRect())")
        return r[0] + (x + 0.5) * r[2] / 640, r[1] + (y + 0.5) * r[3] / 480

    page.tap(32)
    if not page.wait_for(f'{G}.state === {TITLE}', 60, 'the title'):
        fail('no title menu')
    page.move(*on_picture(322, 247))
    page.wait_for(f'{G}.frame > {page.eval(G + ".frame") + 2}', 10)
    page.click(*on_picture(320, 245))
    if not page.wait_for(f'{G}.state === {PLAY}', 30, 'a game'):
        fail('Start Game did not start a game')
    deadline = time.monotonic() + 1200
    while page.eval(f'{G}.state') != RESULTS:
        if time.monotonic() > deadline:
            fail('the game did not end')
        g = page.eval(G)
        page.tap(162, 0.02)
        page.wait_for(f"{G}.shots > {g['shots']} || {G}.state !== {PLAY} || {G}.frame >= {g['frame'] + 8}", 30)
    score = page.eval(f'{G}.total')
    # The page shows the server's answer under the table.
    if not page.wait_for("/^Sent: run/.test(document.getElementById('kv-status').textContent)",
                         120, 'the run sent'):
        fail('the page did not say it sent the run: ' + str(page.eval(
            "document.getElementById('kv-status').textContent")))
    if browser.errors:
        fail(f'console errors: {browser.errors[:5]}')
    print(score)
finally:
    browser.close()
