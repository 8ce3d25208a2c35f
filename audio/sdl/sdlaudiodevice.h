// The sound card output on SDL audio: 44100 Hz 16-bit stereo, refilled in
// 512-frame fragments by a thread of its own (after each callback and every
// 5 ms) through an output
// ring whose lead (SDL's buffer included) starts at about 23 ms and grows
// only when the card really starves.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "audio/audiodevice.h"
#include "audio/outputring.h"
#include "audio/sdl/sdl_audio_output.h"

struct SDL_semaphore;

namespace kelvora {

namespace softmix {

class sdldevice : public audiodevice {
public:
    static constexpr int FRAGMENT_VALUES = 1024;
    static constexpr int UPDATE_MS = 5;

    // Sees every buffer as it leaves SDL's callback (benchmarks).
    using Tap = void (*)(const int16_t* values, int count, void* user);

    ~sdldevice() override { close(); }
    // Fails (and leaves nothing open) when the device cannot be opened or
    // the refill cannot start.
    int init() override;
    void close() override;

    const TOutputRing* ring() const { return ring_.get(); }
    // Set before init.
    void set_tap(Tap tap, void* user)
    {
        tap_ = tap;
        tap_user_ = user;
    }

    // SDL's callback; public only so the C callback can reach it.
    void fill(uint8_t* stream, int bytes);

private:
    void run();

    TSDLAudioOutput output_;
    std::unique_ptr<TOutputRing> ring_;
    std::atomic<bool> running_{false};
    std::thread thread_;
    Tap tap_ = nullptr;
    void* tap_user_ = nullptr;
    int64_t opened_us_ = 0;
    SDL_semaphore* taken_ = nullptr;  // posted by the callback, wakes the refill
};

}  // namespace softmix

}  // namespace kelvora
