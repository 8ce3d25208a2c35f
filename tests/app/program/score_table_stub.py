#!/usr/bin/env python3
"""A score table that takes every run: each POST is kept in DIR as N.body
(the bytes) and N.head (the request line, then the headers), and answered
202 with the run's id (the SHA-256 of its bytes), as the real table does.
The port it listens on is written to DIR/port once it listens.

    score_table_stub.py DIR [PORT]
"""
import hashlib
import http.server
import json
import os
import sys

out = sys.argv[1]
count = 0


class Table(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        global count
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        count += 1
        with open(os.path.join(out, f"{count}.body"), "wb") as f:
            f.write(body)
        with open(os.path.join(out, f"{count}.head"), "w", encoding="utf-8") as f:
            f.write(f"{self.command} {self.path}\n{self.headers}")
        answer = json.dumps({"id": hashlib.sha256(body).hexdigest(), "status": "queued"}).encode()
        self.send_response(202)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", int(sys.argv[2]) if len(sys.argv) > 2 else 0), Table)
with open(os.path.join(out, "port.tmp"), "w") as f:
    f.write(str(server.server_address[1]))
os.replace(os.path.join(out, "port.tmp"), os.path.join(out, "port"))
server.serve_forever()
