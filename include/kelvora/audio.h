/// @file
/// Sound: samples, sounds, channels and the audio driver.
#pragma once

#include "kelvora/audio/audio.h"
