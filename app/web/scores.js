// The score table beside the game's picture: the player's name, the best
// scores of the table's server, and each game the page plays sent there to
// be verified. At each game's end the program hands over the recording of
// the session so far (app/web/web_main.cpp); with a name set it is posted
// to <server>/api/runs in the background, kept in the browser's storage
// until the server has it (retried later, also at the next visit), and the
// verdict is shown under the table. Everything the server sends is shown as
// text, never as HTML.
//
// The server: the page's own origin, or the one the build names
// (KV_WEB_SCORES_URL, filled in below), which must then allow this page's
// origin (its --allow-origin). Without a server the table says it is
// unavailable and the game plays on.
(function() {
  'use strict';
  var M = window.Module;
  if (window.kvScores || !M) return;
  var SERVER = '@KV_WEB_SCORES_URL@';
  var API = (SERVER || location.origin).replace(/\/+$/, '') + '/api/';

  var KEY = 'kelvora3d/';
  var NAME_MAX = 20;
  var TOP = 10;
  // The runs not yet sent: one per session (a later recording of a session
  // holds its earlier games too), at most this many, this many characters
  // in all, and this old; a run the server never takes is given up after
  // this many tries.
  var OUTBOX_RUNS = 8, OUTBOX_CHARS = 3000000, OUTBOX_DAYS = 14, MAX_TRIES = 12;
  // Seconds between the verdict's polls.
  var POLLS = [1, 2, 3, 5, 8, 13, 20, 30, 45, 60];
  // Room the panel takes beside the picture, or below it at least; touch
  // screens keep room for the on-screen controls too (touch_controls.js).
  // Beside it, the picture may lose at most SIDE_LOSS of its height.
  var SIDE_W = 360, SIDE_LOSS = 0.15, BELOW_MIN = 210, BELOW_MAX = 420, TOUCH_SIDE = 2 * 130, TOUCH_BAND = 200;

  // --- Storage (off or full is survived: kept for this visit only) -------
  var memory = {};
  function storage() {
    try { return window.localStorage || null; } catch (e) { return null; }
  }
  function read(name) {
    var s = storage();
    try { if (s) return s.getItem(KEY + name) || ''; } catch (e) {}
    return memory[name] || '';
  }
  function write(name, value) {
    memory[name] = value;
    var s = storage();
    try {
      if (s) s.setItem(KEY + name, value);
      return true;
    } catch (e) {
      return false;
    }
  }
  function hex(bytes) {
    return Array.prototype.map.call(bytes, function(b) { return (b + 256).toString(16).slice(1); }).join('');
  }
  function randomHex(n) {
    var b = new Uint8Array(n);
    crypto.getRandomValues(b);
    return hex(b);
  }
  // The browser's secret that proves to the server that a name is this
  // player's: 32 random bytes, made once and kept beside the saved values.
  function secret() {
    var s = read('secret');
    if (!/^[0-9a-f]{64}$/.test(s)) {
      s = randomHex(32);
      write('secret', s);
    }
    return s;
  }
  // This visit's session (each visit records a session of its own).
  var SESSION = randomHex(8);

  // --- The name ----------------------------------------------------------
  // 1..20 characters after trimming, none a control character; null when
  // the text is no name.
  function cleanName(text) {
    var t = String(text).trim();
    if (!t || /[\u0000-\u001f\u007f-\u009f\u2028\u2029]/.test(t)) return null;
    return Array.from(t).length <= NAME_MAX ? t : null;
  }
  function name() { return cleanName(read('name')); }

  // --- The panel ---------------------------------------------------------
  var style = document.createElement('style');
  style.textContent = [
    '#kv-scores { position: fixed; box-sizing: border-box; z-index: 6; background: #0b0c16; color: #dde;',
    '  font: 14px/1.35 sans-serif; padding: 10px 12px; overflow: auto; display: none; }',
    '#kv-scores h2 { font-size: 16px; margin: 0 0 8px; font-weight: bold; }',
    '#kv-scores label { display: block; font-size: 13px; color: #aab; }',
    '#kv-name { box-sizing: border-box; width: 100%; margin: 2px 0 2px; padding: 4px 6px; font-size: 15px;',
    '  background: #1a1c2c; color: #eef; border: 1px solid #556; border-radius: 3px; }',
    '#kv-name:focus { outline: 2px solid #7ae; }',
    '#kv-name-note, #kv-table-note { font-size: 12px; color: #99a; min-height: 1.2em; }',
    '#kv-name-note.bad { color: #f99; }',
    '#kv-scores table { width: 100%; border-collapse: collapse; margin-top: 8px; table-layout: fixed; font-size: 13px; }',
    '#kv-scores th, #kv-scores td { padding: 2px 3px; text-align: left; white-space: nowrap; overflow: hidden;',
    '  text-overflow: ellipsis; }',
    '#kv-scores th { font-size: 12px; color: #99a; font-weight: normal; border-bottom: 1px solid #334; }',
    '#kv-scores .n { text-align: right; }',
    '#kv-scores col.rank { width: 1.9em; } #kv-scores col.score { width: 4.8em; } #kv-scores col.date { width: 6.6em; }',
    '#kv-scores col.system { width: 5.3em; }',
    '#kv-status { margin-top: 8px; font-size: 13px; color: #cce; overflow-wrap: anywhere; }',
    '#kv-close, #kv-open { background: #223; color: #dde; border: 1px solid #556; cursor: pointer; font-size: 14px; }',
    '#kv-close { float: right; display: none; padding: 0 8px; }',
    '#kv-open { position: fixed; left: 10px; top: 10px; z-index: 6; padding: 4px 10px; opacity: 0.6; display: none; }',
    '#kv-open:hover, #kv-open:focus-visible { opacity: 1; }',
    '#kv-open.idle { opacity: 0; pointer-events: none; transition: opacity 0.5s; }',
    'body.kv-side #kv-scores { display: block; top: 0; right: 0; bottom: 0; width: ' + SIDE_W + 'px;',
    '  border-left: 1px solid #223; }',
    'body.kv-side #stage { right: ' + SIDE_W + 'px; }',
    'body.kv-below #kv-scores { display: block; left: 0; right: 0; bottom: 0; border-top: 1px solid #223; }',
    // The picture at the top, the band under it whole for the on-screen controls.
    'body.kv-below #stage { align-items: flex-start; }',
    'body.kv-tucked #kv-open { display: block; }',
    'body.kv-tucked.kv-open #kv-open { display: none; }',
    'body.kv-tucked.kv-open #kv-scores { display: block; top: 0; right: 0; bottom: 0; width: min(' + SIDE_W +
        'px, 100%); background: #0b0c16ee; }',
    'body.kv-tucked #kv-close { display: block; }',
  ].join('\n');
  document.head.appendChild(style);

  function el(tag, attrs, text) {
    var e = document.createElement(tag);
    Object.keys(attrs || {}).forEach(function(k) { e.setAttribute(k, attrs[k]); });
    if (text !== undefined) e.textContent = text;
    return e;
  }
  var panel = el('aside', {id: 'kv-scores', 'aria-label': 'Score table'});
  var close = el('button', {id: 'kv-close', title: 'Close', 'aria-label': 'Close the score table'}, '\u00d7');
  var heading = el('h2', {}, 'Best scores');
  var label = el('label', {'for': 'kv-name'}, 'Your name in the table');
  var input = el('input', {id: 'kv-name', type: 'text', maxlength: String(2 * NAME_MAX), autocomplete: 'nickname',
                           spellcheck: 'false', placeholder: 'Name (1 to 20 characters)'});
  var nameNote = el('div', {id: 'kv-name-note'});
  var table = el('table');
  ['rank', 'name', 'score', 'date', 'system'].forEach(function(c) { table.appendChild(el('col', {'class': c})); });
  var head = el('tr');
  [['#', 'n'], ['Name', ''], ['Score', 'n'], ['Date', ''], ['System', '']].forEach(function(h) {
    head.appendChild(el('th', h[1] ? {'class': h[1], scope: 'col'} : {scope: 'col'}, h[0]));
  });
  table.appendChild(el('thead')).appendChild(head);
  var rows = table.appendChild(el('tbody', {id: 'kv-rows'}));
  var tableNote = el('div', {id: 'kv-table-note'}, 'Loading the table...');
  var status = el('div', {id: 'kv-status', role: 'status'});
  [close, heading, label, input, nameNote, table, tableNote, status].forEach(function(e) { panel.appendChild(e); });
  var open = el('button', {id: 'kv-open', title: 'Best scores and your name'}, 'Scores');
  document.body.appendChild(panel);
  document.body.appendChild(open);

  var canvas = document.getElementById('canvas');
  function backToGame() { if (canvas) canvas.focus(); }
  open.addEventListener('click', function() {
    document.body.classList.add('kv-open');
    input.focus();
  });
  close.addEventListener('click', function() {
    document.body.classList.remove('kv-open');
    backToGame();
  });

  // Beside the picture where the window leaves it room, below it on a
  // narrow screen; where neither leaves room the panel opens over the
  // picture from a button, which fades while the pointer rests (as the
  // full-screen button does).
  function touch() {
    var stage = document.getElementById('stage');
    return !!(stage && stage.classList.contains('touch'));
  }
  function layout() {
    var W = window.innerWidth, H = window.innerHeight, b = document.body.classList;
    var side = (W - SIDE_W - (touch() ? TOUCH_SIDE : 0)) * 3 / 4 >= H * (1 - SIDE_LOSS);
    var below = H - W * 3 / 4 - (touch() ? TOUCH_BAND : 0);
    var mode = side ? 'side' : below >= BELOW_MIN ? 'below' : 'tucked';
    ['side', 'below', 'tucked'].forEach(function(m) { b.toggle('kv-' + m, m === mode); });
    panel.style.height = mode === 'below' ? Math.min(below, BELOW_MAX) + 'px' : '';
    var stage = document.getElementById('stage');
    if (stage) stage.style.bottom = mode === 'below' ? Math.min(below, BELOW_MAX) + 'px' : '';
    if (mode !== 'tucked') b.remove('kv-open');
  }
  // (Captured: before the page fits the picture to what the panel leaves.)
  window.addEventListener('resize', layout, true);
  layout();
  // A touch screen found from the first touch needs the room of its controls.
  if (window.MutationObserver && document.getElementById('stage'))
    new MutationObserver(layout).observe(document.getElementById('stage'), {attributes: true, attributeFilter: ['class']});
  var idle = null;
  function wake() {
    open.classList.remove('idle');
    clearTimeout(idle);
    if (!touch()) idle = setTimeout(function() { open.classList.add('idle'); }, 2500);
  }
  window.addEventListener('pointermove', wake);
  window.addEventListener('pointerdown', wake);
  wake();

  // --- The name field: its keys are the field's, never the game's --------
  // (The game takes keys on the canvas only; Enter and Escape here give the
  // canvas the keys back.)
  function showName() {
    var t = input.value, n = cleanName(t);
    nameNote.classList.toggle('bad', !!t.trim() && !n);
    nameNote.textContent = !t.trim() ? 'Enter a name to send your games to the table.'
        : n ? 'Your games go to the table under this name.'
        : /[\u0000-\u001f\u007f-\u009f\u2028\u2029]/.test(t) ? 'A name cannot hold control characters.'
        : 'A name has at most ' + NAME_MAX + ' characters.';
    return n;
  }
  input.value = read('name');
  showName();
  // Kept once the player is done with it (Enter, or the field left).
  function takeName() {
    var n = showName();
    if (!input.value.trim()) write('name', '');
    else if (n) write('name', input.value = n);
    else return;
    // A game of this visit that ended before the name came: its run goes now.
    if (n && lastRun && !lastRun.queued) {
      lastRun.queued = true;
      queue(lastRun.text, n);
    }
  }
  input.addEventListener('input', showName);
  input.addEventListener('change', takeName);
  input.addEventListener('keydown', function(e) {
    if (e.key === 'Enter' || e.key === 'Escape') {
      if (e.key === 'Escape') input.value = read('name');
      takeName();
      input.blur();
      document.body.classList.remove('kv-open');
      backToGame();
      e.preventDefault();
    }
  });
  // Another tab's name.
  window.addEventListener('storage', function(e) {
    if (e.key === KEY + 'name' && document.activeElement !== input) {
      input.value = e.newValue || '';
      showName();
    }
  });

  // --- The server --------------------------------------------------------
  function say(text) { status.textContent = text; }
  function shortId(id) { return id.slice(0, 6) + '\u2026'; }
  // The answer's JSON, or null (none, or not JSON).
  function json(r) { return r.text().then(function(t) { try { return JSON.parse(t); } catch (e) { return null; } }); }
  function get(path) {
    return fetch(API + path, {cache: 'no-store', credentials: 'omit'}).then(function(r) {
      if (!r.ok) throw new Error('the server answered ' + r.status);
      return json(r);
    });
  }
  function text(v, max) { return typeof v === 'string' ? v.slice(0, max) : ''; }
  function whole(v) { return typeof v === 'number' && isFinite(v) ? Math.round(v) : null; }

  var lastTable = 0;
  function refreshTable() {
    lastTable = Date.now();
    return get('scores?top=' + TOP).then(function(answer) {
      var list = answer && Array.isArray(answer.scores) ? answer.scores : null;
      if (!list) throw new Error('the answer is no table');
      while (rows.firstChild) rows.removeChild(rows.firstChild);
      list.slice(0, TOP).forEach(function(s, i) {
        if (!s || typeof s !== 'object') return;
        var tr = el('tr');
        var rank = whole(s.rank), score = whole(s.score), date = text(s.date, 40);
        tr.appendChild(el('td', {'class': 'n'}, String(rank !== null ? rank : i + 1)));
        tr.appendChild(el('td', {title: text(s.name, 200)}, text(s.name, 200)));
        tr.appendChild(el('td', {'class': 'n'}, score !== null ? String(score) : ''));
        tr.appendChild(el('td', {title: date}, /^\d{4}-\d\d-\d\d/.test(date) ? date.slice(0, 10) : date));
        tr.appendChild(el('td', {}, text(s.system, 20)));
        rows.appendChild(tr);
      });
      tableNote.textContent = rows.firstChild ? '' : 'No verified scores yet.';
    }).catch(function(e) {
      tableNote.textContent = 'The score table is unavailable.';
      console.warn('Kelvora 3D: the score table: ' + (e && e.message || e));
    });
  }
  // Back to a tab after a while: the table may have changed.
  document.addEventListener('visibilitychange', function() {
    if (!document.hidden && Date.now() - lastTable > 60000) refreshTable();
  });

  // --- Runs: the outbox and the sending -----------------------------------
  function outbox() {
    try {
      var list = JSON.parse(read('outbox') || '[]');
      return Array.isArray(list) ? list.filter(function(r) {
        return r && typeof r.text === 'string' && typeof r.name === 'string' && typeof r.session === 'string';
      }) : [];
    } catch (e) {
      return [];
    }
  }
  // Kept within its bounds, the oldest going first; when storage will not
  // take it, with fewer runs until it does.
  function keep(list) {
    var old = Date.now() - OUTBOX_DAYS * 86400000;
    list = list.filter(function(r) { return r.added > old && r.tries < MAX_TRIES; });
    var chars = 0;
    list = list.slice(-OUTBOX_RUNS).reverse().filter(function(r) {
      chars += r.text.length;
      return chars <= OUTBOX_CHARS;
    }).reverse();
    while (!write('outbox', JSON.stringify(list)) && list.length > 1) list.shift();
    return list;
  }
  function queue(text, who) {
    var list = outbox().filter(function(r) { return r.session !== SESSION; });
    list.push({session: SESSION, name: who, text: text, added: Date.now(), tries: 0, next: 0});
    keep(list);
    say('Sending your run...');
    send();
  }
  function drop(entry) {
    keep(outbox().filter(function(r) { return !(r.session === entry.session && r.text === entry.text); }));
  }
  function later(entry, seconds) {
    keep(outbox().map(function(r) {
      if (r.session !== entry.session || r.text !== entry.text) return r;
      r.tries++;
      r.next = Date.now() + 1000 * (seconds || Math.min(30 * Math.pow(2, r.tries - 1), 900));
      return r;
    }));
  }

  var sending = false, timer = null;
  function send() {
    if (sending) return;
    clearTimeout(timer);
    var now = Date.now(), list = outbox(), entry = null, next = Infinity;
    list.forEach(function(r) {
      if (r.next <= now && !entry) entry = r;
      else next = Math.min(next, r.next);
    });
    if (!entry) {
      if (next < Infinity) timer = setTimeout(send, Math.max(1000, next - now));
      return;
    }
    sending = true;
    var headers = {'Content-Type': 'text/plain; charset=utf-8', 'X-Kelvora-Secret': secret()};
    fetch(API + 'runs?name=' + encodeURIComponent(entry.name), {method: 'POST', headers: headers, body: entry.text,
                                                                 credentials: 'omit'})
      .then(function(r) {
        return json(r).then(function(answer) {
          answer = answer || {};
          if ((r.status === 200 || r.status === 202) && /^[0-9a-f]{64}$/.test(answer.id)) {
            drop(entry);
            say('Sent: run ' + shortId(answer.id) + ', waiting for its verification...');
            verdict(answer.id, 0);
          } else if (r.status === 422) {
            drop(entry);
            say('Not accepted: ' + (text(answer.reason, 200) || 'the server refused the run') + '.');
          } else if (r.status === 400 || r.status === 403 || r.status === 413) {
            drop(entry);
            say('Not sent: ' + (text(answer.error, 200) || 'the server refused it (' + r.status + ')') + '.');
          } else {
            var wait = r.status === 429 ? parseInt(r.headers.get('Retry-After'), 10) || 60 : 0;
            later(entry, wait);
            say('Not sent yet: the server answered ' + r.status + '; trying again later.');
          }
        });
      }, function() {
        later(entry, 0);
        say('Not sent yet: the score table\'s server did not answer; trying again later.');
      })
      .catch(function(e) { console.warn('Kelvora 3D: sending a run: ' + e); })
      .then(function() {
        sending = false;
        send();
      });
  }
  window.addEventListener('online', send);

  function verdict(id, n) {
    setTimeout(function() {
      get('runs/' + id).then(function(run) {
        var st = run && run.status;
        if (st === 'verified') {
          var scores = Array.isArray(run.scores) ? run.scores.map(whole).filter(function(s) { return s !== null; }) : [];
          say('Sent: run ' + shortId(id) + ', verified' + (scores.length ? ' with ' + scores.join(', ') : '') + '.');
          refreshTable();
        } else if (st === 'rejected') {
          say('Sent: run ' + shortId(id) + ', rejected: ' + (text(run.reason, 200) || 'no reason given') + '.');
        } else if (n + 1 < POLLS.length) {
          verdict(id, n + 1);
        } else {
          say('Sent: run ' + shortId(id) + ', not verified yet: the table shows it once it is.');
        }
      }).catch(function() {
        if (n + 1 < POLLS.length) verdict(id, n + 1);
        else say('Sent: run ' + shortId(id) + '; its verdict did not come.');
      });
    }, POLLS[n] * 1000);
  }

  // --- A game has ended (app/web/web_main.cpp through kelvora3d_pre.js) ---
  var lastRun = null;
  var decoder = new TextDecoder();
  M.kvOnGameEnd = function(bytes, score) {
    // Out of the program's frame: it goes on at once.
    var run = {text: decoder.decode(bytes), score: score};
    setTimeout(function() {
      if (M.kvSessionAltered) {
        say('Not sent: another tab\'s best score came into this game during the session, which its ' +
            'recording cannot show. Reload the page to send runs again.');
        return;
      }
      lastRun = run;
      var who = name();
      run.queued = !!who;
      if (who) queue(run.text, who);
      else say('Your score: ' + score + '. Enter a name above to send it to the table.');
    }, 0);
  };
  // While runs go to the table, the game keeps its own best score for the
  // session (kelvora3d_pre.js): another tab's comes at the next start.
  M.kvSendsRuns = function() { return !!name(); };

  window.kvScores = {api: API, layout: function() {
    var b = document.body.classList;
    return b.contains('kv-side') ? 'side' : b.contains('kv-below') ? 'below' : 'tucked';
  }};
  refreshTable();
  // A new visit is the later a failed send waited for: what is kept goes now.
  keep(outbox().map(function(r) { r.next = 0; return r; }));
  send();
})();
