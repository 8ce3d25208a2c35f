"""A kelvora3d-scores process for tests: started in a process group of its
own on a free loopback port, its log collected, and the group killed however
the test ends. Also the HTTP calls and the recordings the tests send."""
import hashlib, http.client, json, os, re, signal, subprocess, tempfile, threading, time, urllib.parse

SECRET_A = 'a1' * 32
SECRET_B = 'b2' * 32


def wait_for(what, check, timeout=120, every=0.05):
    """Polls check() until it gives something true; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        got = check()
        if got:
            return got
        if time.monotonic() > deadline:
            raise AssertionError(f'timed out waiting for {what}')
        time.sleep(every)


class Server:
    def __init__(self, program, args, cwd):
        self.log = []
        self.proc = subprocess.Popen([program, '--listen', '127.0.0.1:0'] + args, cwd=cwd, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, errors='replace',
                                     start_new_session=True)
        threading.Thread(target=self._read_log, daemon=True).start()
        try:
            line = wait_for('the server to listen', lambda: self.find_log(r'listening on http://127\.0\.0\.1:(\d+)/')
                            or self.proc.poll() is not None, timeout=60)
            if line is True:
                raise AssertionError('the server stopped at once:\n' + self.log_text())
            self.port = int(re.search(r':(\d+)/', line).group(1))
        except BaseException:
            self.kill()
            raise

    def _read_log(self):
        for line in self.proc.stderr:
            self.log.append(line)

    def find_log(self, pattern):
        return next((l for l in list(self.log) if re.search(pattern, l)), None)

    def log_text(self):
        return ''.join(self.log)

    def stop(self):
        """SIGTERM; the server must end by itself, with status 0."""
        os.killpg(self.proc.pid, signal.SIGTERM)
        try:
            return self.proc.wait(timeout=30)
        finally:
            self.kill()

    def kill(self):
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.proc.wait()

    def request(self, method, path, body=None, headers=None):
        """(status, headers as a dict with lowercase keys, body bytes)."""
        c = http.client.HTTPConnection('127.0.0.1', self.port, timeout=30)
        try:
            c.request(method, path, body=body, headers=headers or {})
            r = c.getresponse()
            return r.status, {k.lower(): v for k, v in r.getheaders()}, r.read()
        finally:
            c.close()

    def json(self, method, path, body=None, headers=None):
        status, _, data = self.request(method, path, body, headers)
        return status, json.loads(data)

    def post_run(self, body, name, secret=SECRET_A, content_type='application/octet-stream'):
        return self.json('POST', '/api/runs?name=' + urllib.parse.quote(name, safe=''), body,
                         {'X-Kelvora-Secret': secret, 'Content-Type': content_type})

    def verdict(self, run_id, timeout=300):
        def done():
            status, run = self.json('GET', '/api/runs/' + run_id)
            return run if status == 200 and run['status'] in ('verified', 'rejected') else None
        return wait_for(f'the verdict on {run_id}', done, timeout=timeout, every=0.2)


def key_press(frame, code):
    return f'{frame} key down {code}\n{frame} key up {code}\n'


def click(frame, x, y):
    return f'{frame} mouse move {x} {y}\n{frame} mouse down 1\n{frame} mouse up 1\n'


SPACE, FIRE = 32, 162
# Space skips the logo; a click on the title's first row starts a game.
START_GAME = key_press(2, SPACE) + click(20, 320, 245)
# A whole game, firing every 6 frames: it ends (results shown) before frame 17400.
WHOLE_GAME_FRAMES = 17400
WHOLE_GAME = START_GAME + ''.join(key_press(f, FIRE) for f in range(21, 16100, 6))


def record(replay, data_dir, work, script, frames, clock):
    """A genuine recording by the harness, and the state its run ended in."""
    game = tempfile.mkdtemp(dir=work)
    os.symlink(data_dir, os.path.join(game, 'data'))
    script_file = os.path.join(game, 'script.txt')
    with open(script_file, 'w') as f:
        f.write(script)
    recording = os.path.join(game, 'run.kvrec')
    state = os.path.join(game, 'state.json')
    subprocess.run([replay, '--frames', str(frames), '--script', script_file, '--clock', str(clock), '--dir', game,
                    '--driver', 'record', '--state', state, '--recording', recording],
                   check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(recording, 'rb') as f, open(state) as s:
        return f.read(), json.load(s)


def run_id(body):
    return hashlib.sha256(body).hexdigest()
