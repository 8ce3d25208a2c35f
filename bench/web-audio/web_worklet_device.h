// Prototype: the browser's sound through an AudioWorklet fed from the main thread.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "audio/audiodevice.h"

using namespace kelvora;

namespace softmix {

class webworkletdevice : public audiodevice {
public:
    static constexpr int FRAGMENT_VALUES = 1024;

    ~webworkletdevice() override { close(); }
    int init() override { return init(2048); }
    // target_frames: the worklet's queue depth the feeding keeps, in frames
    // at the context's rate.
    int init(int target_frames);
    void close() override;

    // Mixes and posts at least frames frames; called from the page.
    void pump(int frames);

private:
    SDL_AudioStream* stream_ = nullptr;
    std::vector<int16_t> fragment_;
    std::vector<float> out_;
};

}  // namespace softmix
