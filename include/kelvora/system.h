/// @file
/// The system: events, polled keyboard, mouse and pads, the clock, random
/// numbers.
#pragma once

#include "kelvora/system/app_title.h"
#include "kelvora/system/clock.h"
#include "kelvora/system/event.h"
#include "kelvora/system/hook.h"
#include "kelvora/system/input.h"
#include "kelvora/system/joystick.h"
#include "kelvora/system/keys.h"
#include "kelvora/system/random.h"
#include "kelvora/system/session_end.h"
#include "kelvora/system/system_driver.h"
