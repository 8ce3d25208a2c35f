/// @file
/// The whole engine. A game includes this header, calls Init, and brings the
/// names in with `using namespace kelvora;` if it likes them unqualified.
///
/// Threads: call the engine from the main thread, the one that called Init;
/// the few exceptions say so. The engine runs threads of its own for the
/// sound output and for decoding long sounds, and hides them.
///
/// Ownership: images, fonts, sounds, channels, pixmaps and streams are
/// std::shared_ptr objects. Keep them as long as you like, in globals too;
/// the engine keeps its own reference only where a call says it does (a
/// playing sound, the current font). Loaders, stream factories and drivers
/// are linked by address and live for the whole run.
///
/// Errors: what a player can cause (a missing or damaged file, no display, no
/// sound card) gives null, 0 or false; Graphics also says why in
/// LastGraphicsError. TRuntimeException, and the stream errors derived from
/// it, is thrown only where a call says so: failed reads and writes of a
/// stream, impossible sizes, misuse.
#pragma once

#include "kelvora/audio.h"
#include "kelvora/engine.h"
#include "kelvora/io.h"
#include "kelvora/render.h"
#include "kelvora/system.h"
#include "kelvora/version.h"
