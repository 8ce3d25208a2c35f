// Runs inside kelvora3d.js before the program starts: the two saved values
// between the page's file system and the browser's storage, and what the
// program tells the page.
(function() {
  var SAVES = '/saves';
  var FILES = ['hiscore.dat', 'anaglyph3d.dat'];
  var KEY = 'kelvora3d/';

  function storage() {
    try { return window.localStorage; } catch (e) { return null; }  // blocked by the browser's settings
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

  Module.preRun = Module.preRun || [];
  Module.preRun.push(function() {
    FS.mkdir(SAVES);
    var s = storage();
    if (!s) return;
    FILES.forEach(function(name) {
      var bytes = fromHex(s.getItem(KEY + name) || '');
      if (bytes && bytes.length) FS.writeFile(SAVES + '/' + name, bytes);
    });
  });

  // The files the game has just written go to the browser's storage. A file
  // the game could not write keeps what storage has.
  Module.kvStoreValues = function(folder) {
    var s = storage();
    if (!s) return;
    FILES.forEach(function(name) {
      try {
        s.setItem(KEY + name, toHex(FS.readFile(folder + '/' + name)));
      } catch (e) {
        console.warn('Kelvora 3D: could not keep ' + name + ': ' + e);
      }
    });
  };

  Module.kvGame = null;
  Module.kvFrame = function(game) {
    Module.kvGame = game;
    // Frame 1 has been presented: the page's first picture, from navigation start.
    if (game.frame === 2 && !Module.firstPictureMs) Module.firstPictureMs = performance.now();
    if (Module.onGameFrame) Module.onGameFrame(game);
  };
  Module.kvEnded = function(status) {
    Module.kvGame = null;
    if (Module.onGameEnded) Module.onGameEnded(status);
  };
})();
