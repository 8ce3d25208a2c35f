// The engine as the game uses it, in one place, with its names brought in
// unqualified as the game has always written them.
#pragma once

#include "kelvora/kelvora.h"

using namespace kelvora;
