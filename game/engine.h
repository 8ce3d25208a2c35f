// The engine's module functions as the game uses them, in one place, so the
// game's files need not know how the engine splits its headers.
#pragma once

#include "io/filesystem.h"
#include "io/stream.h"
#include "render/graphics.h"
#include "render/image.h"
#include "render/image_font.h"
#include "render/rast2d.h"
#include "audio/audio.h"
#include "system/app_title.h"
#include "system/clock.h"
#include "system/input.h"
#include "system/joystick.h"
#include "system/random.h"
#include "system/system_driver.h"

#include "render/collision.h"
