#!/usr/bin/env python3
"""Serves the page folder (build/web by default) on 127.0.0.1 for a browser,
as a host should: the files named after their content (kelvora3d.<hash>.wasm)
kept for good, index.html checked again at each visit.
usage: serve-web.py [--port N] [--dir DIR]   (port 0 picks a free one; the URL is printed)"""
import argparse, functools, http.server, os, re, sys

HASHED = re.compile(r'/[A-Za-z0-9_]+\.[0-9a-f]{8}\.[a-z]+$')

ap = argparse.ArgumentParser()
ap.add_argument('--port', type=int, default=8080)
ap.add_argument('--dir', default=os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'build', 'web'))
a = ap.parse_args()
if not os.path.isfile(os.path.join(a.dir, 'index.html')):
    sys.exit(f'serve-web: no page in {a.dir} (make web builds it)')


class Handler(http.server.SimpleHTTPRequestHandler):
    # Browsers compile .wasm while it downloads only when it comes as application/wasm.
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      '.wasm': 'application/wasm', '.js': 'text/javascript', '.data': 'application/octet-stream'}

    def end_headers(self):
        hashed = HASHED.search(self.path.split('?')[0])
        self.send_header('Cache-Control', 'public, max-age=31536000, immutable' if hashed else 'no-cache')
        super().end_headers()

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(('127.0.0.1', a.port), functools.partial(Handler, directory=a.dir))
print(f'http://127.0.0.1:{server.server_address[1]}/', flush=True)
try:
    server.serve_forever()
except KeyboardInterrupt:
    pass
