// The sound card output of this platform, for the "SoftMix" drivers.
#pragma once

#include <memory>

#include "audio/audiodevice.h"

namespace kelvora {

std::unique_ptr<softmix::audiodevice> MakeSoundCardDevice();

}  // namespace kelvora
