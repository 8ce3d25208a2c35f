#include "audio/output_device.h"
#include "audio/sdl/sdlaudiodevice.h"

namespace kelvora {

std::unique_ptr<softmix::audiodevice> MakeSoundCardDevice() { return std::make_unique<softmix::sdldevice>(); }

}  // namespace kelvora
