#!/usr/bin/env python3
"""The game's page in a real headless Chromium, served on 127.0.0.1: its
files named after their content, start-up and title (against the desktop's
picture), a game started and played with keys, pause and resume, the saved
values across visits, a reload and two tabs, sound (resting in a hidden tab),
Escape on the title, a console without errors; files that fail or stall,
storage that is off or full, and the browser's own keys; frames on the
display's clock and a hidden tab (pacing_checks.py); a phone played by touch
(touch_play.py; the score server's stage plays it on to the results). The
page's score table without a server, and against a stand-in for one: the
table, the name, the panel on a phone, and the session so far posted and
replayed natively (scores_checks.py).
usage: browser_test.py WEB_DIR [--native-replay REPLAY [--max-differing PERCENT]] [--out DIR]"""
import argparse, hashlib, os, re, shutil, signal, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cdp import Browser  # noqa: E402
from pictures import read_png_rgb  # noqa: E402
from pacing_checks import check_pacing  # noqa: E402
from touch_play import run_touch_play  # noqa: E402
from scores_checks import Stub, check_no_server, check_table_and_name  # noqa: E402

STATE_PLAY, STATE_PAUSE, STATE_TITLE = 2, 3, 4
SRC = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))

ap = argparse.ArgumentParser()
ap.add_argument('web_dir')
ap.add_argument('--native-replay', help='the desktop replay tool: the title is compared with its ES driver\'s')
ap.add_argument('--max-differing', type=float, default=0.5,
                help='largest share of pixels (percent) that may differ from the reference by more than 8')
ap.add_argument('--out', default=tempfile.mkdtemp(prefix='kv-web-test-'))
a = ap.parse_args()
os.makedirs(a.out, exist_ok=True)

failures = []


def check(name, ok, detail=''):
    print(f'{"ok  " if ok else "FAIL"} {name}{": " + str(detail) if detail != "" else ""}', flush=True)
    if not ok:
        failures.append(name)


def differing_percent(a_png, b_png, threshold=8):
    """The share of pixels (percent) of b with a channel more than threshold
    away from the pixel at the same place in a; 100 when the sizes differ."""
    wa, ha, ra = read_png_rgb(a_png)
    wb, hb, rb = read_png_rgb(b_png)
    if (wa, ha) != (wb, hb):
        return 100.0
    far = sum(1 for y in range(ha) for x in range(3 * wa)
              if x % 3 == 0 and any(abs(ra[y][x + c] - rb[y][x + c]) > threshold for c in range(3)))
    return 100.0 * far / (wa * ha)


def native_title(replay, seed, frame, png):
    """The title as the desktop's ES driver draws it with the page's random
    seed (the moon's rocks come from it), at a frame where it has settled.
    Mesa draws it with softpipe, its reference rasteriser: the logo's texel
    rows meet on pixel centres (141 rows centred on row 130), and llvmpipe's
    interpolation drifts across such ties (the lower row down to screen row
    103, the upper one below), about 1.2 % of the picture, where softpipe, as
    the browser's SwiftShader, takes the same row throughout."""
    work = tempfile.mkdtemp(prefix='kv-web-ref-', dir=a.out)
    os.makedirs(os.path.join(work, 'data'))
    for f in os.listdir(os.path.join(SRC, 'data')):
        if f.endswith('.ogg'):
            shutil.copy(os.path.join(SRC, 'data', f), os.path.join(work, 'data'))
    open(os.path.join(work, 'script.txt'), 'w').close()
    env = dict(os.environ, SDL_AUDIODRIVER='dummy', GALLIUM_DRIVER='softpipe',
               LSAN_OPTIONS=f'suppressions={SRC}/tests/lsan.supp:print_suppressions=0')
    r = subprocess.run([os.path.join(SRC, 'scripts', 'with-xvfb.sh'), replay, '--driver', 'es', '--clock', str(seed),
                        '--frames', str(frame + 1), '--script', os.path.join(work, 'script.txt'), '--dir', work,
                        '--shot', f'{frame}:{png}'], env=env, capture_output=True, text=True)
    shutil.rmtree(work, ignore_errors=True)
    return r.returncode == 0 and os.path.isfile(png)


def to_title(page, what, skip=True):
    """Waits for the game to run, skips the start-up logo with Space, waits for the title menu."""
    page.wait_for(f'{game} && {game}.frame > 1', 60, f'the first picture ({what})')
    if skip:
        page.tap(32)
    page.wait_for(f'{game} && {game}.state === {STATE_TITLE}', 60 if skip else 180, f'the title menu ({what})')


def seed_storage(browser, url, items):
    """Puts values into the page's storage with the game not running (from a
    page of the same origin that is not the game: its icon)."""
    p = browser.open(url + next(f for f in files if f.endswith('.png')))
    p.wait_for('document.readyState === "complete"', 10)
    for k, v in items.items():
        p.eval(f'localStorage.setItem({k!r}, {v!r})')
    p.close()


# The page's files: each named after its content and referred to by
# index.html, none left from an earlier build.
files = sorted(os.listdir(a.web_dir))
index = open(os.path.join(a.web_dir, 'index.html')).read()
odd = [f for f in files if f not in ('index.html', 'licences.txt') and not (
    re.fullmatch(r'[a-z0-9_]+\.([0-9a-f]{8})\.(js|wasm|data|png)', f) and f'"{f}' in index and
    hashlib.sha256(open(os.path.join(a.web_dir, f), 'rb').read()).hexdigest()[:8] == f.split('.')[-2])]
check('the page\'s files are named after their content and all in use', not odd and len(files) >= 5, odd or files)
licences = open(os.path.join(a.web_dir, 'licences.txt')).read()
check('the page carries the licences of what its program links', all(
    f'======== {n} ========' in licences for n in ('SDL2', 'zlib', 'libpng', 'FreeType', 'libogg', 'libvorbis',
                                                  'emscripten-runtime')))
loaded = sum(os.path.getsize(os.path.join(a.web_dir, f)) for f in files if not f.endswith(('.html', '.png', '.txt')))

# A static host: no score server behind the page (its table's requests fail,
# as expected).
server = subprocess.Popen([sys.executable, os.path.join(SRC, 'scripts', 'serve-web.py'), '--port', '0',
                           '--dir', a.web_dir], stdout=subprocess.PIPE, text=True, start_new_session=True)
url = server.stdout.readline().strip()
browser = Browser(size=(640, 480), quiet_urls=r'/api/')
stub = None
game = 'Module.kvGame'
# Where the pointer rests for the title picture: where the game puts it on the
# desktop (a page cannot move the player's pointer).
TITLE_POINTER = (320, 250)
# A frame of the title well after the logo (about 330 frames) where nothing moves.
TITLE_FRAME = 480
HISCORE, MODE = 'kelvora3d/hiscore.dat', 'kelvora3d/anaglyph3d.dat'
try:
    # A first visit: storage is empty, so the values are the defaults. The
    # page opens once the browser's own start-up is over (the first picture
    # is the page's time, not the browser's).
    browser.wait_idle()
    t0 = time.time()
    page = browser.open(url)
    page.wait_for(f'{game} && {game}.frame > 1', 60, 'the first picture')
    first = page.eval('Module.firstPictureMs')
    print(f'first picture {first:.0f} ms after the page started loading (program started at '
          f'{page.eval("Module.kvInitMs"):.0f} ms)', flush=True)
    check('the page shows the game\'s first picture', first is not None and first > 0, first)
    check('the loading bar is gone, having counted every byte of the program\'s files',
          page.eval("getComputedStyle(loading).display === 'none'") and
          page.eval("[+bar.getAttribute('aria-valuenow'), +bar.getAttribute('aria-valuemax')]") == [loaded, loaded])
    fetched = page.eval("performance.getEntriesByType('resource').map(e => e.name).filter(n => !/\\/api\\//.test(n))"
                        ".map(n => n.split('/').pop())")
    check('the page fetches its own files only, by their hashed names', set(fetched) <= set(files), fetched)
    # The logo plays to its end (the title's backdrop is where it left the
    # moon), the pointer where the desktop reference has it (TITLE_POINTER).
    page.move(*TITLE_POINTER)
    to_title(page, 'first visit', skip=False)
    print(f'title menu {time.time() - t0:.1f} s after opening the page', flush=True)
    rect = page.eval('(r => [r.x, r.y, r.width, r.height])(canvas.getBoundingClientRect())')
    check('the canvas fills the 640x480 tab at 4:3', rect == [0, 0, 640, 480], rect)
    check('the canvas has the keyboard focus, no touch controls with a mouse', page.eval(
        "document.activeElement === canvas && getComputedStyle(document.getElementById('kv-touch')).display === 'none'"))
    g = page.eval(game)
    check('a first visit starts with no best score and 3D off', g['best'] == 0 and g['mode3d'] == 0, g)

    # The picture itself against the desktop's ES driver, once the title's
    # logo has settled (the full-screen button, which only shows while the
    # pointer moves, out of the way).
    page.wait_for(f'{game}.frame >= {TITLE_FRAME}', 60, 'the settled title')
    page.eval("document.getElementById('fullscreen').style.visibility = 'hidden'")
    shot = os.path.join(a.out, 'title.png')
    page.screenshot(shot, {'x': 0, 'y': 0, 'width': 640, 'height': 480})
    page.eval("document.getElementById('fullscreen').style.visibility = ''")
    if a.native_replay:
        ref = os.path.join(a.out, 'title-es.png')
        check('the desktop ES driver draws the title', native_title(a.native_replay, g['seed'], TITLE_FRAME, ref))
        off = differing_percent(shot, ref)
        check(f'the title is the desktop ES driver\'s (at most {a.max_differing} % of pixels off by more than 8)',
              off <= a.max_differing, f'{off:.3f} %')

    # Sound: the context runs (autoplay allowed here) and what SDL plays is not silence.
    check('the audio context runs', page.wait_for("Module.SDL2 && Module.SDL2.audioContext && "
                                                  "Module.SDL2.audioContext.state === 'running'", 10))
    peak = page.eval(open(os.path.join(os.path.dirname(__file__), 'capture_audio.js')).read(), await_promise=True)
    check('the title music is heard', peak is not None and peak > 0.01, peak)
    check('no sound hint once sound runs', page.eval("getComputedStyle(hint).display === 'none'"))

    # Frames on the display's clock, and a tab hidden on the title and in play.
    check_pacing(page, check)

    # The browser takes the WebGL context away (WEBGL_lose_context stands in
    # for a GPU reset) and gives it back: frames go on meanwhile without a
    # picture, and afterwards the title is drawn again, not a black canvas.
    gl = "Module.canvas.getContext('webgl2')"
    page.eval(f"window.kvLose = {gl}.getExtension('WEBGL_lose_context'); window.kvLose.loseContext(); true")
    lost = page.wait_for(f"{gl}.isContextLost() && {game}", 10, 'the context lost')
    during = page.wait_for(f"{game}.frame > {lost['frame'] + 30} && {game}", 30, 'frames while the context is lost')
    page.eval("window.kvLose.restoreContext(); true")
    back = page.wait_for(f"!{gl}.isContextLost() && {game}", 10, 'the context back')
    page.wait_for(f"{game}.frame > {back['frame'] + 30}", 30, 'frames after the context came back')
    page.eval("document.getElementById('fullscreen').style.visibility = 'hidden'")
    restored = os.path.join(a.out, 'title-restored.png')
    page.screenshot(restored, {'x': 0, 'y': 0, 'width': 640, 'height': 480})
    page.eval("document.getElementById('fullscreen').style.visibility = ''")
    # (The landscape scrolls and the counters change: the share of lit
    # pixels tells a title drawn with all its images from a black or bare one.)
    def lit(png):
        _, _, rows = read_png_rgb(png)
        return 100.0 * sum(1 for r in rows for x in range(0, len(r), 3) if max(r[x:x + 3]) > 24) / (640 * 480)
    before, after = lit(shot), lit(restored)
    check('a lost WebGL context: frames go on, and once it is back the title is drawn again',
          during['state'] == STATE_TITLE and before > 10 and after >= 0.9 * before,
          f'{after:.1f} % of pixels lit, {before:.1f} % before')

    # 3D mode: the menu's second row steps it; the choice goes to storage at once.
    page.click(320, 275)
    page.wait_for(f'{game}.mode3d === 1', 10, 'the 3D mode to change')
    check('a changed 3D mode is stored at once', page.wait_for(f"localStorage.getItem('{MODE}') === '01000000'", 5))

    # A game: the first row starts it; steady fire (Control) while steering
    # until the score moves (a hit scores, a shot that leaves the screen
    # costs 10 points of the total).
    page.click(320, 245)
    page.wait_for(f'{game}.state === {STATE_PLAY}', 10, 'play')
    end, steered = time.time() + 60, False
    page.key(37, True)
    while time.time() < end and (page.eval(f'{game}.total') == 0 or not steered):
        page.tap(162, 0.05)
        steered = steered or page.eval(f'{game}.steer') == 1
        time.sleep(0.1)
    # (Let go with Alt held: the game, which saw Left go down, sees it go up.)
    page.key(37, False, page.ALT)
    g = page.eval(game)
    check('Control fires and the score changes, Left steers and stops', g['shots'] > 0 and g['total'] != 0 and steered
          and page.wait_for(f'{game}.steer === 0', 10, 'Left let go'), g)

    page.tap(32)
    page.wait_for(f'{game}.state === {STATE_PAUSE}', 10, 'the pause menu')
    paused = page.eval(game)
    g = page.wait_for(f"{game}.frame > {paused['frame'] + 10} && {game}", 30, 'frames drawn while paused')
    check('the game stays paused and keeps drawing', g['state'] == STATE_PAUSE and g['frame'] > paused['frame']
          and g['score'] == paused['score'], g)
    page.tap(32)
    check('Space resumes', page.wait_for(f'{game}.state === {STATE_PLAY}', 10, 'play again'))
    check_no_server(page, check)
    page.close()

    # Two tabs of the game: A, open since before, has no best score and is
    # hidden once B opens. B stores a best of 1234 as its page stores what its
    # game writes: A shows it once visible again, and A's reload (its page
    # going away and coming back) keeps it.
    tab_a = browser.open(url)
    to_title(tab_a, 'tab A')
    tab_b = browser.open(url)
    to_title(tab_b, 'tab B')
    sound = "Module.SDL2.audioContext.state"
    check('tab A, hidden, starts with no best score and its sound rests',
          tab_a.eval(f"[{game}.best, document.visibilityState]") == [0, 'hidden'] and
          tab_a.wait_for(f"{sound} === 'suspended'", 10, 'tab A\'s sound to rest'))
    tab_b.eval(f"localStorage.setItem('{HISCORE}', 'd2040000')")
    tab_a.front()
    check('another tab\'s best score shows in tab A, and its sound runs again',
          tab_a.wait_for(f'{game}.best === 1234', 10, 'best 1234 in tab A') and
          tab_a.wait_for(f"{sound} === 'running'", 10, 'tab A\'s sound'))
    tab_a.reload()
    to_title(tab_a, 'tab A reloaded')
    check('tab A going away and back keeps the other tab\'s best score',
          tab_a.eval(f"[{game}.best, localStorage.getItem('{HISCORE}')]") == [1234, 'd2040000'])
    tab_a.close()
    # B's page keeps the larger best when its game writes a smaller one (as a
    # stale tab's would), and the game takes the stored one; a stored best out
    # of range is none.
    tab_b.front()
    tab_b.eval("Module.kvValueSaved('hiscore.dat', 1000)")
    check('a smaller best score does not replace the stored one, which the game takes',
          tab_b.eval(f"localStorage.getItem('{HISCORE}')") == 'd2040000' and
          tab_b.wait_for(f'{game}.best === 1234', 10, 'best 1234 in tab B'))
    tab_b.eval(f"localStorage.setItem('{HISCORE}', 'ffffff7f'); Module.kvValueSaved('hiscore.dat', 7)")
    check('a stored best out of range gives way', tab_b.eval(f"localStorage.getItem('{HISCORE}')") == '07000000')
    # Storage full: the page says so, once.
    NOTES = "[...notes.children].filter(n => n.id !== 'hint').map(n => n.textContent)"
    tab_b.eval("Storage.prototype.setItem = () => { throw new DOMException('full', 'QuotaExceededError'); };"
               "Module.kvValueSaved('anaglyph3d.dat', 1); Module.kvValueSaved('hiscore.dat', 2000)")
    notes = tab_b.eval(NOTES)
    check('storage full: a note says the values are not kept, once', len(notes) == 1 and 'will not be kept' in notes[0], notes)
    tab_b.close()

    # A best score an earlier visit left in storage: read at start, and
    # still there after a reload.
    seed_storage(browser, url, {HISCORE: 'd2040000'})
    page = browser.open('about:blank')
    # This visit has a pad (the browser here has none: the page's Gamepad API
    # is given one), plugged in at its end.
    page.send('Page.addScriptToEvaluateOnNewDocument',
              {'source': open(os.path.join(os.path.dirname(__file__), 'fake_pad.js')).read()})
    page.navigate(url)
    to_title(page, 'with a stored best score')
    g = page.eval(game)
    check('the best score is read from storage, the 3D mode chosen before is back',
          g['best'] == 1234 and g['mode3d'] == 1, g)
    page.reload()
    to_title(page, 'after a reload')
    g = page.eval(game)
    check('after a reload: best score and 3D mode are kept', g['best'] == 1234 and g['mode3d'] == 1, g)

    # Escape on the title ends the game, as on the desktop; the page says so
    # and a key starts it again.
    page.tap(27)
    page.wait_for("getComputedStyle(message).display === 'block'", 20, 'the ended message')
    page.wait_for("message.dataset.restart === 'armed'", 20, 'the page to listen for a key that restarts')
    check('Escape on the title: the page says the game ended', 'Thanks for playing' in page.eval('message.textContent'))
    check('Escape on the title: the values are in storage',
          page.eval(f"localStorage.getItem('{HISCORE}') + localStorage.getItem('{MODE}')") == 'd204000001000000')
    page.tap(13)
    to_title(page, 'playing again')
    check('a key after the end starts the game again', page.eval(f'{game}.best') == 1234)

    # A pad, through SDL's own browser joystick code and the game's layout:
    # on the title the left stick moves the pointer 6 pixels a frame, so 5
    # frames down take it from the first row to the second, whose entry A
    # chooses (3D mode), and back up to the first, where A starts a game.
    # In play, the stick held fully left with A steers and fires; X pauses
    # and resumes.
    def pad(control, frames):
        start = page.eval(f'{game}.frame')
        page.eval(f'kvPad.hold({control}, {frames})')
        page.wait_for(f'{game}.frame > {start + frames + 1}', 10, f'{frames} frames with {control}')

    page.move(320, 250)
    page.eval('kvPad.plug()')
    pad('{axis: 1, value: 1}', 5)
    pad('{button: 0}', 1)
    check('pad: the stick moves the menu pointer, A chooses the 3D mode',
          page.wait_for(f'{game}.mode3d === 2', 5, 'the 3D mode to change') and page.eval(f'{game}.state') == STATE_TITLE,
          page.eval(game))
    pad('{axis: 1, value: -1}', 5)
    pad('{button: 0}', 1)
    check('pad: A on the first row starts a game', page.wait_for(f'{game}.state === {STATE_PLAY}', 5, 'play'))
    shots = page.eval(f'{game}.shots')
    page.eval('kvPad.hold({axis: 0, value: -1}, 120); kvPad.hold({button: 0}, 120)')
    check('pad: the stick fully left steers, A fires',
          page.wait_for(f'{game}.steer === 1 && {game}.shots > {shots}', 30, 'pad steering and fire'))
    page.wait_for(f'{game}.steer === 0', 90, 'the stick let go (120 frames)')
    pad('{button: 2}', 1)
    paused = page.wait_for(f'{game}.state === {STATE_PAUSE}', 5, 'the pause menu')
    pad('{button: 2}', 1)
    check('pad: X pauses and resumes', paused and page.wait_for(f'{game}.state === {STATE_PLAY}', 5, 'play again'))
    page.close()

    check('no console errors', not browser.errors, browser.errors[:5])

    # Files that do not come: a blocked .wasm, a blocked .data, a .js that
    # stops arriving (held, with the page's bound at 1 s) each leave a message
    # with a Reload button, which starts the game once they come. This
    # visit's storage is off (a throw), and the page records its key events
    # before its own handlers do.
    page = browser.open('about:blank')
    page.send('Network.enable')
    page.send('Page.addScriptToEvaluateOnNewDocument', {'source': """
        Object.defineProperty(window, 'localStorage', {get() { throw new DOMException('no', 'SecurityError'); }});
        window.kvKeys = [];
        addEventListener('keydown', e => kvKeys.push(e), true);"""})
    bound = page.send('Page.addScriptToEvaluateOnNewDocument', {'source': 'window.kvStallSeconds = 1'})['identifier']

    def failed(what, then):
        """The message's text once it has a Reload button; then() readies the next load, which the button starts."""
        page.wait_for("!!message.querySelector('button')", 30, f'the Reload button ({what})')
        text = page.eval('message.textContent')
        then()
        page.eval('window.kvOldDocument = true')
        x, y = page.eval("(r => [r.x + r.width / 2, r.y + r.height / 2])(message.querySelector('button')"
                         ".getBoundingClientRect())")
        page.click(x, y)
        page.wait_for('!window.kvOldDocument', 30, f'the reloaded document ({what})')
        return text

    page.send('Network.setBlockedURLs', {'urls': ['*.wasm']})
    page.navigate(url)
    texts = [failed('a blocked .wasm', lambda: page.send('Network.setBlockedURLs', {'urls': ['*.data']})),
             failed('a blocked .data', lambda: (page.send('Network.setBlockedURLs', {'urls': []}),
                                                 page.send('Fetch.enable', {'patterns': [{'urlPattern': '*/kelvora3d.*.js'}]})))]
    errors = []  # (the count before the load that works)
    texts.append(failed('a .js held', lambda: (page.send('Fetch.disable'), errors.append(len(browser.errors)),
                                              page.send('Page.removeScriptToEvaluateOnNewDocument', {'identifier': bound}))))
    check('a blocked .wasm, a blocked .data, a stalled .js: each named, with a Reload button',
          re.search(r'kelvora3d\.\w+\.wasm did not arrive', texts[0]) and
          re.search(r'kelvora3d\.\w+\.data did not arrive', texts[1]) and
          re.search(r'kelvora3d\.\w+\.js stopped arriving', texts[2]), texts)
    to_title(page, 'storage off')
    page.click(320, 275)
    page.wait_for(f'{game}.mode3d === 1', 10, 'the 3D mode to change')
    notes = page.eval(NOTES)
    check('storage off: the game runs, a note says the values are not kept, once',
          len(notes) == 1 and 'will not be kept' in notes[0], notes)
    check('and no console errors once the files come', len(browser.errors) == errors[0], browser.errors[errors[0]:][:5])
    # The browser's keys reach the browser; the game's still go to the game
    # (SDL cancels them, as it does any key it takes); Tab leaves the canvas.
    prevented = []
    for vk in (116, 38, 9):
        page.key(vk, True); page.key(vk, False)
        prevented.append(page.eval('kvKeys.pop().defaultPrevented'))
    check('F5 and Tab go to the browser, Up to the game; Tab leaves the canvas',
          prevented == [False, True, False] and page.eval('document.activeElement !== canvas'),
          [prevented, page.eval('document.activeElement.id')])
    page.close()

    # The score table against a stand-in for its server (the page under
    # /play/, the API beside it); a phone that plays by touch alone, its
    # name and the panel beside the picture. (A whole game on the phone, to
    # its results, the run sent and verified, is the score server's stage's:
    # tests/scores/play_page.py.)
    stub = Stub(a.web_dir)
    check_table_and_name(stub, a.native_replay, check)
    run_touch_play(stub.url + 'play/', check, to_results=False, name='Phone Pilot', panel=True)

    # A browser without WebGL 2: the page says what is missing and the
    # program does not start.
    bare = Browser(size=(640, 480), extra_args=['--disable-3d-apis'])
    try:
        page = bare.open(url)
        page.wait_for("getComputedStyle(message).display === 'block'", 30, 'the WebGL 2 message')
        time.sleep(1)
        check('without WebGL 2 the page says so and the game does not start',
              'needs WebGL 2' in page.eval('message.textContent') and page.eval("typeof Module === 'undefined' || !Module.kvInitMs"))
    finally:
        bare.close()
finally:
    browser.close()
    if stub:
        stub.close()
    os.killpg(server.pid, signal.SIGTERM)
    server.wait()

print(f'browser test: {"FAILED: " + ", ".join(failures) if failures else "all passed"} (pictures in {a.out})')
sys.exit(1 if failures else 0)
