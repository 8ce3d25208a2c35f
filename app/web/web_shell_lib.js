// The C side's call into the page (app/web/web_shell.cpp).
mergeInto(LibraryManager.library, {
  // SDL's audio resumes the page's audio context through these two, which
  // emcc's own SDL port would otherwise bring in.
  kv_page_frame__deps: ['$autoResumeAudioContext', '$dynCall'],
  kv_page_frame: function() {
    Module.kvPageFrame();
  },
});
