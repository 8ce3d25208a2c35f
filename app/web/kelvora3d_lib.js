// The C side's calls into the page (app/web/web_main.cpp); the page's
// handlers are in kelvora3d_pre.js.
mergeInto(LibraryManager.library, {
  // SDL's audio resumes the page's audio context through these two, which
  // emcc's own SDL port would otherwise bring in.
  kv_web_frame__deps: ['$autoResumeAudioContext', '$dynCall'],
  kv_web_frame: function(frame, state, score, total, best, mode3d, shots, seed, steer) {
    Module.kvFrame({frame: frame, state: state, score: score, total: total, best: best, mode3d: mode3d,
                    shots: shots, seed: seed, steer: steer});
  },
  kv_web_started: function(bestLimit) {
    Module.kvStarted(bestLimit);
  },
  kv_web_value_saved: function(file, value) {
    Module.kvValueSaved(UTF8ToString(file), value);
  },
  // A game has ended: the session's recording up to then (its bytes,
  // copied out of the program's memory) and the game's final score.
  kv_web_game_ended: function(text, length, score) {
    Module.kvGameEnded(HEAPU8.slice(text, text + length), score);
  },
  kv_web_ended: function(status) {
    Module.kvEnded(status);
  },
});
