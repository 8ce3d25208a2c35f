// The harness reads the game's input script format (game/input_script.h).
#pragma once

#include "game/input_script.h"
