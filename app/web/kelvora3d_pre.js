// Runs inside kelvora3d.js before the program starts: the two saved values
// between the page's file system and the browser's storage, and what the
// program tells the page.
(function() {
  var SAVES = '/saves';
  var FILES = ['hiscore.dat', 'anaglyph3d.dat'];
  var BEST = 'hiscore.dat';
  var KEY = 'kelvora3d/';
  // The largest best a game can make, from the program as it starts: a
  // stored value outside 0..limit is no record.
  var bestLimit = -1;
  // From the program's start to its end: its file system and functions are there.
  var running = false;

  // Storage that is off (blocked by the browser's settings: null, or a
  // throw) or full is said to the player once, by the page.
  var storageOff = false;
  function off(why) {
    if (storageOff) return;
    storageOff = true;
    console.warn('Kelvora 3D: the browser\'s storage keeps nothing (' + why + ')');
    if (Module.kvPageNote) Module.kvPageNote('storage', 'Storage is off or full: the best score and 3D mode will not be kept.');
  }
  function storage() {
    var s = null;
    try { s = window.localStorage; } catch (e) { off(e); }
    if (!s) off('no storage');
    return s;
  }
  function read(s, name) {
    try { return s.getItem(KEY + name) || ''; } catch (e) { off(e); return ''; }
  }
  function toHex(bytes) {
    return Array.prototype.map.call(bytes, function(b) { return (b + 256).toString(16).slice(1); }).join('');
  }
  function fromHex(text) {
    if (!/^([0-9a-f]{2})*$/.test(text)) return null;
    var out = new Uint8Array(text.length / 2);
    for (var i = 0; i < out.length; i++) out[i] = parseInt(text.substr(2 * i, 2), 16);
    return out;
  }
  // The files' format: a little-endian 32-bit integer.
  function toBytes(value) {
    return new Uint8Array([value & 255, value >> 8 & 255, value >> 16 & 255, value >>> 24]);
  }
  // The best score the bytes hold, or null when they hold none (missing,
  // short, out of range), as the game reads its file.
  function bestOf(bytes) {
    if (!bytes || bytes.length < 4) return null;
    var value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24;
    return value >= 0 && value <= bestLimit ? value : null;
  }
  function storedBest(s) {
    return bestOf(fromHex(read(s, BEST)));
  }
  function fileBest() {
    try { return bestOf(FS.readFile(SAVES + '/' + BEST)); } catch (e) { return null; }
  }

  // A best another tab stored that beats this game's file goes into the
  // file, and the game takes it (its own larger best, if any, stays). Its
  // session's recording cannot hold that: while the game's runs go to a
  // score table (app/web/scores.js), a game under way keeps its own best,
  // and the stored one comes at the next start. One taken anyway (before a
  // name was set) leaves the session's runs unsent.
  function takeBest(value) {
    if (!running || value === null) return;
    var own = fileBest();
    if (own !== null && own >= value) return;
    var playing = !!Module.kvGame;
    if (playing && Module.kvSendsRuns && Module.kvSendsRuns()) return;
    try {
      FS.writeFile(SAVES + '/' + BEST, toBytes(value));
      if (Module._kv_web_take_stored_best() && playing) Module.kvSessionAltered = true;
    } catch (e) {
      // (The program may have stopped with an error.)
      console.warn('Kelvora 3D: could not take the stored best score: ' + e);
    }
  }

  Module.preRun = Module.preRun || [];
  Module.preRun.push(function() {
    FS.mkdir(SAVES);
    var s = storage();
    if (!s) return;
    FILES.forEach(function(name) {
      var bytes = fromHex(read(s, name));
      if (bytes && bytes.length) FS.writeFile(SAVES + '/' + name, bytes);
    });
  });

  Module.kvStarted = function(limit) {
    bestLimit = limit;
    running = true;
    // What another tab stored since the files were filled.
    var s = storage();
    if (s) takeBest(storedBest(s));
  };

  // The game has just written a value to its file: into storage too. Tabs
  // share storage, so a best score never replaces a larger one (which this
  // game then takes); the 3D mode is written only when the player chose it.
  Module.kvValueSaved = function(file, value) {
    var s = storage();
    if (!s) return;
    if (file === BEST) {
      var stored = storedBest(s);
      if (stored !== null && stored >= value) {
        takeBest(stored);
        return;
      }
    }
    try {
      s.setItem(KEY + file, toHex(toBytes(value)));
    } catch (e) {
      off(e);  // full
    }
  };

  // Another tab stored a best score.
  window.addEventListener('storage', function(e) {
    var s = storage();
    if (s && e.storageArea === s && e.key === KEY + BEST) takeBest(bestOf(fromHex(e.newValue || '')));
  });

  // The game's state each frame, for the tests; the page counts the frame.
  Module.kvGame = null;
  Module.kvFrame = function(game) {
    Module.kvGame = game;
    if (Module.kvPageFrame) Module.kvPageFrame();
  };
  // A game has ended: the session's recording so far (bytes) and its score.
  Module.kvGameEnded = function(recording, score) {
    if (Module.kvOnGameEnd) Module.kvOnGameEnd(recording, score);
  };
  Module.kvEnded = function(status) {
    running = false;
    Module.kvGame = null;
    if (Module.kvPageEnded) Module.kvPageEnded(status);
  };
})();
