#!/usr/bin/env python3
"""The score server on loopback with SQLite, as players reach it: a whole
game played by the real program on Linux, by the Windows build under Wine
and in the page by touch on a phone in headless Chromium (the page's whole
game: the browser stage stops short of the results), each sending its run
by itself; each
run verified (by the harness's core, on Linux) with the score its own
screen showed; the Linux session's whole recording verified with the score
the harness gives when it replays it to its recorded end. Then what a
stranger may send: the same run with one byte changed, garbage, a body over
the limit, a run over the frame limit and a claimed name from another
install, each refused with its status while the server stays up.

usage: score_stage.py --server PROGRAM --replay REPLAY --program KELVORA3D
                      [--exe KELVORA3D.EXE] [--web WEB_DIR] --out DIR
Each desktop program runs in an X server of its own; --exe needs WINEPREFIX set up."""
import argparse, os, re, secrets, shutil, socket, subprocess, sys, tempfile, threading

HERE = os.path.dirname(os.path.abspath(__file__))
SRC = os.path.abspath(os.path.join(HERE, '..', '..'))
sys.path.insert(0, os.path.join(HERE, '..', 'server'))
sys.path.insert(0, os.path.join(HERE, '..', 'web'))
from server_run import Server, record, run_id, wait_for  # noqa: E402
from scores_checks import replays_natively  # noqa: E402
MAX_FRAMES = 30000  # a whole session of one game is about 17,000

ap = argparse.ArgumentParser()
ap.add_argument('--server', required=True)
ap.add_argument('--replay', required=True)
ap.add_argument('--program', required=True)
ap.add_argument('--exe')
ap.add_argument('--web')
ap.add_argument('--out', required=True)
a = ap.parse_args()
os.makedirs(a.out, exist_ok=True)
failures = []


def check(what, ok, detail=''):
    print(f"scores: {'ok' if ok else 'FAILED'}: {what}" + (f' ({detail})' if detail and not ok else ''), flush=True)
    if not ok:
        failures.append(what)
    return ok


def runs_of(name, timeout=900):
    """The verified runs sent under name, once there is one."""
    def sent():
        status, r = server.json('GET', '/api/recent?count=100')
        return [x for x in r.get('runs', []) if x.get('name') == name] if status == 200 else []
    try:
        return wait_for(f'a verified run of {name}', sent, timeout=timeout, every=0.5)
    except AssertionError:
        return []


def recorded_score(text):
    """The final score the recording says its run ended with."""
    m = re.search(r'^# final .*\bfinal_score=(-?\d+)', text, re.M)
    return int(m.group(1)) if m else None


def portable_tree(name, program):
    """A copy of the program beside data/ with the sounds: its saved values and
    score settings stay there, away from the player's own."""
    d = os.path.join(a.out, name)
    os.makedirs(os.path.join(d, 'data'), exist_ok=True)
    shutil.copy(program, d)
    for f in os.listdir(os.path.join(SRC, 'data')):
        if f.endswith('.ogg'):
            shutil.copy(os.path.join(SRC, 'data', f), os.path.join(d, 'data'))
    return os.path.join(d, os.path.basename(program))


server_args = ['--database', os.path.join(a.out, 'scores.db'), '--data', os.path.join(SRC, 'data'),
               '--max-frames', str(MAX_FRAMES)] + (['--web', a.web] if a.web else [])
server = Server(a.server, server_args, a.out)
URL = f'http://127.0.0.1:{server.port}'
games = []
try:
    check('the server answers on loopback', server.json('GET', '/api/scores')[0] == 200)

    # The three systems' games at once, each in its own process group.
    def play(system, argv, wine=False):
        out = os.path.join(a.out, system)
        # An X server each: a game's window that loses the focus to another's pauses.
        cmd = [os.path.join(SRC, 'scripts', 'with-xvfb.sh'), sys.executable, os.path.join(HERE, 'play_game.py'),
               '--log', out + '.log']
        cmd += ['--wine'] if wine else []
        p = subprocess.run(cmd + ['--'] + argv, capture_output=True, text=True)
        games.append((system, p.returncode, p.stdout.strip(), p.stderr.strip()))

    players = []
    linux = portable_tree('linux', a.program)
    players.append(threading.Thread(target=play, args=('Linux', [linux, '--window=1', '--scores', URL, '--name',
                                                                 'Linux', '--record', linux + '.kvrec'])))
    if a.exe:
        exe = portable_tree('windows', a.exe)
        players.append(threading.Thread(target=play, args=('Windows', [exe, '--window=1', '--scores', URL, '--name',
                                                                       'Windows', '--record', exe + '.kvrec'], True)))
    if a.web:
        def page():
            p = subprocess.run([sys.executable, os.path.join(HERE, 'play_page.py'), URL + '/play/', 'Web'],
                               capture_output=True, text=True)
            games.append(('Web', p.returncode, p.stdout.strip(), p.stderr.strip()))
        players.append(threading.Thread(target=page))
    for t in players:
        t.start()
    for t in players:
        t.join()

    for system, status, shown, err in sorted(games):
        if not check(f'a whole game played on {system}', status == 0 and shown.lstrip('-').isdigit(), err[-2000:]):
            continue
        runs = runs_of(system)
        # The server's verifier is the harness on Linux: a score it gives is the native one.
        if check(f'the run {system} sent by itself is verified, once', len(runs) == 1, runs):
            check(f'{system}: the server scores it {shown}, as the game showed', runs[0].get('scores') == [int(shown)],
                  f"server {runs[0].get('scores')}")
    _, table = server.json('GET', '/api/scores?top=10')
    check('the table lists each system\'s best', sorted(r['system'] for r in table.get('scores', [])) ==
          sorted(s for s, st, _, _ in games if st == 0), table)

    # The Linux program's whole recording (the session to its end), sent again
    # by hand with the install's secret, and by strangers.
    body = open(os.path.join(a.out, 'linux', 'kelvora3d.kvrec'), 'rb').read()
    text = body.decode()
    secret_file = os.path.join(a.out, 'linux', 'data', 'scores-secret.txt')
    secret = open(secret_file).read().strip() if os.path.exists(secret_file) else ''
    status, r = server.post_run(body, 'Linux', secret)
    check('the whole session is taken from its install', status == 202 and r.get('id') == run_id(body),
          f'{status} {r}')
    if status == 202:
        # The harness replays it meanwhile, to the state the recording ends in.
        harness = {}
        t = threading.Thread(target=lambda: harness.update(differ=replays_natively(
            a.replay, text, tempfile.mkdtemp(dir=a.out))))
        t.start()
        v = server.verdict(r['id'], timeout=900)
        t.join()
        check('and verified with the score the harness gives', harness['differ'] == [] and
              v.get('scores') == [recorded_score(text)], [harness['differ'], v])
    status, r = server.post_run(body, 'Linux', secret)
    check('the same run again is the same entry', status == 200 and r.get('id') == run_id(body), f'{status} {r}')
    changed = bytearray(body)
    at = body.index(b' key down ') + 10
    changed[at] = ord('9') if changed[at] != ord('9') else ord('8')
    status, r = server.post_run(bytes(changed), 'Linux', secret)
    check('one byte changed is rejected', status == 422 and 'damaged' in str(r), f'{status} {r}')
    status, r = server.post_run(b'\x00garbage\xff' * 100, 'Garbage', secrets.token_hex(32))
    check('garbage is rejected', status == 422, f'{status} {r}')
    # Refused from its length alone, before a byte of it is read.
    with socket.create_connection(('127.0.0.1', server.port), timeout=30) as c:
        c.sendall(f'POST /api/runs?name=Big HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Kelvora-Secret: {secrets.token_hex(32)}'
                  f'\r\nContent-Length: {8 << 20 | 1}\r\n\r\n'.encode())
        answer = c.recv(4096).decode(errors='replace')
    check('a body over the limit is refused', answer.startswith('HTTP/1.1 413'), answer[:200])
    long_run, _ = record(a.replay, os.path.join(SRC, 'data'), a.out, '', MAX_FRAMES + 1, 0)
    status, r = server.post_run(long_run, 'Patient', secrets.token_hex(32))
    check(f'a run over {MAX_FRAMES} frames is rejected', status == 422 and 'frames' in str(r), f'{status} {r}')
    status, r = server.post_run(body, 'Linux', secrets.token_hex(32))
    check('a second install cannot post under a claimed name', status == 403, f'{status} {r}')
    status, _, page = server.request('GET', '/')
    check('the server is still up, its page showing the table', server.proc.poll() is None and status == 200 and
          b'Linux' in page)
finally:
    server.kill()
print(f'scores: {len(failures)} failed' if failures else 'scores: all passed')
sys.exit(1 if failures else 0)
