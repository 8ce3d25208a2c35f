"""Headless Chromium driven over the DevTools protocol on a pipe (no packages
beyond Python's own): pages, script evaluation, input events, screenshots,
and the console's errors."""
import base64, ctypes, json, os, re, shutil, signal, subprocess, tempfile, time

PR_SET_PDEATHSIG = 1


class Browser:
    def __init__(self, size=(640, 480), extra_args=(), quiet_urls=None):
        """quiet_urls: a regular expression of URLs whose failed loads are
        expected (logged, not counted as errors)."""
        self.size = size
        self.quiet_urls = re.compile(quiet_urls) if quiet_urls else None
        self.profile = tempfile.mkdtemp(prefix='kv-chromium-')
        to_r, self._to_w = os.pipe()       # chromium reads commands on fd 3
        self._from_r, from_w = os.pipe()   # and writes replies on fd 4

        def child_fds():
            # Out of the way first, so the two dup2s cannot clobber each other.
            r, w = os.dup(to_r) + 100, os.dup(from_w) + 100
            os.dup2(to_r, r); os.dup2(from_w, w); os.dup2(r, 3); os.dup2(w, 4)
            # The browser goes with this script, however it ends (its own
            # processes follow it).
            ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)

        args = ['chromium', '--headless=new', '--no-sandbox', '--remote-debugging-pipe',
                '--enable-unsafe-swiftshader', '--use-angle=swiftshader',
                '--autoplay-policy=no-user-gesture-required', f'--user-data-dir={self.profile}',
                f'--window-size={size[0]},{size[1]}', '--no-first-run', '--no-default-browser-check',
                '--disable-background-timer-throttling', '--disable-renderer-backgrounding', *extra_args,
                'about:blank']
        # In a process group of its own, killed whole when it closes.
        self.proc = subprocess.Popen(args, preexec_fn=child_fds, close_fds=False, start_new_session=True,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_r); os.close(from_w)
        self._w = os.fdopen(self._to_w, 'wb', buffering=0)
        self._r = os.fdopen(self._from_r, 'rb', buffering=0)
        self._buf = b''
        self._id = 0
        self.console = []   # (level, text) of every console message and exception
        self.errors = []    # the ones that are errors

    def cpu_seconds(self):
        """CPU time used so far by the browser and all its processes."""
        pids, total = [self.proc.pid], 0
        while pids:
            pid = pids.pop()
            try:
                stat = open(f'/proc/{pid}/stat').read().rsplit(')', 1)[1].split()
                total += int(stat[11]) + int(stat[12])
                for task in os.listdir(f'/proc/{pid}/task'):
                    pids += [int(c) for c in open(f'/proc/{pid}/task/{task}/children').read().split()]
            except OSError:
                pass
        return total / os.sysconf('SC_CLK_TCK')

    def wait_idle(self, timeout=15, window=0.5, busy=0.05):
        """Waits until the browser's own start-up is over: its processes
        together use less than `busy` of a core over `window` seconds."""
        end, last = time.time() + timeout, self.cpu_seconds()
        while time.time() < end:
            time.sleep(window)
            now = self.cpu_seconds()
            if now - last < busy * window:
                return True
            last = now
        return False

    def close(self):
        try:
            self.send('Browser.close')
        except Exception:
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            pass
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def _read(self):
        while b'\0' not in self._buf:
            chunk = self._r.read(1 << 20)
            if not chunk:
                raise RuntimeError('chromium closed the DevTools pipe')
            self._buf += chunk
        raw, self._buf = self._buf.split(b'\0', 1)
        return json.loads(raw)

    def _event(self, m):
        method, p = m.get('method'), m.get('params', {})
        if method == 'Runtime.consoleAPICalled':
            text = ' '.join(str(a.get('value', a.get('description', ''))) for a in p['args'])
            self.console.append((p['type'], text))
            if p['type'] in ('error', 'assert'):
                self.errors.append(text)
        elif method == 'Runtime.exceptionThrown':
            d = p['exceptionDetails']
            text = d.get('exception', {}).get('description') or d.get('text', '')
            self.console.append(('exception', text))
            self.errors.append(text)
        elif method == 'Log.entryAdded' and p['entry']['level'] == 'error':
            # (A page without an icon of its own, such as a bare image, has
            # the browser ask for /favicon.ico: not the page's error.)
            url = p['entry'].get('url', '')
            self.console.append(('log', p['entry']['text']))
            if not url.endswith('/favicon.ico') and not (self.quiet_urls and self.quiet_urls.search(url)):
                self.errors.append(p['entry']['text'])

    def send(self, method, params=None, session=None):
        self._id += 1
        msg = {'id': self._id, 'method': method, 'params': params or {}}
        if session:
            msg['sessionId'] = session
        self._w.write(json.dumps(msg).encode() + b'\0')
        while True:
            m = self._read()
            if m.get('id') == self._id:
                if 'error' in m:
                    raise RuntimeError(f'{method}: {m["error"]}')
                return m.get('result', {})
            self._event(m)

    def open(self, url):
        return Page(self, url)


class Page:
    def __init__(self, browser, url):
        self.b = browser
        self.target = browser.send('Target.createTarget', {'url': 'about:blank'})['targetId']
        self.s = browser.send('Target.attachToTarget', {'targetId': self.target, 'flatten': True})['sessionId']
        for m in ('Runtime.enable', 'Page.enable', 'Log.enable'):
            self.send(m)
        # The page's viewport exactly the browser's size (headless keeps room for its frame).
        w, h = browser.size
        self.send('Emulation.setDeviceMetricsOverride', {'width': w, 'height': h, 'deviceScaleFactor': 1,
                                                         'mobile': False})
        self.navigate(url)

    def send(self, method, params=None):
        return self.b.send(method, params, self.s)

    def navigate(self, url):
        self.send('Page.navigate', {'url': url})

    def front(self):
        """Makes this the visible tab (the one opened last is; the others are hidden)."""
        self.send('Page.bringToFront')

    def reload(self):
        """Reloads, and returns once the new document is there (not the old one, still showing)."""
        self.eval('window.kvOldDocument = true')
        self.send('Page.reload', {'ignoreCache': False})
        self.wait_for('!window.kvOldDocument', 30, 'the reloaded document')

    def close(self):
        self.b.send('Target.closeTarget', {'targetId': self.target})

    def eval(self, expression, await_promise=False):
        r = self.send('Runtime.evaluate', {'expression': expression, 'returnByValue': True,
                                           'awaitPromise': await_promise})
        if 'exceptionDetails' in r:
            raise RuntimeError(f'{expression[:60]}...: {r["exceptionDetails"]}')
        return r.get('result', {}).get('value')

    def wait_for(self, expression, timeout=30, what=None):
        """Polls until the expression is truthy; returns its value."""
        end = time.time() + timeout
        while time.time() < end:
            try:
                v = self.eval(expression)
            except RuntimeError:
                v = None
            if v:
                return v
            time.sleep(0.05)
        raise AssertionError(f'timed out after {timeout} s waiting for {what or expression}')

    # Keys as the game numbers them, with what the browser reports for them.
    KEYS = {32: (' ', 'Space', 32, 0), 27: ('Escape', 'Escape', 27, 0), 13: ('Enter', 'Enter', 13, 0),
            162: ('Control', 'ControlLeft', 17, 1), 37: ('ArrowLeft', 'ArrowLeft', 37, 0),
            39: ('ArrowRight', 'ArrowRight', 39, 0), 38: ('ArrowUp', 'ArrowUp', 38, 0),
            9: ('Tab', 'Tab', 9, 0), 116: ('F5', 'F5', 116, 0)}
    ALT = 1  # modifiers' bits

    def key(self, vk, down, modifiers=0):
        key, code, kc, location = self.KEYS[vk]
        p = {'type': 'keyDown' if down else 'keyUp', 'key': key, 'code': code, 'modifiers': modifiers,
             'windowsVirtualKeyCode': kc, 'nativeVirtualKeyCode': kc, 'location': location}
        if down and key == ' ':
            p['text'] = ' '
        self.send('Input.dispatchKeyEvent', p)

    def tap(self, vk, hold=0.1):
        self.key(vk, True); time.sleep(hold); self.key(vk, False)

    def move(self, x, y):
        self.send('Input.dispatchMouseEvent', {'type': 'mouseMoved', 'x': x, 'y': y})

    def click(self, x, y):
        for t in ('mouseMoved', 'mousePressed', 'mouseReleased'):
            self.send('Input.dispatchMouseEvent', {'type': t, 'x': x, 'y': y, 'button': 'left', 'clickCount': 1})
            time.sleep(0.05)

    def screenshot(self, path, clip=None):
        p = {'format': 'png'}
        if clip:
            p['clip'] = {**clip, 'scale': 1}
        open(path, 'wb').write(base64.b64decode(self.send('Page.captureScreenshot', p)['data']))
