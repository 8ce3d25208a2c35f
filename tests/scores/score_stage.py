#!/usr/bin/env python3
"""The score server on loopback with SQLite, as players reach it: a whole
game played by the real program on Linux, by the Windows build under Wine
and in the page in headless Chromium, each sending its run by itself; each
run verified with the score its own screen showed, and the harness on Linux
replaying the Linux and Windows recordings to the same score. Then what a
stranger may send: the same run with one byte changed, garbage, a body over
the limit, a run over the frame limit and a claimed name from another
install, each refused with its status while the server stays up.

usage: score_stage.py --server PROGRAM --replay REPLAY --program KELVORA3D
                      [--exe KELVORA3D.EXE] [--web WEB_DIR] --out DIR
Each desktop program runs in an X server of its own; --exe needs WINEPREFIX set up."""
import argparse, hashlib, json, os, secrets, shutil, signal, socket, subprocess, sys, threading, time
import urllib.error, urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
SRC = os.path.abspath(os.path.join(HERE, '..', '..'))
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


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def request(method, path, body=None, headers=None):
    """(status, parsed JSON or text) of a request to the server."""
    req = urllib.request.Request(URL + path, data=body, method=method, headers=headers or {})
    try:
        with urllib.request.urlopen(req, timeout=30) as r:
            status, raw = r.status, r.read()
    except urllib.error.HTTPError as e:
        status, raw = e.code, e.read()
    try:
        return status, json.loads(raw)
    except ValueError:
        return status, raw.decode(errors='replace')


def post_run(body, name, secret):
    return request('POST', '/api/runs?name=' + urllib.parse.quote(name), body, {'X-Kelvora-Secret': secret})


def verdict(run_id, seconds=900):
    """The run's status once it is no longer waiting."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        status, r = request('GET', '/api/runs/' + run_id)
        if status == 200 and r.get('status') in ('verified', 'rejected'):
            return r
        time.sleep(0.2)
    return {'status': 'still waiting'}


def runs_of(name, seconds=900):
    """The runs sent under name that are verified, once there is one."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        status, r = request('GET', '/api/recent?count=100')
        mine = [x for x in r.get('runs', []) if x.get('name') == name] if status == 200 else []
        if mine:
            return mine
        time.sleep(0.5)
    return []


def harness_score(recording):
    """The final score of the game the recording ends after, replayed on Linux."""
    text = open(recording, 'rb').read().decode()
    header = {l.split()[1]: l.split()[2] for l in text.splitlines() if l.startswith('# ') and len(l.split()) == 3}
    d = os.path.join(a.out, 'harness-' + os.path.basename(recording))
    os.makedirs(os.path.join(d, 'data'), exist_ok=True)
    for f in os.listdir(os.path.join(SRC, 'data')):
        if f.endswith('.ogg'):
            shutil.copy(os.path.join(SRC, 'data', f), os.path.join(d, 'data'))
    for name, key in (('hiscore.dat', 'best_score'), ('anaglyph3d.dat', 'mode3d')):
        with open(os.path.join(d, 'data', name), 'wb') as f:
            f.write(int(header[key]).to_bytes(4, 'little', signed=True))
    state = os.path.join(d, 'state.json')
    subprocess.run([a.replay, '--driver', 'record', '--frames', str(int(header['frames']) + 100), '--script',
                    recording, '--clock', header['clock'], '--dir', d, '--state', state],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=dict(os.environ, SDL_AUDIODRIVER='dummy'))
    try:
        return json.load(open(state))['final_score']
    except (OSError, ValueError, KeyError):
        return None


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


port = free_port()
URL = f'http://127.0.0.1:{port}'
server_argv = [a.server, '--database', os.path.join(a.out, 'scores.db'), '--listen', f'127.0.0.1:{port}',
               '--data', os.path.join(SRC, 'data'), '--max-frames', str(MAX_FRAMES)]
if a.web:
    server_argv += ['--web', a.web]
server = subprocess.Popen(server_argv, stdout=open(os.path.join(a.out, 'server.log'), 'wb'),
                          stderr=subprocess.STDOUT, start_new_session=True)
games = []
try:
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and server.poll() is None:
        try:
            if request('GET', '/api/scores')[0] == 200:
                break
        except OSError:
            time.sleep(0.1)
    check('the server answers on loopback', server.poll() is None and request('GET', '/api/scores')[0] == 200)

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
        shown = int(shown)
        runs = runs_of(system)
        if check(f'the run {system} sent by itself is verified, once', len(runs) == 1, runs):
            check(f'{system}: the server scores it {shown}, as the game showed', runs[0].get('scores') == [shown],
                  f"server {runs[0].get('scores')}")
        rec = os.path.join(a.out, system.lower(), 'kelvora3d' + ('.exe' if system == 'Windows' else '') + '.kvrec')
        if system != 'Web':
            check(f'{system}: the harness on Linux replays its recording to {shown}', harness_score(rec) == shown)
    _, table = request('GET', '/api/scores?top=10')
    check('the table lists each system\'s best', sorted(r['system'] for r in table.get('scores', [])) ==
          sorted(s for s, st, _, _ in games if st == 0), table)

    # The Linux program's whole recording (the session to its end), sent again
    # by hand with the install's secret, and by strangers.
    rec = os.path.join(a.out, 'linux', 'kelvora3d.kvrec')
    body = open(rec, 'rb').read()
    secret_file = os.path.join(a.out, 'linux', 'data', 'scores-secret.txt')
    secret = open(secret_file).read().strip() if os.path.exists(secret_file) else ''
    status, r = post_run(body, 'Linux', secret)
    check('the whole session is taken from its install', status == 202 and r.get('id') == hashlib.sha256(body).hexdigest(),
          f'{status} {r}')
    if status == 202:
        v = verdict(r['id'])
        check('and verified with the score the harness gives', v.get('scores') == [harness_score(rec)], v)
    status, r = post_run(body, 'Linux', secret)
    check('the same run again is the same entry', status == 200 and r.get('id') == hashlib.sha256(body).hexdigest(),
          f'{status} {r}')
    changed = bytearray(body)
    at = body.index(b' key down ') + 10
    changed[at] = ord('9') if changed[at] != ord('9') else ord('8')
    status, r = post_run(bytes(changed), 'Linux', secret)
    check('one byte changed is rejected', status == 422 and 'damaged' in str(r), f'{status} {r}')
    status, r = post_run(b'\x00garbage\xff' * 100, 'Garbage', secrets.token_hex(32))
    check('garbage is rejected', status == 422, f'{status} {r}')
    # Refused from its length alone, before a byte of it is read.
    with socket.create_connection(('127.0.0.1', port), timeout=30) as c:
        c.sendall(f'POST /api/runs?name=Big HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Kelvora-Secret: {secrets.token_hex(32)}'
                  f'\r\nContent-Length: {8 << 20 | 1}\r\n\r\n'.encode())
        answer = c.recv(4096).decode(errors='replace')
    check('a body over the limit is refused', answer.startswith('HTTP/1.1 413'), answer[:200])
    long_run = os.path.join(a.out, 'long.kvrec')
    d = os.path.join(a.out, 'long')
    os.makedirs(os.path.join(d, 'data'), exist_ok=True)
    open(os.path.join(d, 'idle.txt'), 'w').close()
    subprocess.run([a.replay, '--driver', 'record', '--frames', str(MAX_FRAMES + 1), '--script',
                    os.path.join(d, 'idle.txt'), '--dir', d, '--recording', long_run],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=dict(os.environ, SDL_AUDIODRIVER='dummy'))
    status, r = post_run(open(long_run, 'rb').read(), 'Patient', secrets.token_hex(32))
    check(f'a run over {MAX_FRAMES} frames is rejected', status == 422 and 'frames' in str(r), f'{status} {r}')
    status, r = post_run(body, 'Linux', secrets.token_hex(32))
    check('a second install cannot post under a claimed name', status == 403, f'{status} {r}')
    check('the server is still up', server.poll() is None and request('GET', '/api/scores')[0] == 200)
    status, page = request('GET', '/')
    check('its page shows the table', status == 200 and 'Linux' in str(page))
finally:
    try:
        os.killpg(server.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
print(f'scores: {len(failures)} failed' if failures else 'scores: all passed')
sys.exit(1 if failures else 0)
