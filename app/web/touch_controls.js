// On-screen controls for touch screens: a steering pad, Fire and Pause. They
// sit beside the picture where the screen leaves room for them (the side
// bars in landscape, the space below it in portrait), and over the picture's
// bottom corners, translucent, where it leaves none. They press the game's
// own keys through the program (kv_web_touch_key, app/web/web_touch.cpp),
// so the game takes them as it takes the keyboard: the arrows steer while
// held, Left Control fires once a press, Space pauses and resumes. Taps on
// the picture itself still work the menus (SDL makes them mouse clicks).
// Shown on touch screens only: where the main pointer is coarse, or from
// the first touch on.
(function() {
  'use strict';
  var stage = document.getElementById('stage');
  var canvas = document.getElementById('canvas');
  if (!stage || !canvas || window.kvTouchControls) return;

  var LEFT = 37, UP = 38, RIGHT = 39, DOWN = 40, FIRE = 162, SPACE = 32;
  var KEYS = [LEFT, UP, RIGHT, DOWN, FIRE, SPACE];
  // A new finger on these is a new press even while another holds them (a
  // shot each; the game counts presses, not time held).
  var PRESS_KEYS = [FIRE, SPACE];
  var PLAY = 2, PAUSE = 3, RESULTS = 5;
  // Smallest target a thumb hits reliably, in CSS pixels, and the room kept
  // between the controls and the screen's edges.
  var MIN_TARGET = 48, MARGIN = 12;
  // The smallest steering pad worth having beside the picture; with less
  // room than this the controls go over it.
  var MIN_PAD = 104;

  var style = document.createElement('style');
  style.textContent = [
    '#kv-touch { position: absolute; inset: 0; pointer-events: none; z-index: 5; display: none;',
    '  -webkit-user-select: none; user-select: none; -webkit-touch-callout: none; }',
    '#kv-touch.on { display: block; }',
    '#kv-touch .kv-control { position: absolute; box-sizing: border-box; border-radius: 50%; pointer-events: auto;',
    '  touch-action: none; -webkit-tap-highlight-color: transparent; visibility: hidden;',
    '  border: 2px solid rgba(190, 200, 255, 0.55); background: rgba(30, 40, 80, 0.45); color: #dde;',
    '  display: flex; align-items: center; justify-content: center; font: bold 16px sans-serif; }',
    '#kv-touch .kv-control.shown { visibility: visible; }',
    '#kv-touch.over .kv-control { opacity: 0.45; }',
    '#kv-touch .kv-control.held { background: rgba(110, 150, 255, 0.6); }',
    '#kv-touch .kv-fire { background: rgba(140, 40, 40, 0.5); border-color: rgba(255, 170, 150, 0.6); }',
    '#kv-touch .kv-fire.held { background: rgba(255, 90, 70, 0.7); }',
    '#kv-touch .kv-pause { font-size: 22px; }',
    '#kv-touch svg { width: 100%; height: 100%; }',
    '#kv-touch .kv-pad path { fill: rgba(200, 210, 255, 0.6); }',
    '#kv-touch .kv-pad.l .kv-l, #kv-touch .kv-pad.r .kv-r, #kv-touch .kv-pad.u .kv-u, #kv-touch .kv-pad.d .kv-d',
    '  { fill: #fff; }',
  ].join('\n');
  document.head.appendChild(style);

  var root = document.createElement('div');
  root.id = 'kv-touch';
  function control(cls, html, label) {
    var el = document.createElement('div');
    el.className = 'kv-control ' + cls;
    el.innerHTML = html;
    el.setAttribute('aria-label', label);
    root.appendChild(el);
    return {el: el, x: 0, y: 0, r: 0, states: []};
  }
  var arrow = 'M0,-44 L-12,-28 L12,-28 Z';
  var pad = control('kv-pad', '<svg viewBox="-50 -50 100 100">' +
      ['u', 'r', 'd', 'l'].map(function(d, i) {
        return '<path class="kv-' + d + '" d="' + arrow + '" transform="rotate(' + 90 * i + ')"/>';
      }).join('') + '</svg>', 'Steer');
  var fire = control('kv-fire', 'FIRE', 'Fire');
  var pause = control('kv-pause', '', 'Pause');
  pad.states = [PLAY];
  fire.states = [PLAY, RESULTS];
  pause.states = [PLAY, PAUSE];
  var controls = [pad, fire, pause];
  stage.appendChild(root);

  // The keys each control gives at a point, or null when the point is off
  // it. The control a finger is on keeps it a little beyond its edge, so a
  // thumb resting on the rim does not flicker.
  function keysOn(c, x, y, holding) {
    if (!c.el.classList.contains('shown')) return null;
    var dx = x - c.x, dy = y - c.y;
    var reach = holding ? Math.max(c.r * 1.25, c.r + 16) : c.r;
    if (dx * dx + dy * dy > reach * reach) return null;
    if (c === fire) return [FIRE];
    if (c === pause) return [SPACE];
    // Eight ways: a direction counts within 67.5 degrees of its axis; the
    // middle of the pad is a dead zone.
    var keys = [], dead = c.r * 0.22, slope = 2.414;
    if (Math.abs(dx) > dead && Math.abs(dy) <= Math.abs(dx) * slope) keys.push(dx < 0 ? LEFT : RIGHT);
    if (Math.abs(dy) > dead && Math.abs(dx) <= Math.abs(dy) * slope) keys.push(dy < 0 ? UP : DOWN);
    return keys;
  }

  // Fingers on the controls by identifier: the control each is on, the
  // keys it holds and where it is (in the stage's pixels). Only fingers that came down on a control are here; the
  // others belong to the picture.
  var fingers = {};
  // What the game has been told is held.
  var held = {};

  function send(key, down) {
    var M = window.Module;
    // Only while the program runs: before it starts and after it ends
    // there is nothing to tell.
    if (!M || !M.kvGame || typeof M._kv_web_touch_key !== 'function') return;
    try { M._kv_web_touch_key(key, down ? 1 : 0); } catch (e) { console.warn('Kelvora 3D: touch key: ' + e); }
  }

  function place(id, x, y, first) {
    var before = fingers[id], on = null, keys = null;
    // Where it came down (first) or the control it is on first, then the rest.
    var order = controls.slice();
    var mine = first || (before && before.on);
    if (mine) order.unshift(mine);
    for (var i = 0; i < order.length && !keys; i++) {
      keys = keysOn(order[i], x, y, order[i] === mine);
      if (keys) on = order[i];
    }
    fingers[id] = {on: on, keys: keys || [], x: x, y: y};
    var had = before ? before.keys : [];
    (keys || []).forEach(function(k) {
      if (PRESS_KEYS.indexOf(k) >= 0 && had.indexOf(k) < 0 && held[k]) {
        held[k] = false;
        send(k, false);
      }
    });
  }

  function sync() {
    var want = {};
    Object.keys(fingers).forEach(function(id) { fingers[id].keys.forEach(function(k) { want[k] = true; }); });
    KEYS.forEach(function(k) {
      if (!want[k] !== !held[k]) {
        held[k] = !!want[k];
        send(k, held[k]);
      }
    });
    pad.el.classList.toggle('l', !!held[LEFT]);
    pad.el.classList.toggle('r', !!held[RIGHT]);
    pad.el.classList.toggle('u', !!held[UP]);
    pad.el.classList.toggle('d', !!held[DOWN]);
    fire.el.classList.toggle('held', !!held[FIRE]);
    pause.el.classList.toggle('held', !!held[SPACE]);
  }

  function releaseAll() {
    fingers = {};
    sync();
  }

  function controlOf(el) {
    for (var i = 0; i < controls.length; i++) if (controls[i].el.contains(el)) return controls[i];
    return null;
  }

  root.addEventListener('touchstart', function(e) {
    // No mouse events made of it, no focus taken from the canvas, no zoom.
    e.preventDefault();
    var s = stage.getBoundingClientRect();
    for (var i = 0; i < e.changedTouches.length; i++) {
      var t = e.changedTouches[i];
      place(t.identifier, t.clientX - s.left, t.clientY - s.top, controlOf(t.target));
    }
    sync();
  }, {passive: false});
  root.addEventListener('touchmove', function(e) {
    e.preventDefault();
    var s = stage.getBoundingClientRect();
    for (var i = 0; i < e.changedTouches.length; i++) {
      var t = e.changedTouches[i];
      if (fingers[t.identifier]) place(t.identifier, t.clientX - s.left, t.clientY - s.top, null);
    }
    sync();
  }, {passive: false});
  function lifted(e) {
    for (var i = 0; i < e.changedTouches.length; i++) delete fingers[e.changedTouches[i].identifier];
    sync();
  }
  root.addEventListener('touchend', lifted);
  root.addEventListener('touchcancel', lifted);
  root.addEventListener('contextmenu', function(e) { e.preventDefault(); });
  // With the focus gone no touch ends here: nothing stays held.
  window.addEventListener('blur', releaseAll);
  window.addEventListener('pagehide', releaseAll);
  document.addEventListener('visibilitychange', function() { if (document.hidden) releaseAll(); });

  // Positions the controls: c's centre and diameter in the stage's pixels.
  function put(c, x, y, size) {
    c.x = x; c.y = y; c.r = size / 2;
    var s = c.el.style;
    s.left = x - size / 2 + 'px';
    s.top = y - size / 2 + 'px';
    s.width = s.height = size + 'px';
  }
  function clamp(v, lo, hi) { return Math.max(lo, Math.min(hi, v)); }

  function layout() {
    var W = stage.clientWidth, H = stage.clientHeight;
    var s = stage.getBoundingClientRect(), p = canvas.getBoundingClientRect();
    var l = p.left - s.left, t = p.top - s.top, r = p.right - s.left, b = p.bottom - s.top;
    var side = Math.min(l, W - r), below = H - b;
    var m = MARGIN, padD, fireD, pauseD = MIN_TARGET + 4, y;
    var mode = side - 2 * m >= MIN_PAD ? 'side' : below - 2 * m >= MIN_PAD ? 'below' : 'over';
    if (mode === 'side') {
      // Landscape: steering in the left bar, Fire in the right one, both low
      // where the thumbs rest; Pause above Fire, out of its way and below
      // the page's full-screen button in the top corner.
      padD = Math.min(side - 2 * m, 180, H / 2);
      fireD = clamp(side - 2 * m, MIN_TARGET, 120);
      y = H - m - Math.max(padD, fireD) / 2 - H * 0.08;
      put(pad, l / 2, y, padD);
      put(fire, W - side / 2, y, fireD);
      var fs = document.getElementById('fullscreen'), top = m;
      var fb = fs && fs.getBoundingClientRect();
      if (fb && fb.height && fb.right > W - side) top = Math.max(top, fb.bottom - s.top + m);
      put(pause, W - side / 2, Math.max(top + pauseD / 2, (top + y - fireD / 2) / 2), pauseD);
    } else if (mode === 'below') {
      // Portrait: the band below the picture, steering left, Fire right,
      // Pause in the middle just under the picture.
      padD = clamp(Math.min(W * 0.42, below - 2 * m), MIN_PAD, 180);
      fireD = clamp(padD * 0.72, MIN_TARGET + 16, 124);
      y = clamp(b + below * 0.55, b + m + padD / 2, H - m - padD / 2);
      put(pad, m + padD / 2, y, padD);
      put(fire, W - m - padD / 2, y, fireD);
      put(pause, W / 2, b + m + pauseD / 2, pauseD);
    } else {
      // No room beside the picture: over its bottom corners, Pause above Fire.
      padD = clamp(Math.min(r - l, b - t) * 0.36, MIN_PAD - 8, 160);
      fireD = clamp(padD * 0.7, MIN_TARGET + 8, 110);
      put(pad, l + m + padD / 2, b - m - padD / 2, padD);
      put(fire, r - m - fireD / 2, b - m - fireD / 2, fireD);
      put(pause, r - m - fireD / 2, b - 2 * m - fireD - pauseD / 2, pauseD);
    }
    root.classList.toggle('over', mode === 'over');
    root.dataset.layout = mode;
  }

  // What the game shows decides which controls are there: none on the
  // title (its menu is tapped on the picture), Fire on the results.
  var state = null;
  function showFor(newState) {
    state = newState;
    controls.forEach(function(c) { c.el.classList.toggle('shown', c.states.indexOf(state) >= 0); });
    pause.el.textContent = state === PAUSE ? '\u25B6' : '\u275A\u275A';
    pause.el.setAttribute('aria-label', state === PAUSE ? 'Resume' : 'Pause');
    // A finger on a control that went away lets go of its keys.
    Object.keys(fingers).forEach(function(id) {
      var f = fingers[id];
      place(id, f.x, f.y, null);
    });
    sync();
  }

  var active = false, laidOut = false;
  function frame() {
    if (!active) return;
    if (!laidOut) { layout(); laidOut = true; }
    var g = window.Module && window.Module.kvGame;
    var now = g ? g.state : null;
    if (now !== state) showFor(now);
    requestAnimationFrame(frame);
  }
  function relayout() { laidOut = false; }
  window.addEventListener('resize', relayout);
  window.addEventListener('orientationchange', relayout);
  document.addEventListener('fullscreenchange', relayout);
  if (window.ResizeObserver) new ResizeObserver(relayout).observe(canvas);

  function activate() {
    if (active) return;
    active = true;
    root.classList.add('on');
    laidOut = false;
    requestAnimationFrame(frame);
  }
  var coarse = window.matchMedia && window.matchMedia('(pointer: coarse)');
  if (coarse && coarse.matches) activate();
  if (coarse && coarse.addEventListener) coarse.addEventListener('change', function() { if (coarse.matches) activate(); });
  window.addEventListener('touchstart', activate, {capture: true, passive: true});

  window.kvTouchControls = {layout: function() { return root.dataset.layout; }};
})();
