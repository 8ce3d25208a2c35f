// The sound card output of this platform, for the "SoftMix" drivers.
#pragma once

#include <memory>

#include "audio/audiodevice.h"

std::unique_ptr<softmix::audiodevice> MakeSoundCardDevice();
