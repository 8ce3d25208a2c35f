"""The page's frames on the browser's display clock, and a hidden tab that
pauses a game. check_pacing(page, check) takes a cdp.py page at the title
(the visible tab) and leaves it at the title; check(name, ok, detail)
records each result."""
GAME = 'Module.kvGame'
STATE_PLAY, STATE_PAUSE, STATE_TITLE = 2, 3, 4

# A display of a third of the browser's rate: requestAnimationFrame's
# callbacks wait for every third refresh, where they all run together (ids
# far from the browser's own, which the page may still cancel afterwards).
# Counts those refreshes, and logs each frame the game publishes with the
# tab's visibility then: 'before' a hide, 'hidden', or 'shown' again.
WATCH = '''(() => {
  const raf = window.requestAnimationFrame.bind(window), cancel = window.cancelAnimationFrame.bind(window);
  const publish = Module.kvFrame;
  const w = window.kvPacing = {refreshes: 0, frames: [], hidden: false, queue: new Map(), id: 1e9, n: 0};
  const tick = () => {
    if (w.stopped) return;
    if (++w.n % 3 === 0) {
      w.refreshes++;
      const q = w.queue; w.queue = new Map();
      for (const cb of q.values()) cb(performance.now());
    }
    raf(tick);
  };
  raf(tick);
  window.requestAnimationFrame = cb => { w.queue.set(++w.id, cb); return w.id; };
  window.cancelAnimationFrame = id => { w.queue.delete(id) || cancel(id); };
  w.restore = () => {
    w.stopped = true;
    window.requestAnimationFrame = raf; window.cancelAnimationFrame = cancel;
    for (const cb of w.queue.values()) raf(cb);
  };
  document.addEventListener('visibilitychange', () => { if (document.hidden) w.hidden = true; });
  Module.kvFrame = g => {
    if (document.hidden) w.hidden = true;
    w.frames.push([g.frame, g.state, document.hidden ? 'hidden' : w.hidden ? 'shown' : 'before']);
    publish(g);
  };
  w.stop = () => { w.restore(); Module.kvFrame = publish; };
})()'''


def _hide_and_show(page):
    """Another tab to the front and back; returns the frames the game
    published from the hide on, once it has drawn a few with the tab shown."""
    page.eval('kvPacing.frames = []; kvPacing.hidden = false')
    other = page.b.open('about:blank')
    page.wait_for('document.hidden', 10, 'the tab hidden')
    other.close()
    page.front()
    page.wait_for("kvPacing.frames.filter(f => f[2] === 'shown').length >= 5", 20, 'frames with the tab shown again')
    return page.eval("kvPacing.frames.filter(f => f[2] !== 'before')")


def check_pacing(page, check):
    page.eval(WATCH)
    # A game frame waits for a display refresh of its own, so on a display
    # that cannot keep up (this one) the game slows down instead of making
    # frames the browser never shows: over any span it advances by no more
    # frames than the display refreshes. (From the second refresh on: the
    # game may still be waiting for the browser's own.)
    page.wait_for('kvPacing.refreshes >= 2', 10, 'the slow display')
    f0, r0 = page.eval(f'[{GAME}.frame, kvPacing.refreshes]')
    f1, r1 = page.wait_for(f'{GAME}.frame >= {f0 + 30} && [{GAME}.frame, kvPacing.refreshes]', 60, '30 game frames')
    check('on a slow display the title makes no more frames than it refreshes', f1 - f0 <= r1 - r0,
          f'{f1 - f0} game frames, {r1 - r0} refreshes')
    page.eval('kvPacing.restore()')

    # A hidden tab has no refreshes: the title waits where it is, and comes
    # back as it was.
    frames = _hide_and_show(page)
    check('a tab hidden on the title draws nothing hidden and comes back to the title',
          not any(f[2] == 'hidden' for f in frames) and all(f[1] == STATE_TITLE for f in frames), frames[:8])

    # Hidden during play, the game pauses: at most the one frame that pauses
    # it runs while hidden (when the browser says the tab is hidden before it
    # takes the focus away), and every frame from then on is the pause menu's.
    page.click(320, 245)
    page.wait_for(f'{GAME}.state === {STATE_PLAY}', 10, 'play')
    page.wait_for(f'kvPacing.frames.length && kvPacing.frames.at(-1)[1] === {STATE_PLAY}', 10, 'a frame of play')
    frames = _hide_and_show(page)
    check('a tab hidden during play shows the pause menu again, with no frame of play',
          sum(f[2] == 'hidden' for f in frames) <= 1 and all(f[1] == STATE_PAUSE for f in frames), frames[:8])

    # Back to the title (through the pause Escape gives if the game played on).
    if page.eval(f'{GAME}.state') == STATE_PLAY:
        page.tap(27)
        page.wait_for(f'{GAME}.state === {STATE_PAUSE}', 10, 'the pause menu')
    page.tap(27)
    page.wait_for(f'{GAME}.state === {STATE_TITLE}', 10, 'the title after the pause')
    page.eval('kvPacing.stop()')
