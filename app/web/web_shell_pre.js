// Runs inside the program's .js before it starts (with web_shell.cpp): the
// page hears when main returns. A main that has waited in the browser's
// clock returns long after emscripten's own call of it, which then takes no
// note of its end (a main that never waited ends through onExit).
Module.postRun = Module.postRun || [];
Module.postRun.push(function() {
  if (typeof Asyncify === 'undefined' || !Asyncify.currData) return;
  Asyncify.whenDone().then(function(status) {
    if (Module.kvPageEnded) Module.kvPageEnded(status);
  });
});
