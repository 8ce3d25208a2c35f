#!/usr/bin/env python3
"""Bounded load on a score server on loopback: RUNS distinct short runs (an
opening of a game recorded by the harness at different clocks) sent by
CLIENTS concurrent clients, each waiting for its run's verdict before sending
the next. Checks that every run was verified, once, and none lost; prints the
runs verified per second per core and the time from submission to verdict
(median, p99).

usage: scripts/load-test-server.py [--server P] [--replay P] [--data DIR]
           [--runs 500] [--clients 50] [--frames 300] [--workers N]
Defaults: the Release build (build/release: make server, and the replay
target), one worker per core, SQLite in a scratch folder."""
import argparse, concurrent.futures, hashlib, json, os, re, shutil, signal, sqlite3, subprocess, sys, tempfile
import threading, time, http.client, urllib.parse

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ap = argparse.ArgumentParser(usage=__doc__.split('usage: ')[1].split('\n\n')[0])
ap.add_argument('--server', default=os.path.join(root, 'build/release/server/kelvora3d-scores'))
ap.add_argument('--replay', default=os.path.join(root, 'build/release/tools/replay/replay'))
ap.add_argument('--data', default=os.path.join(root, 'data'))
ap.add_argument('--runs', type=int, default=500)
ap.add_argument('--clients', type=int, default=50)
ap.add_argument('--frames', type=int, default=300)
ap.add_argument('--workers', type=int, default=os.cpu_count())
a = ap.parse_args()
SECRET = 'd4' * 32
# Space skips the logo, a click on the first row starts a game, then fire now and then.
SCRIPT = ('2 key down 32\n2 key up 32\n20 mouse move 320 245\n20 mouse down 1\n20 mouse up 1\n' +
          ''.join(f'{f} key down 162\n{f} key up 162\n' for f in range(30, a.frames, 20)))

work = tempfile.mkdtemp(prefix='kv-load-')
server = None


def fail(text):
    print('load test: FAILED: ' + text, flush=True)
    sys.exit(1)


def record(i):
    d = os.path.join(work, f'g{i % 8}')
    out = os.path.join(work, f'run{i}.kvrec')
    subprocess.run([a.replay, '--frames', str(a.frames), '--script', os.path.join(work, 'script.txt'), '--clock',
                    str(1000 + 7919 * i), '--dir', d, '--driver', 'record', '--recording', out],
                   check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(out, 'rb') as f:
        return f.read()


def request(port, method, path, body=None, headers=None):
    c = http.client.HTTPConnection('127.0.0.1', port, timeout=60)
    try:
        c.request(method, path, body=body, headers=headers or {})
        r = c.getresponse()
        return r.status, r.read()
    finally:
        c.close()


try:
    with open(os.path.join(work, 'script.txt'), 'w') as f:
        f.write(SCRIPT)
    for g in range(8):
        os.makedirs(os.path.join(work, f'g{g}'))
        os.symlink(os.path.abspath(a.data), os.path.join(work, f'g{g}', 'data'))
    t = time.monotonic()
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as pool:
        bodies = list(pool.map(record, range(a.runs)))
    ids = [hashlib.sha256(b).hexdigest() for b in bodies]
    if len(set(ids)) != a.runs:
        fail('the recordings are not all different')
    print(f'load test: {a.runs} recordings of {a.frames} frames made in {time.monotonic() - t:.1f} s', flush=True)

    db = os.path.join(work, 'scores.db')
    log_path = os.path.join(work, 'server.log')
    log = open(log_path, 'w')
    server = subprocess.Popen([a.server, '--database', db, '--listen', '127.0.0.1:0', '--data', a.data,
                               '--workers', str(a.workers), '--rate', '1000000'],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=log, start_new_session=True)
    deadline = time.monotonic() + 60
    port = None
    while port is None:
        m = re.search(r'listening on http://127\.0\.0\.1:(\d+)/', open(log_path).read())
        if m:
            port = int(m.group(1))
        elif server.poll() is not None or time.monotonic() > deadline:
            fail('the server did not start:\n' + open(log_path).read())
        else:
            time.sleep(0.05)

    queue = list(range(a.runs))
    lock = threading.Lock()
    latency = [None] * a.runs
    verdicts = [None] * a.runs
    errors = []

    def client():
        try:
            send_and_wait()
        except Exception as e:  # a refused or dropped connection is a failure too
            errors.append(f'{type(e).__name__}: {e}')

    def send_and_wait():
        while True:
            with lock:
                if not queue or errors:
                    return
                i = queue.pop()
            sent = time.monotonic()
            status, body = request(port, 'POST', '/api/runs?name=' + urllib.parse.quote(f'load{i % 97}'),
                                   bodies[i], {'X-Kelvora-Secret': SECRET})
            if status != 202:
                errors.append(f'run {i}: {status} {body[:200]!r}')
                return
            while True:
                status, body = request(port, 'GET', '/api/runs/' + ids[i])
                run = json.loads(body)
                if status == 200 and run['status'] in ('verified', 'rejected'):
                    latency[i] = time.monotonic() - sent
                    verdicts[i] = run
                    break
                if time.monotonic() - sent > 600:
                    errors.append(f'run {i}: no verdict in 600 s')
                    return
                time.sleep(0.02)

    start = time.monotonic()
    threads = [threading.Thread(target=client) for _ in range(a.clients)]
    for th in threads:
        th.start()
    for th in threads:
        th.join()
    elapsed = time.monotonic() - start
    if errors or None in verdicts:
        fail('; '.join(errors[:5]) or f'{verdicts.count(None)} runs without a verdict')
    rejected = [v for v in verdicts if v['status'] != 'verified']
    if rejected:
        fail(f'{len(rejected)} runs rejected, e.g. {rejected[0].get("reason")}')

    # None lost, none added, each judged once (one verdict line each).
    con = sqlite3.connect(db)
    rows = dict(con.execute('SELECT status, count(*) FROM runs GROUP BY status').fetchall())
    if rows != {'verified': a.runs}:
        fail(f'the runs table holds {rows}')
    log_text = open(log_path).read()
    for i in ids:
        said = len(re.findall(rf'run {i[:12]} by .*: verified', log_text))
        if said != 1:
            fail(f'run {i} has {said} verdicts')
    cores = min(a.workers, os.cpu_count()) or 1
    lat = sorted(latency)
    p = lambda q: lat[min(len(lat) - 1, int(q * len(lat)))]
    print(f'load test: {a.runs} runs from {a.clients} clients, {a.workers} workers on {os.cpu_count()} cores: '
          f'all verified once, none lost', flush=True)
    print(f'load test: {a.runs / elapsed:.1f} runs verified per second, '
          f'{a.runs / elapsed / cores:.1f} per second per core ({a.frames} frames each)', flush=True)
    print(f'load test: submission to verdict: median {p(0.5):.2f} s, p99 {p(0.99):.2f} s, max {lat[-1]:.2f} s',
          flush=True)
finally:
    if server:
        try:
            os.killpg(server.pid, signal.SIGTERM)
            server.wait(timeout=30)
        except Exception:
            pass
        try:
            os.killpg(server.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        server.wait()
    shutil.rmtree(work, ignore_errors=True)
