// The engine's module functions as the game uses them, in one place, so the
// game's files need not know how the engine splits its headers.
#pragma once

#include "io/stream.h"
#include "system/clock.h"
#include "system/random.h"
