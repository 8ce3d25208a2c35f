// The browser's sound output through SDL: the page's audio graph calls SDL
// back on the main thread between tasks, and there is no thread to refill a
// ring, so each callback mixes the 512-frame fragments it hands out itself.
// One callback carries two fragments (about 23 ms); the browser's own
// buffering adds about as much again.
#pragma once

#include <cstdint>

#include "audio/audiodevice.h"
#include "audio/sdl/sdl_audio_output.h"

namespace kelvora {

namespace softmix {

class webdevice : public audiodevice {
public:
    static constexpr int FRAGMENT_VALUES = 1024;
    static constexpr int CALLBACK_FRAMES = 1024;

    ~webdevice() override { close(); }
    int init() override;
    void close() override;

    // SDL's callback; public only so the C callback can reach it.
    void fill(uint8_t* stream, int bytes);

private:
    TSDLAudioOutput output_;
};

}  // namespace softmix

}  // namespace kelvora
