/// @file
/// The end of the player's session (a closed terminal, logging off, shutting
/// down): the program is asked to end, and on some systems it is ended
/// whatever it does as soon as it has answered.
#pragma once

namespace kelvora {

/// Hook chain run on the main thread while the system waits for the answer,
/// before the process may be ended: what must be kept is written from it.
/// Runs at most once per session end; the data is null.
int SessionEndHook();

}  // namespace kelvora
