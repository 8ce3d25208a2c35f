"""The page's score table (app/web/scores.js) against scores_stub.py: the
table with its names as text, the name field whose keys never reach the
game, the panel beside, below or tucked away, the page without a server,
and the session so far posted and replayed natively to the state it
recorded. Each check_* takes check(name, ok, detail), which records a
result."""
import json, os, re, shutil, signal, subprocess, sys, tempfile, time, urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cdp import Browser  # noqa: E402

SRC = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
G = 'Module.kvGame'
PLAY, PAUSE, TITLE, RESULTS = 2, 3, 4, 5
PANEL = "document.getElementById('kv-scores')"
RECT = '(e => (b => [b.left, b.top, b.right, b.bottom])(e.getBoundingClientRect()))'


class Stub:
    """scores_stub.py serving web_dir, in a process group of its own."""
    def __init__(self, web_dir):
        self.out = tempfile.mkdtemp(prefix='kv-scores-stub-')
        self.proc = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(__file__), 'scores_stub.py'),
                                      '--web', web_dir, '--out', self.out], stdout=subprocess.PIPE, text=True,
                                     start_new_session=True)
        self.url = self.proc.stdout.readline().strip()
        if not self.url:
            self.close()
            raise RuntimeError('the score server stand-in did not start')

    def posts(self):
        try:
            return [json.loads(line) for line in open(os.path.join(self.out, 'posts.jsonl'))]
        except FileNotFoundError:
            return []

    def body(self, n):
        return open(os.path.join(self.out, f'run-{n}.txt'), 'rb').read().decode()

    def wait_posts(self, count, timeout, what):
        end = time.time() + timeout
        while time.time() < end:
            if len(self.posts()) >= count:
                return self.posts()
            time.sleep(0.2)
        raise AssertionError(f'timed out after {timeout} s waiting for {what}')

    def close(self):
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.proc.wait()
        shutil.rmtree(self.out, ignore_errors=True)


def overlaps(a, b):
    return not (a[2] <= b[0] or b[2] <= a[0] or a[3] <= b[1] or b[3] <= a[1])


def check_no_server(page, check):
    """A page whose server has no API (a static host), at 640x480: the table
    says it is unavailable, the panel is tucked behind a button and opens
    over the picture; the picture keeps the whole tab."""
    note = page.wait_for("(t => /unavailable/.test(t) && t)(document.getElementById('kv-table-note').textContent)",
                         20, 'the table to say it is unavailable')
    tucked = page.eval("kvScores.layout()")
    page.eval("document.getElementById('kv-open').click()")
    opened = page.eval(f"getComputedStyle({PANEL}).display !== 'none' && document.activeElement.id")
    page.eval("document.getElementById('kv-close').click()")
    closed = page.eval(f"getComputedStyle({PANEL}).display === 'none' && document.activeElement === canvas")
    check('no score server: the table says it is unavailable; at 640x480 the panel opens from a button',
          tucked == 'tucked' and opened == 'kv-name' and closed, [note, tucked, opened, closed])


def check_table_and_name(stub, replay, check):
    """A wide window: the panel beside the picture, the stub's table with its
    names as text, and the name field, whose keys stay out of a game in play;
    the session so far, with a pause for a hidden tab, sent (through the
    program's hook for tests) and replayed natively."""
    browser = Browser(size=(1200, 600))
    try:
        page = browser.open('about:blank')
        # A pad (fake_pad.js) steps the menu's pointer in the session sent.
        page.send('Page.addScriptToEvaluateOnNewDocument',
                  {'source': open(os.path.join(os.path.dirname(__file__), 'fake_pad.js')).read()})
        page.navigate(stub.url + 'play/')
        page.wait_for(f'{G} && {G}.frame > 1', 60, 'the first picture')
        page.wait_for("document.querySelectorAll('#kv-rows tr').length === 3", 20, 'the table')
        r = page.eval(f"""(() => {{ const r = {RECT};
            return {{layout: kvScores.layout(), pic: r(canvas), panel: r({PANEL}),
                     cells: [...document.querySelectorAll('#kv-rows tr')].map(tr => [...tr.cells].map(c => c.textContent)),
                     tags: {PANEL}.querySelectorAll('tbody b, tbody img').length}}; }})()""")
        check('a wide window: the panel beside the picture, both whole on screen', r['layout'] == 'side' and
              not overlaps(r['pic'], r['panel']) and r['panel'][2] <= 1200 and r['pic'][3] - r['pic'][1] >= 0.85 * 600
              and r['pic'][0] >= 0, r)
        check('the table: rank, name, score, date and system, every name as text',
              r['cells'][0] == ['1', '<b>x</b>', '98765', '2025-03-01', 'Linux'] and
              r['cells'][2][1] == '<img src=x onerror=alert(1)>' and r['cells'][1][1] == 'Zoë & Ann' and
              r['tags'] == 0, r['cells'])

        def at(x, y):
            b = page.eval('(b => [b.x, b.y, b.width / 640])(canvas.getBoundingClientRect())')
            return b[0] + x * b[2], b[1] + y * b[2]

        page.tap(32)  # the logo
        page.wait_for(f'{G}.state === {TITLE}', 60, 'the title')

        def pad(control, frames):
            start = page.eval(f'{G}.frame')
            page.eval(f'kvPad.hold({control}, {frames})')
            page.wait_for(f'{G}.frame > {start + frames + 1}', 10, f'{frames} frames with {control}')

        # The pad: down a row (6 pixels a frame, from 250 to 286, the next
        # row at 290: a pointer a move ahead would pass it), A picks the 3D
        # mode, back up.
        page.eval('kvPad.plug()')
        pad('{axis: 1, value: 1}', 6)
        pad('{button: 0}', 1)
        page.wait_for(f'{G}.mode3d === 1', 5, 'the 3D mode chosen with the pad')
        pad('{axis: 1, value: -1}', 6)
        page.click(*at(320, 245))
        page.wait_for(f'{G}.state === {PLAY}', 10, 'play')
        # Into the field: the game's keys type or do nothing there; the game
        # neither fires, steers nor pauses.
        x, y = page.eval("(b => [b.x + b.width / 2, b.y + b.height / 2])(document.getElementById('kv-name')"
                         ".getBoundingClientRect())")
        page.click(x, y)
        before = page.eval(G)
        page.key(37, True)
        for vk in (162, 162, 32, 38):
            page.tap(vk, 0.05)
        page.key(37, False)
        g = page.wait_for(f"{G}.frame > {before['frame'] + 20} && {G}", 20, 'frames while typing')
        typed = page.eval("document.getElementById('kv-name').value")
        check('the name field takes the keys (Space typed into it), the game none of them', g['state'] == PLAY and
              g['shots'] == before['shots'] and g['steer'] == 0 and typed == ' ', [typed, before, g])
        page.eval("document.getElementById('kv-name').select()")
        page.send('Input.insertText', {'text': 'Ann '})
        page.key(13, True)
        page.key(13, False)
        stored = page.eval("[localStorage.getItem('kelvora3d/name'), document.activeElement === canvas]")
        shots = page.eval(f'{G}.shots')
        page.tap(162)
        check('Enter keeps the name (trimmed) and gives the keys back to the game', stored == ['Ann', True] and
              page.wait_for(f'{G}.shots > {shots}', 10, 'a shot'), stored)
        bad = []
        for text in ('x' * 21, 'tab\there', '   '):
            page.eval(f"(i => {{ i.value = {json.dumps(text)}; i.dispatchEvent(new Event('change')); }})"
                      "(document.getElementById('kv-name'))")
            bad.append([page.eval("localStorage.getItem('kelvora3d/name')"),
                        page.eval("document.getElementById('kv-name-note').className")])
        check('a name of 21 characters or a control character is refused, an empty one forgets it',
              bad == [['Ann', 'bad'], ['Ann', 'bad'], ['', '']], bad)
        page.eval("(i => { i.value = 'Ann'; i.dispatchEvent(new Event('change')); })(document.getElementById('kv-name'))")

        # A tab hidden in play comes back paused, through input the recording
        # holds; Space resumes, a shot; then the recording so far is sent.
        page.eval('canvas.focus()')
        other = browser.open('about:blank')
        page.wait_for('document.hidden', 10, 'the tab hidden')
        other.close()
        page.front()
        paused = page.wait_for(f'{G}.state === {PAUSE}', 10, 'the pause menu after the tab was hidden')
        page.tap(32)
        page.wait_for(f'{G}.state === {PLAY}', 10, 'play again')
        # The window losing the focus in play (another window chosen; the
        # headless browser has none, so its events stand in) pauses too.
        # (The game waits without frames while it has not the focus: a frame
        # begun after the focus went has taken that in.)
        f0 = page.eval(f'{G}.frame')
        page.eval("dispatchEvent(new FocusEvent('blur'))")
        left = page.wait_for(f'{G}.frame > {f0}', 10, 'a frame after the focus went')
        page.eval("dispatchEvent(new FocusEvent('focus'))")
        back = page.wait_for(f"{G}.frame > {page.eval(G + '.frame') + 5} && {G}.state", 10, 'frames with the focus back')
        page.tap(32)
        page.wait_for(f'{G}.state === {PLAY}', 10, 'play again')
        shots = page.eval(f'{G}.shots')
        page.tap(162)
        page.wait_for(f'{G}.shots > {shots}', 10, 'a shot')
        page.eval('Module._kv_web_send_recording_so_far()')
        p = stub.wait_posts(1, 20, 'the recording so far posted')[-1]
        text = stub.body(p['n'])
        check('a tab hidden in play pauses, and so does a window that loses the focus; the session so far is sent '
              'under the name kept', paused and left and back == PAUSE and p['name'] == 'Ann' and
              text.count(' key down 27\n') == 2 and ' suspend\n' in text and ' resume\n' in text,
              [p, back, text.count(' key down 27\n'), [l for l in text.splitlines() if ' suspend' in l or ' resume' in l
                                                     or ' key down 27' in l]])
        if replay:
            work = tempfile.mkdtemp(prefix='kv-posted-run-')
            try:
                differ = replays_natively(replay, text, work)
                check('the session so far replays natively to its state', differ == [], differ)
            finally:
                shutil.rmtree(work, ignore_errors=True)
        # A send that fails stays in the browser's storage and goes at the next visit.
        urllib.request.urlopen(urllib.request.Request(stub.url + 'stub/fail?count=1', data=b'', method='POST'))
        page.eval('Module._kv_web_send_recording_so_far()')
        kept = page.wait_for("(t => /Not sent yet/.test(t) && JSON.parse(localStorage.getItem('kelvora3d/outbox'))"
                             ".length)(document.getElementById('kv-status').textContent)", 20, 'the run kept')
        page.reload()
        again = stub.wait_posts(2, 30, 'the kept run sent at the next visit')
        left = page.wait_for("localStorage.getItem('kelvora3d/outbox') === '[]'", 10, 'the outbox emptied')
        check('a run the server failed to take is kept, and sent at the next visit', kept == 1 and left and
              again[-1]['name'] == 'Ann' and stub.body(again[-1]['n']).startswith('# Kelvora 3D recording'), again)
        check('no console errors with the score table', [e for e in browser.errors if '503' not in e] == [],
              browser.errors[:5])
    finally:
        browser.close()


def check_phone_layout(page, check, portrait):
    """The panel below the picture and its controls in portrait, tucked away in landscape."""
    r = page.eval(f"""(() => {{ const r = {RECT};
        return {{layout: kvScores.layout(), pic: r(canvas), panel: r({PANEL}),
                 controls: [...document.querySelectorAll('#kv-touch .kv-control.shown')].map(r),
                 size: [innerWidth, innerHeight]}}; }})()""")
    if portrait:
        ok = r['layout'] == 'below' and r['panel'][1] >= r['pic'][3] and r['panel'][3] <= r['size'][1] + 0.5 and \
            r['panel'][3] - r['panel'][1] >= 200 and not any(overlaps(c, r['panel']) for c in r['controls'])
        check('portrait phone: the table below the picture and its controls, on screen', ok, r)
    else:
        check('landscape phone: the table tucked away, the picture as before', r['layout'] == 'tucked', r)


def replays_natively(replay, text, work):
    """Replays a posted recording in the native harness as the server does
    (the frames it names, the values it started from) and compares the state
    with the one it recorded: the names of the values that differ, or the
    harness's error."""
    head = dict(re.findall(r'^# (clock|best_score|mode3d|frames) (-?\d+)$', text, re.M))
    final = dict(kv.split('=') for kv in re.search(r'^# final (.*)$', text, re.M).group(1).split())
    dirs = os.path.join(work, 'data')
    os.makedirs(dirs, exist_ok=True)
    for f in os.listdir(os.path.join(SRC, 'data')):
        if f.endswith('.ogg'):
            shutil.copy(os.path.join(SRC, 'data', f), dirs)
    for f, v in (('hiscore.dat', head['best_score']), ('anaglyph3d.dat', head['mode3d'])):
        open(os.path.join(dirs, f), 'wb').write(int(v).to_bytes(4, 'little', signed=True))
    script, state = os.path.join(work, 'run.txt'), os.path.join(work, 'state.json')
    open(script, 'w').write(text)
    env = dict(os.environ, SDL_AUDIODRIVER='dummy',
               LSAN_OPTIONS=f'suppressions={SRC}/tests/lsan.supp:print_suppressions=0')
    r = subprocess.run([replay, '--driver', 'record', '--frames', head['frames'], '--script', script,
                        '--clock', head['clock'], '--dir', work, '--state', state], env=env, capture_output=True,
                       text=True, start_new_session=True, timeout=600)
    if r.returncode != 0:
        return f'the harness failed ({r.returncode}): {r.stderr[-400:]}'
    got = json.load(open(state))
    return [k for k, v in final.items() if k not in ('sound_step', 'music_step') and
            float(got.get(k, 'nan')) != float(v)]
