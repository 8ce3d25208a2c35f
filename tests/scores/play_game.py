#!/usr/bin/env python3
"""Plays one whole game in the real program on the X server of $DISPLAY:
skips the logo, starts a game from the title menu, fires with left Ctrl
(each press once the one before has shown in the shot count, or has been
refused by the cannons' reload) until the game ends, goes back to the title
with fire and quits with Escape. Every step waits for its effect in the
program's state log; the program runs in a process group of its own, killed
however the run ends. Prints the final score the results screen showed.

usage: play_game.py [--wine] [--log FILE] -- PROGRAM [ARGS...]
Exit status 0 when the game was played and the program ended with status 0."""
import argparse, os, signal, subprocess, sys, tempfile, time

TITLE, PLAY, RESULTS = 4, 2, 5

ap = argparse.ArgumentParser()
ap.add_argument('--wine', action='store_true')
ap.add_argument('--log', help="the program's output")
ap.add_argument('--timeout', type=float, default=900, help='bound of the whole game, for failures only')
ap.add_argument('program', nargs='+')
a = ap.parse_args()

work = tempfile.mkdtemp(prefix='kv-play-')
state_log = os.path.join(work, 'state.log')
env = dict(os.environ, KELVORA3D_STATE_LOG=state_log, SDL_AUDIODRIVER='dummy')
env['ASAN_OPTIONS'] = env.get('ASAN_OPTIONS', '') + ':detect_leaks=0'
argv = (['wine'] if a.wine else []) + a.program
out = open(a.log or os.path.join(work, 'program.log'), 'wb')
proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                        start_new_session=True)


def fail(why):
    print(f'play_game: {why}', file=sys.stderr)
    sys.exit(1)


def last_state():
    try:
        with open(state_log, 'rb') as f:
            f.seek(0, 2)
            f.seek(max(0, f.tell() - 512))
            # Whole lines only: the game may be half-way through writing the last.
            lines = f.read().decode(errors='replace').split('\n')[:-1]
    except OSError:
        return None
    for line in reversed(lines):
        pairs = dict(p.split('=', 1) for p in line.split() if '=' in p)
        if 'frame' in pairs and 'state' in pairs:
            try:
                return {k: int(v) for k, v in pairs.items()}
            except ValueError:
                continue
    return None


def until(test, seconds, what):
    """Polls the state log until test(state) holds; fails past the bound."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            fail(f'the program ended (status {proc.returncode}) while waiting for {what}')
        s = last_state()
        if s and test(s):
            return s
        time.sleep(0.02)
    fail(f'{what} never came (last state: {last_state()})')


def xdo(*args):
    subprocess.run(['xdotool', *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def frames_on(n):
    start = last_state()['frame']
    until(lambda s: s['frame'] >= start + n, 30, f'{n} frames')


try:
    until(lambda s: s['frame'] >= 1, 120, 'the first frame')
    window = ''
    deadline = time.monotonic() + 60
    while not window and time.monotonic() < deadline:
        found = subprocess.run(['xdotool', 'search', '--onlyvisible', '--pid', str(proc.pid)],
                               capture_output=True, text=True).stdout.split()
        window = found[-1] if found else ''
        time.sleep(0.05)
    if not window:
        fail('no window')
    # The logo gives way to a key; then Start Game, the pointer resting on
    # the row for two frames (the menu takes it at a frame's start).
    xdo('windowfocus', window, 'key', 'space')
    until(lambda s: s['state'] == TITLE, 60, 'the title menu')
    xdo('mousemove', '--window', window, '322', '247')
    frames_on(1)
    xdo('mousemove', '--window', window, '320', '245')
    frames_on(2)
    xdo('click', '1')
    until(lambda s: s['state'] == PLAY, 30, 'a game')
    began = time.monotonic()
    while True:
        s = last_state()
        if s['state'] == RESULTS:
            break
        if time.monotonic() - began > a.timeout:
            fail(f'the game did not end in {a.timeout} s')
        xdo('windowfocus', window, 'key', 'Control_L')
        # The shot shows in the count, or the reload refused it: a few frames.
        until(lambda t, s=s: t['shots'] > s['shots'] or t['state'] != PLAY or t['frame'] >= s['frame'] + 8,
              30, 'a shot')
    score = until(lambda s: s['state'] == RESULTS, 5, 'the results')['total']
    # The results take fire once their delay is over.
    while last_state()['state'] == RESULTS:
        s = last_state()
        xdo('windowfocus', window, 'key', 'Control_L')
        until(lambda t, s=s: t['state'] != RESULTS or t['frame'] >= s['frame'] + 10, 30, 'the title again')
    until(lambda s: s['state'] == TITLE, 30, 'the title again')
    for _ in range(6):
        if proc.poll() is not None:
            break
        s = last_state()
        xdo('windowfocus', window, 'key', 'Escape')
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            pass
    status = proc.wait(timeout=60)
    if status != 0:
        fail(f'the program ended with status {status}')
    print(score)
finally:
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
