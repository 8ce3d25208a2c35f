#!/usr/bin/env python3
"""Plays one whole game in the page, served by the score server, by touch on
a phone in headless Chromium (touch_play.py: the controls, steering, fire
and pause along the way): the player's name typed on the phone's keyboard,
the game played to its results, where the page must show the server's
verdict on the run it sent with the score the game showed, and Fire back to
the title. Prints the final score the page showed.

usage: play_page.py PAGE_URL NAME"""
import os, sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'web'))
from touch_play import run_touch_play  # noqa: E402

url, name = sys.argv[1], sys.argv[2]
failures = []


def check(what, ok, detail=''):
    if not ok:
        failures.append(what)
        print(f'play_page: FAILED: {what} {str(detail)[:600]}', file=sys.stderr)


def verdict(page, game):
    """The page sends the session's recording at the results and shows the verdict under the table."""
    shown = page.wait_for("(t => /^Sent: run .*(verified|rejected|did not come|not verified)/.test(t) && t)"
                          "(document.getElementById('kv-status').textContent)", 900, 'the verdict')
    check('the page shows the run it sent, verified with the score the game showed',
          isinstance(shown, str) and shown.endswith(f', verified with {game["total"]}.'), shown)


game = run_touch_play(url, check, name=name, at_results=verdict)
if failures or not game:
    sys.exit(1)
print(game['total'])
