#!/usr/bin/env python3
"""kelvora3d-scores as players and attackers meet it: a real server on a
loopback port with SQLite in a scratch folder, real recordings from the
harness, verified by the server's own replays.

usage: server_test.py --server PROGRAM --replay HARNESS --data DIR [unittest options]"""
import argparse, os, shutil, sys, tempfile, unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from server_run import (SECRET_A, SECRET_B, START_GAME, WHOLE_GAME, WHOLE_GAME_FRAMES, Server, record, run_id,
                        wait_for)

ap = argparse.ArgumentParser()
ap.add_argument('--server', required=True)
ap.add_argument('--replay', required=True)
ap.add_argument('--data', required=True)
opt, rest = ap.parse_known_args()
opt.server, opt.replay, opt.data = (os.path.abspath(p) for p in (opt.server, opt.replay, opt.data))
work = tempfile.mkdtemp(prefix='kv-server-test-')
recordings = {}


def recording(name, script, frames, clock):
    if name not in recordings:
        recordings[name] = record(opt.replay, opt.data, work, script, frames, clock)
    return recordings[name]


def short_run(clock=4242):
    return recording(f'short{clock}', START_GAME, 240, clock)[0]


class MainServer(unittest.TestCase):
    """One server for the table's own behaviour; large enough limits that
    only the cases aimed at them meet them."""

    @classmethod
    def setUpClass(cls):
        cls.server = Server(opt.server, ['--database', os.path.join(work, 'main.db'), '--data', opt.data,
                                         '--workers', '2', '--rate', '1000', '--max-body', str(1 << 20)], work)

    @classmethod
    def tearDownClass(cls):
        status = cls.server.stop()
        if status != 0:
            raise AssertionError(f'the server ended with {status} on SIGTERM:\n' + cls.server.log_text())

    def test_a_whole_game_is_verified_with_the_harness_score_and_listed_once(self):
        body, state = recording('whole', WHOLE_GAME, WHOLE_GAME_FRAMES, 1234)
        self.assertEqual(state['game_state'], 5, 'the script plays a whole game to its results')
        name = '<b>&amp;'
        # Sent as a form (curl's default type): taken as bytes all the same.
        status, answer = self.server.post_run(body, name, content_type='application/x-www-form-urlencoded')
        self.assertEqual((status, answer), (202, {'id': run_id(body), 'status': 'queued'}))
        status, again = self.server.post_run(body, name)
        self.assertEqual(status, 200)
        self.assertEqual(again['id'], run_id(body))
        self.assertIn(again['status'], ('queued', 'verifying', 'verified'))

        run = self.server.verdict(run_id(body))
        self.assertEqual(run['status'], 'verified', run)
        self.assertEqual(run['scores'], [state['final_score']])
        self.assertEqual((run['name'], run['system'], run['frames']), (name, 'Linux', WHOLE_GAME_FRAMES))
        self.assertNotIn('reason', run)
        self.assertRegex(run['verified_at'], r'^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$')
        self.assertTrue(self.server.find_log(rf'run {run_id(body)[:12]} by .*verified'), self.server.log_text())

        status, _ = self.server.post_run(body, name)
        self.assertEqual(status, 200, 'sent again after its verdict: still one run')
        status, table = self.server.json('GET', '/api/scores?top=100')
        self.assertEqual(status, 200)
        mine = [row for row in table['scores'] if row['run'] == run_id(body)]
        self.assertEqual(len(mine), 1, table)
        self.assertEqual((mine[0]['name'], mine[0]['score'], mine[0]['system']), (name, state['final_score'], 'Linux'))
        self.assertEqual([row['rank'] for row in table['scores']], list(range(1, len(table['scores']) + 1)))
        status, recent = self.server.json('GET', '/api/recent?count=100')
        self.assertEqual([r['id'] for r in recent['runs']].count(run_id(body)), 1)

        status, headers, page = self.server.request('GET', '/')
        self.assertEqual(status, 200)
        self.assertTrue(headers['content-type'].startswith('text/html'))
        page = page.decode()
        self.assertIn('&lt;b&gt;&amp;amp;', page)
        self.assertNotIn('<b>', page)
        self.assertIn(str(int(state['final_score'])), page)

    def test_damaged_foreign_and_oversized_runs_are_refused(self):
        body = short_run()
        changed = bytearray(body)
        changed[len(changed) // 2] ^= 1
        status, answer = self.server.post_run(bytes(changed), 'Ann')
        self.assertEqual(status, 422, answer)
        self.assertEqual(answer['status'], 'rejected')
        self.assertIn('damaged', answer['reason'])
        for garbage in (b'', b'\x00\xff' * 100, b'# Kelvora 3D recording\n# version 1.5.0\n'):
            status, answer = self.server.post_run(garbage, 'Ann')
            self.assertEqual((status, answer['status']), (422, 'rejected'), garbage[:20])
        status, _, _ = self.server.request('POST', '/api/runs?name=Ann', b'#' * (2 << 20),
                                           {'X-Kelvora-Secret': SECRET_A})
        self.assertEqual(status, 413)
        status, _ = self.server.json('GET', '/api/scores')
        self.assertEqual(status, 200, 'still answering')
        for bad in ('0' * 64, 'f' * 64):
            self.assertEqual(self.server.json('GET', '/api/runs/' + bad)[0], 404)
        self.assertEqual(self.server.json('GET', '/api/runs/..%2f..%2fetc')[0], 404)

    def test_names_and_secrets(self):
        body = short_run(5151)
        for bad in ('', '   ', 'x' * 21, 'é' * 21, 'a\x01b', 'a\u202eb', 'a\nb'):
            status, answer = self.server.post_run(body, bad)
            self.assertEqual(status, 400, (bad, answer))
        status, _, _ = self.server.request('POST', '/api/runs?name=%FFab', body, {'X-Kelvora-Secret': SECRET_A})
        self.assertEqual(status, 400, 'not UTF-8')
        status, _, _ = self.server.request('POST', '/api/runs', body, {'X-Kelvora-Secret': SECRET_A})
        self.assertEqual(status, 400, 'no name')
        for secret in ('A1' * 32, 'a1' * 31, 'g' * 64, ''):
            self.assertEqual(self.server.post_run(body, 'Zoë', secret)[0], 400, secret)

        status, answer = self.server.post_run(body, '  Zoë ' + 'é' * 16 + '  ', SECRET_A)
        self.assertEqual(status, 202, answer)
        status, run = self.server.json('GET', '/api/runs/' + answer['id'])
        self.assertEqual(run['name'], 'Zoë ' + 'é' * 16, 'trimmed; 20 characters is allowed')
        status, answer = self.server.post_run(short_run(5252), 'Zoë ' + 'é' * 16, SECRET_B)
        self.assertEqual((status, answer), (403, {'error': 'the name Zoë ' + 'é' * 16 + ' belongs to another player'}))
        self.assertEqual(self.server.verdict(run['id'])['status'], 'verified')

    def test_queries_and_methods(self):
        for path in ('/api/scores?top=x', '/api/scores?top=', '/api/recent?count=1e3'):
            self.assertEqual(self.server.json('GET', path)[0], 400, path)
        self.assertEqual(self.server.json('GET', '/api/scores?top=100000')[0], 200)
        self.assertEqual(self.server.json('DELETE', '/api/runs')[0], 405)
        self.assertEqual(self.server.json('GET', '/api/nothing')[0], 404)
        self.assertEqual(self.server.request('GET', '/play/')[0], 404, 'no --web, no game')


class LimitsServer(unittest.TestCase):
    """The rate and frame limits, CORS and the game's files, on a server of
    their own."""

    @classmethod
    def setUpClass(cls):
        cls.web = os.path.join(work, 'web')
        os.makedirs(os.path.join(cls.web, 'sub'))
        for name, data in (('index.html', b'<p>game</p>'), ('kelvora3d.0123abcd.wasm', b'\0asm'),
                           ('kelvora3d.0123abcd.js', b'1;'),
                           ('.hidden', b'x'), ('sub/index.html', b'sub')):
            with open(os.path.join(cls.web, name), 'wb') as f:
                f.write(data)
        with open(os.path.join(work, 'private.txt'), 'w') as f:
            f.write('private')
        os.symlink(os.path.join(work, 'private.txt'), os.path.join(cls.web, 'link.txt'))
        cls.server = Server(opt.server, ['--database', os.path.join(work, 'limits.db'), '--data', opt.data,
                                         '--workers', '0', '--rate', '3', '--max-frames', '100', '--web', cls.web,
                                         '--allow-origin', 'https://games.example'], work)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def test_frame_limit_then_rate_limit(self):
        body = short_run()
        for _ in range(3):
            status, answer = self.server.post_run(body, 'Ann')
            self.assertEqual(status, 422)
            self.assertIn('100', answer['reason'], 'the reason names the limit')
        status, headers, _ = self.server.request('POST', '/api/runs?name=Ann', body, {'X-Kelvora-Secret': SECRET_A})
        self.assertEqual(status, 429)
        self.assertGreaterEqual(int(headers['retry-after']), 1)
        self.assertEqual(self.server.request('GET', '/api/scores')[0], 200, 'reading is not limited')

    def test_cors(self):
        status, headers, _ = self.server.request('OPTIONS', '/api/runs', headers={
            'Origin': 'https://games.example', 'Access-Control-Request-Method': 'POST',
            'Access-Control-Request-Headers': 'content-type,x-kelvora-secret'})
        self.assertIn(status, (200, 204))
        self.assertEqual(headers['access-control-allow-origin'], 'https://games.example')
        self.assertIn('POST', headers['access-control-allow-methods'])
        self.assertIn('x-kelvora-secret', headers['access-control-allow-headers'].lower())
        status, headers, _ = self.server.request('GET', '/api/recent', headers={'Origin': 'https://games.example'})
        self.assertEqual((status, headers['access-control-allow-origin']), (200, 'https://games.example'))

    def test_game_files(self):
        status, headers, body = self.server.request('GET', '/play/')
        self.assertEqual((status, body), (200, b'<p>game</p>'))
        self.assertEqual(headers['cache-control'], 'no-cache')
        self.assertTrue(headers['content-type'].startswith('text/html'))
        status, headers, body = self.server.request('GET', '/play/kelvora3d.0123abcd.wasm')
        self.assertEqual((status, headers['content-type'], body), (200, 'application/wasm', b'\0asm'))
        self.assertIn('immutable', headers['cache-control'], 'named after its content')
        self.assertEqual(self.server.request('GET', '/play/kelvora3d.0123abcd.wasm',
                                             headers={'If-None-Match': headers['etag']})[0], 304)
        js = self.server.request('GET', '/play/kelvora3d.0123abcd.js')[1]
        self.assertTrue(js['content-type'].startswith('text/javascript'))
        self.assertEqual(self.server.request('GET', '/play/sub/')[2], b'sub')
        self.assertEqual(self.server.request('GET', '/play')[0], 301)
        for path in ('/play/../private.txt', '/play/%2e%2e/private.txt', '/play/sub/%2e%2e/%2e%2e/private.txt',
                     '/play/.hidden', '/play/link.txt', '/play/nothing.js', '/play/%00'):
            status, _, body = self.server.request('GET', path)
            self.assertEqual(status, 404, path)
            self.assertNotIn(b'private', body)


if __name__ == '__main__':
    try:
        unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
    finally:
        shutil.rmtree(work, ignore_errors=True)
