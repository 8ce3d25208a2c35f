// The harness reads the game's input script format (app/input_script.h).
#pragma once

#include "app/input_script.h"

using namespace kelvora;

