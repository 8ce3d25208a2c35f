// Losing the window system's connection: Xlib's own answer is to end the
// process from inside the call that noticed, and the exit handlers then wait
// for window events that never come. Instead the display-lost hooks run and
// the program ends at once.
#pragma once

namespace kelvora {

// Installs the watch once video runs on X11; elsewhere nothing to do.
void WatchForDisplayLoss();

}  // namespace kelvora
