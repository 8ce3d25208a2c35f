#!/usr/bin/env python3
"""Runs a windowed program as a test on the X server of $DISPLAY (Xvfb:
scripts/with-xvfb.sh): starts it in a process group of its own, waits for
its window, checks that the window shows a picture (pixels other than its
clear colour), performs the steps in the order given, each waiting for its
effect where one is asked for, then presses Escape and expects a clean exit
with status 0. The group is killed however the run ends.

usage: drive_example.py [options] [steps] -- PROGRAM [ARGS...]
options:
  --wine              run PROGRAM (a .exe) under Wine
  --title T           find the window by its exact title (else by the process)
  --cwd DIR           working folder (default: the program's own)
  --env NAME=VALUE    for the program and --run ($DRIVE_TMP expanded)
  --out DIR           keep the pictures and the program's output there
  --timeout S         bound of each wait, for failures only (default 60)
  --min-drawn PERCENT share of the window that must differ from its
                      commonest colour (default 0.02)
  --no-escape         end with the last step: the program must exit by itself
steps (in order):
  --key K             press and release K (xdotool key names: space, Right)
  --keydown K, --keyup K
  --run CMD           a shell command ($DRIVE_TMP: a scratch folder of the run)
  --expect-change     wait until the picture differs from the one taken
                      just before the last key or command (meaningful for a
                      picture that stands still until then)
  --expect-first      wait until the picture is again the first one
Exit status 0 when everything held, 1 otherwise."""
import argparse, os, re, shutil, signal, subprocess, sys, tempfile, time

ap = argparse.ArgumentParser(usage=__doc__.split('usage: ')[1].split('\n')[0])
steps = []


class Step(argparse.Action):
    def __call__(self, parser, namespace, values, option_string=None):
        steps.append((option_string.lstrip('-'), values))


ap.add_argument('--wine', action='store_true')
ap.add_argument('--title')
ap.add_argument('--cwd')
ap.add_argument('--env', action='append', default=[])
ap.add_argument('--out')
ap.add_argument('--timeout', type=float, default=60)
ap.add_argument('--min-drawn', type=float, default=0.02)
ap.add_argument('--no-escape', action='store_true')
for name in ('--key', '--keydown', '--keyup', '--run'):
    ap.add_argument(name, action=Step)
for name in ('--expect-change', '--expect-first'):
    ap.add_argument(name, action=Step, nargs=0)
ap.add_argument('program', nargs='+')
a = ap.parse_args()
if not os.environ.get('DISPLAY'):
    sys.exit('drive_example: no DISPLAY (run under scripts/with-xvfb.sh)')

program = os.path.abspath(a.program[0])
name = os.path.basename(program)
tmp = tempfile.mkdtemp(prefix=f'kv-drive-{name}-')
out = a.out or tmp
os.makedirs(out, exist_ok=True)
env = dict(os.environ, DRIVE_TMP=tmp)
for e in a.env:
    k, _, v = e.partition('=')
    # $NAME as the shell would expand it (empty when unset).
    env[k] = re.sub(r'\$(\w+)|\$\{(\w+)\}', lambda m: env.get(m.group(1) or m.group(2), ''), v)
# A sanitised program's leak check at exit stops every thread to scan them;
# under load it now and then crashes there (LeakSanitizer's own tracer, while
# the OpenGL driver's threads are still running). What is tested here is what
# a player sees; the engine's leaks are the suites' (EngineLifetime).
if 'ASAN_OPTIONS' in env:
    env['ASAN_OPTIONS'] += ':detect_leaks=0'
log_path = os.path.join(out, f'{name}.log')
shots = 0


def say(text):
    print(f'drive {name}: {text}', flush=True)


class Failed(Exception):
    pass


def xdo(*args):
    return subprocess.run(['xdotool', *args], capture_output=True, text=True).stdout.split()


def picture(window):
    """The window's pixels as (width, height, RGB bytes), or None while it cannot be read."""
    r = subprocess.run(['import', '-window', window, '-depth', '8', 'ppm:-'], capture_output=True)
    if r.returncode != 0 or not r.stdout.startswith(b'P6'):
        return None
    # P6 <width> <height> <max> then one whitespace byte and the pixels.
    fields, at = [], 2
    while len(fields) < 3:
        while r.stdout[at:at + 1].isspace():
            at += 1
        start = at
        while not r.stdout[at:at + 1].isspace():
            at += 1
        fields.append(int(r.stdout[start:at]))
    return fields[0], fields[1], r.stdout[at + 1:]


def keep(pic, label):
    """Writes the picture to OUT as NN-label.ppm, for a look after a failure."""
    global shots
    shots += 1
    if pic:
        w, h, px = pic
        with open(os.path.join(out, f'{shots:02d}-{label}.ppm'), 'wb') as f:
            f.write(b'P6 %d %d 255\n' % (w, h) + px)


def drawn_percent(pic):
    """The share of pixels (percent) unlike the commonest colour, the clear colour."""
    w, h, px = pic
    counts = {}
    for i in range(0, len(px), 3 * 7):  # every 7th pixel is plenty to find it
        c = px[i:i + 3]
        counts[c] = counts.get(c, 0) + 1
    clear = max(counts, key=counts.get)
    same = sum(1 for i in range(0, len(px), 3) if px[i:i + 3] == clear)
    return 100.0 * (w * h - same) / (w * h)


def until(what, test, proc):
    """Polls test() until it gives something true; fails when the program
    ends first or the bound passes."""
    end = time.monotonic() + a.timeout
    while True:
        v = test()
        if v:
            return v
        if proc.poll() is not None:
            raise Failed(f'the program ended (status {proc.returncode}) while waiting for {what}')
        if time.monotonic() > end:
            raise Failed(f'waited {a.timeout:.0f} s in vain for {what}')
        time.sleep(0.05)


def find_window(proc):
    if a.title:
        # (Another program's window of the same title would be found too:
        # the tests that drive windows run one at a time.)
        query = ['search', '--onlyvisible', '--name', '^' + re.escape(a.title) + '$']
    else:
        query = ['search', '--onlyvisible', '--pid', str(proc.pid)]
    return until('the window', lambda: (xdo(*query) or [None])[-1], proc)


def send(window, *args):
    subprocess.run(['xdotool', 'windowfocus', window, *args], capture_output=True)


command = (['wine'] if a.wine else []) + [program] + a.program[1:]
cwd = a.cwd or os.path.dirname(program)
status = 1
with open(log_path, 'wb') as log:
    proc = subprocess.Popen(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=log,
                            stderr=subprocess.STDOUT, start_new_session=True)
try:
    began = time.monotonic()
    window = find_window(proc)
    # The first picture: the window is mapped before its first frame shows.
    first = until('a picture in the window', lambda: (lambda p: p if p and drawn_percent(p) >= a.min_drawn
                                                       else None)(picture(window)), proc)
    keep(first, 'first')
    say(f'window {window} ({first[0]}x{first[1]}), {drawn_percent(first):.2f} % drawn, '
        f'{time.monotonic() - began:.1f} s after start')
    before = last = first
    for kind, value in steps:
        if kind in ('key', 'keydown', 'keyup'):
            before = picture(window) or last
            send(window, kind, value)
            say(f'{kind} {value}')
        elif kind == 'run':
            before = picture(window) or last
            r = subprocess.run(value, shell=True, env=env, cwd=cwd)
            if r.returncode != 0:
                raise Failed(f'--run {value!r} failed with status {r.returncode}')
            say(f'ran {value}')
        elif kind == 'expect-change':
            last = until('the picture to change', lambda: (lambda p: p if p and p != before else None)(picture(window)),
                         proc)
            keep(last, 'changed')
            say('the picture changed')
        elif kind == 'expect-first':
            last = until('the first picture again', lambda: (lambda p: p if p == first else None)(picture(window)),
                         proc)
            say('the picture is the first one again')
    if not a.no_escape:
        send(window, 'key', 'Escape')
        say('Escape')
    end = time.monotonic() + a.timeout
    while proc.poll() is None and time.monotonic() < end:
        time.sleep(0.05)
    if proc.poll() is None:
        keep(picture(window), 'still-running')
        raise Failed(f'still running {a.timeout:.0f} s after the last step')
    if proc.returncode != 0:
        raise Failed(f'ended with status {proc.returncode}')
    say(f'ended with status 0, {time.monotonic() - began:.1f} s in all')
    status = 0
except Failed as e:
    say(f'FAILED: {e}')
    try:
        with open(log_path, errors='replace') as f:
            tail = f.readlines()[-30:]
        if tail:
            say('its output ended with:\n' + ''.join('  ' + t for t in tail).rstrip())
    except OSError:
        pass
    say(f'pictures and output in {out}')
finally:
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    proc.wait()
    # (Kept after a failure when it holds the pictures.)
    if status == 0 or out != tmp:
        shutil.rmtree(tmp, ignore_errors=True)
sys.exit(status)
