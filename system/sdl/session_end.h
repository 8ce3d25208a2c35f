// How the SDL driver learns that the session ends, per system: a hang-up
// (SIGHUP, a closed terminal) on POSIX systems, the session-end messages on
// Windows. Both end the game as a close does; Windows, which may end the
// process as soon as its message is answered, also runs SessionEndHook
// from inside the message.
#pragma once

namespace kelvora {

// Starts listening; once per process, from the main thread. A hang-up that
// the program was told to ignore (nohup) stays ignored.
void WatchSessionEnd();
// The session asked the program to end since the last call.
bool TakeSessionEnd();

}  // namespace kelvora
