// The whole engine. A game includes this header, calls Init, and brings the
// names in with `using namespace kelvora;` if it likes them unqualified.
#pragma once

#include "kelvora/audio.h"
#include "kelvora/engine.h"
#include "kelvora/io.h"
#include "kelvora/render.h"
#include "kelvora/system.h"
