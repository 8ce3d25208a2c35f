#!/usr/bin/env python3
"""A stand-in for the score server, for the page's tests: the page folder
under /play/, and the API the page uses. Every run posted is kept as
OUT/run-N.txt with a line of OUT/posts.jsonl (its name, secret, size and
id); a run's verdict is "verifying" at the first ask, then "verified" with
the final score its recording ends with; the table is a fixed one (a name
of HTML tags among it). POST /stub/fail?count=N makes the next N posts fail
with 503. The URL (http://127.0.0.1:PORT/) is printed on the first line.
usage: scores_stub.py --web DIR --out DIR"""
import argparse, hashlib, http.server, json, os, re, sys, threading, urllib.parse

TABLE = {'scores': [
    {'rank': 1, 'name': '<b>x</b>', 'score': 98765, 'date': '2025-03-01T12:00:00Z', 'system': 'Linux', 'run': 'a' * 64},
    {'rank': 2, 'name': 'Zoë & Ann', 'score': 4321, 'date': '2025-02-11T08:30:00Z', 'system': 'Web', 'run': 'b' * 64},
    {'rank': 3, 'name': '<img src=x onerror=alert(1)>', 'score': -40, 'date': '2025-01-05T00:00:00Z',
     'system': 'Windows', 'run': 'c' * 64}]}
TYPES = {'.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm',
         '.data': 'application/octet-stream', '.png': 'image/png', '.txt': 'text/plain; charset=utf-8'}
MAX_BODY = 8 << 20

ap = argparse.ArgumentParser()
ap.add_argument('--web', required=True)
ap.add_argument('--out', required=True)
a = ap.parse_args()
os.makedirs(a.out, exist_ok=True)
lock = threading.Lock()
runs = {}      # id -> {'final_score', 'asked'}
failing = [0]  # posts still to fail


def final_score(text):
    m = re.search(r'^# final .*\bfinal_score=(-?\d+)', text, re.M)
    return int(m.group(1)) if m else None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def answer(self, status, body, kind='application/json', extra=()):
        data = body if isinstance(body, bytes) else json.dumps(body).encode()
        self.send_response(status)
        self.send_header('Content-Type', kind)
        self.send_header('Content-Length', str(len(data)))
        self.send_header('Cache-Control', 'no-cache')
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()
        if self.command != 'HEAD':
            self.wfile.write(data)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        path = url.path
        if path == '/play':
            return self.answer(301, b'', 'text/plain', [('Location', '/play/')])
        if path.startswith('/play/'):
            name = path[len('/play/'):] or 'index.html'
            # The page's own files only, by their plain names.
            if '/' in name or name.startswith('.') or name not in os.listdir(a.web):
                return self.answer(404, {'error': 'no such file'})
            return self.answer(200, open(os.path.join(a.web, name), 'rb').read(),
                               TYPES.get(os.path.splitext(name)[1], 'application/octet-stream'))
        if path == '/api/scores':
            return self.answer(200, TABLE)
        m = re.fullmatch(r'/api/runs/([0-9a-f]{64})', path)
        if m:
            with lock:
                run = runs.get(m.group(1))
                if run:
                    run['asked'] += 1
            if not run:
                return self.answer(404, {'error': 'no such run'})
            if run['asked'] == 1:
                return self.answer(200, {'id': m.group(1), 'status': 'verifying'})
            return self.answer(200, {'id': m.group(1), 'status': 'verified', 'scores': [run['final_score']]})
        return self.answer(404, {'error': 'not found'})

    def do_HEAD(self):
        self.do_GET()

    def do_POST(self):
        url = urllib.parse.urlsplit(self.path)
        size = int(self.headers.get('Content-Length') or 0)
        if size > MAX_BODY:
            return self.answer(413, {'error': 'the run is too large'}, extra=[('Connection', 'close')])
        body = self.rfile.read(size)
        if url.path == '/stub/fail':
            with lock:
                failing[0] = int(urllib.parse.parse_qs(url.query).get('count', ['1'])[0])
            return self.answer(200, {})
        if url.path != '/api/runs':
            return self.answer(404, {'error': 'not found'})
        name = urllib.parse.parse_qs(url.query).get('name', [''])[0]
        secret = self.headers.get('X-Kelvora-Secret') or ''
        if not re.fullmatch(r'[0-9a-f]{64}', secret):
            return self.answer(400, {'error': 'the secret is malformed'})
        if not 1 <= len(name.strip()) <= 20:
            return self.answer(400, {'error': 'a name has 1 to 20 characters'})
        with lock:
            if failing[0] > 0:
                failing[0] -= 1
                return self.answer(503, {'error': 'busy'})
            text = body.decode('utf-8', 'replace')
            rid = hashlib.sha256(body).hexdigest()
            n = len([f for f in os.listdir(a.out) if f.startswith('run-')]) + 1
            with open(os.path.join(a.out, f'run-{n}.txt'), 'wb') as f:
                f.write(body)
            with open(os.path.join(a.out, 'posts.jsonl'), 'a') as f:
                f.write(json.dumps({'n': n, 'name': name, 'secret': secret, 'bytes': len(body), 'id': rid,
                                    'type': self.headers.get('Content-Type')}) + '\n')
            known = rid in runs
            runs.setdefault(rid, {'final_score': final_score(text), 'asked': 0})
        self.answer(200 if known else 202, {'id': rid, 'status': 'queued'})

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
print(f'http://127.0.0.1:{server.server_address[1]}/', flush=True)
try:
    server.serve_forever()
except KeyboardInterrupt:
    pass
sys.exit(0)
