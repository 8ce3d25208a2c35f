"""The page played by touch alone on a phone: the logo skipped and a game
started by taps on the picture, steering and fire at once on the on-screen
controls, no key left held by a finger that slides off or is cancelled,
Pause, the controls beside the picture in portrait and landscape, and a whole
game (about 16,000 frames: the aliens come on a timer) to its results, where
Fire goes back to the title."""
import os, sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cdp import Browser  # noqa: E402
from scores_checks import check_phone_layout  # noqa: E402

PLAY, PAUSE, TITLE, RESULTS = 2, 3, 4, 5
G = 'Module.kvGame'


def phone(page, w, h):
    page.send('Emulation.setDeviceMetricsOverride', {'width': w, 'height': h, 'deviceScaleFactor': 3, 'mobile': True,
                                                     'screenOrientation': {'type': 'portraitPrimary', 'angle': 0}
                                                     if h > w else {'type': 'landscapePrimary', 'angle': 90}})


class Fingers:
    """Touch points on the screen by id: a start or move lists all that are down, an end the one lifted."""
    def __init__(self, page):
        self.page, self.down = page, {}

    def send(self, kind, points=None):
        self.page.send('Input.dispatchTouchEvent', {'type': kind, 'touchPoints': [
            {'x': x, 'y': y, 'id': i, 'radiusX': 8, 'radiusY': 8} for i, (x, y) in (points or self.down).items()]})

    def put(self, i, x, y):
        kind = 'touchMove' if i in self.down else 'touchStart'
        self.down[i] = (x, y)
        self.send(kind)

    def lift(self, i):
        self.send('touchEnd', {i: self.down.pop(i)})


def run_touch_play(url, check, shots_dir=None, to_results=True, name=None, panel=False, at_results=None):
    """check(name, ok, detail) takes each result; shots_dir, if given, the screenshots. The whole game
    to its results is about 16,700 frames (4.6 minutes at 60 a second); to_results=False leaves it out.
    name, if given, is typed in on the phone's keyboard (the page reaching a score server); panel checks
    the score panel beside the picture in both layouts. at_results(page, game), if given, is called as
    the results show, before Fire takes the game back to the title. Returns the game's values at its
    results (None without them)."""
    browser = Browser(size=(390, 844))
    try:
        page = browser.open('about:blank')
        phone(page, 390, 844)
        page.send('Emulation.setTouchEmulationEnabled', {'enabled': True, 'maxTouchPoints': 5})
        page.navigate(url)
        f = Fingers(page)

        def at(sel, dx=0.0):
            """The middle of a control, moved dx of its radius sideways."""
            r = page.eval(f"(b => [b.x, b.y, b.width])(document.querySelector('#kv-touch .kv-{sel}').getBoundingClientRect())")
            return r[0] + r[2] / 2 * (1 + dx), r[1] + r[2] / 2

        def picture(x, y):
            """Where a point of the game's 640x480 picture is on the screen."""
            r = page.eval('(b => [b.x, b.y, b.width / 640])(canvas.getBoundingClientRect())')
            return r[0] + x * r[2], r[1] + y * r[2]

        def tap_picture(x, y):
            f.put(9, *picture(x, y))
            f.lift(9)

        def until(cond, what, frames=600):
            """Waits for cond on the game, within `frames` of its frames (its own time, however busy the machine)."""
            start = page.eval(f'{G}.frame')
            page.wait_for(f'({cond}) || {G}.frame > {start + frames}', frames / 10 + 30, what)
            return page.eval(f'({cond}) && {G}')

        def shot(name):
            if shots_dir:
                page.screenshot(os.path.join(shots_dir, name))

        def placed(what):
            """The controls beside the picture, once the page has laid them out for its new size (the
            picture may settle a frame after the window: the controls follow it)."""
            rects = """(() => { const r = e => (b => [b.left, b.top, b.right, b.bottom])(e.getBoundingClientRect());
                return {pic: r(canvas), shown: [...document.querySelectorAll('#kv-touch .kv-control.shown')].map(r),
                        size: [innerWidth, innerHeight]}; })()"""
            beside = f"""(r => r.shown.length === 3 && r.shown.every(c =>
                (c[2] <= r.pic[0] || c[0] >= r.pic[2] || c[3] <= r.pic[1] || c[1] >= r.pic[3]) && c[0] >= 0 &&
                c[1] >= 0 && c[2] <= r.size[0] && c[3] <= r.size[1] && c[2] - c[0] >= 48))({rects})"""
            try:
                ok = page.wait_for(beside, 10, f'the controls beside the picture ({what})')
            except AssertionError:
                ok = False
            check(f'{what}: the three controls, at least 48 px, beside the picture on screen', ok, page.eval(rects))

        page.wait_for(f'{G} && {G}.frame > 1', 60, 'the first picture')
        tap_picture(320, 240)
        check('a tap skips the logo', until(f'{G}.state === {TITLE}', 'the title', 900))
        if name:
            # The name, typed on the phone's keyboard, Enter (its Go) to keep it.
            x, y = page.eval("(b => [b.x + b.width / 2, b.y + b.height / 2])(document.getElementById('kv-name')"
                             ".getBoundingClientRect())")
            f.put(8, x, y)
            f.lift(8)
            page.wait_for("document.activeElement.id === 'kv-name'", 10, 'the name field focused by a tap')
            page.send('Input.insertText', {'text': name})
            page.key(13, True)
            page.key(13, False)
            check('a name typed on the phone is kept', page.wait_for(
                f"localStorage.getItem('kelvora3d/name') === {name!r}", 10, 'the name kept'))
        shot('portrait-title.png')
        tap_picture(320, 245)
        check('a tap on the first row starts a game', until(f'{G}.state === {PLAY}', 'play'))
        placed('portrait')
        if panel:
            check_phone_layout(page, check, True)

        # Steering and fire at once: one shot a press, however long it is held.
        f.put(1, *at('pad', -0.7))
        check('the pad steers left', until(f'{G}.steer === 1', 'steering left'))
        shots = page.eval(f'{G}.shots')
        f.put(2, *at('fire'))
        g = until(f'{G}.shots === {shots + 1} && {G}.frame > {page.eval(G + ".frame") + 30}', 'a shot, held 30 frames')
        check('Fire with a steering finger down: one shot, steering on', g and g['steer'] == 1 and
              page.eval(f'{G}.shots') == shots + 1, g)
        shot('portrait-play.png')
        f.lift(2)
        f.put(2, *at('fire'))
        check('a second press fires again', until(f'{G}.shots === {shots + 2}', 'a second shot'))
        f.lift(2)
        f.put(1, *picture(320, 240))
        check('a finger sliding off the pad onto the picture lets go', until(f'{G}.steer === 0', 'steering to stop'))
        f.lift(1)
        f.put(1, *at('pad', 0.7))
        until(f'{G}.steer === -1', 'steering right')
        f.down.clear()
        f.send('touchCancel')
        check('a cancelled touch lets go', until(f'{G}.steer === 0', 'steering to stop'))

        f.put(3, *at('pause'))
        f.lift(3)
        check('Pause pauses', until(f'{G}.state === {PAUSE}', 'the pause menu'))
        f.put(3, *at('pause'))
        f.lift(3)
        check('and resumes', until(f'{G}.state === {PLAY}', 'play again'))

        phone(page, 844, 390)
        page.wait_for("kvTouchControls.layout() === 'side'", 10, 'the landscape layout')
        placed('landscape')
        if panel:
            check_phone_layout(page, check, False)
        f.put(1, *at('pad', 0.7))
        check('landscape: the pad steers', until(f'{G}.steer === -1', 'steering right'))
        shot('landscape-play.png')
        f.lift(1)
        until(f'{G}.steer === 0', 'steering to stop')
        if not to_results:
            return None
        g = until(f'{G}.state === {RESULTS}', 'the end of the game', 20000)
        check('the game ends in its results', g, page.eval(G))
        if not g:
            return None
        if at_results:
            at_results(page, g)
        # Fire counts once the results have shown 250 frames.
        until(f'{G}.frame > {g["frame"] + 260}', 'the results to wait for Fire')
        shot('landscape-results.png')
        f.put(2, *at('fire'))
        f.lift(2)
        check('Fire on the results goes to the title', until(f'{G}.state === {TITLE}', 'the title'))
        check('no console errors', not browser.errors, browser.errors[:5])
        return g
    finally:
        browser.close()
