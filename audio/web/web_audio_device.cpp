#include "audio/web/web_audio_device.h"

#include <SDL.h>

#include <cstring>

#include "audio/output_device.h"

namespace kelvora {

namespace softmix {

namespace {

void SDLCALL Callback(void* self, Uint8* stream, int len) { static_cast<webdevice*>(self)->fill(stream, len); }

}  // namespace

int webdevice::init()
{
    SDL_AudioSpec have{};
    // The browser may run its audio at another rate: SDL converts.
    if (!output_.Open(CALLBACK_FRAMES, Callback, this, have)) return -1;
    mixer_ = std::make_unique<mixer>(FRAGMENT_VALUES);
    output_.Start();
    return 0;
}

void webdevice::fill(uint8_t* stream, int bytes)
{
    auto* out = reinterpret_cast<int16_t*>(stream);
    int count = bytes / int(sizeof(int16_t));
    for (; count >= FRAGMENT_VALUES; count -= FRAGMENT_VALUES, out += FRAGMENT_VALUES)
        mixer_->mix16(out);
    // SDL asks for whole callbacks of whole fragments; anything else is silence.
    if (count > 0) std::memset(out, 0, size_t(count) * sizeof(int16_t));
}

void webdevice::close() { output_.Close(); }

}  // namespace softmix

std::unique_ptr<softmix::audiodevice> MakeSoundCardDevice() { return std::make_unique<softmix::webdevice>(); }

}  // namespace kelvora
