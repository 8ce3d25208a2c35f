#include "audio/sdl/sdlaudiodevice.h"

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <system_error>

namespace kelvora {

namespace softmix {

namespace {

void SDLCALL Callback(void* self, Uint8* stream, int len) { static_cast<sdldevice*>(self)->fill(stream, len); }

int64_t NowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int sdldevice::init()
{
    SDL_AudioSpec have{};
    if (!output_.Open(FRAGMENT_VALUES / 2, Callback, this, have)) return -1;

    mixer_ = std::make_unique<mixer>(FRAGMENT_VALUES);
    // SDL's buffer holds one callback's worth once the callback has filled it.
    ring_ = std::make_unique<TOutputRing>(FRAGMENT_VALUES, int(have.samples) * 2);
    ring_->Update(*mixer_);  // the first refill before the card starts
    taken_ = SDL_CreateSemaphore(0);
    if (!taken_) return -1;
    running_.store(true);
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        running_.store(false);  // no refill: the caller closes the device and falls back
        return -1;
    }
    opened_us_ = NowUs();
    output_.Start();
    return 0;
}

void sdldevice::run()
{
    // The same priority SDL gives its own audio thread, which this one
    // feeds; where the system refuses, the lead grows instead.
    SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL);
    // Refill as soon as the card has taken a piece, and every 5 ms anyway.
    while (running_.load(std::memory_order_relaxed)) {
        ring_->Update(*mixer_);
        SDL_SemWaitTimeout(taken_, UPDATE_MS);
    }
}

void sdldevice::fill(uint8_t* stream, int bytes)
{
    auto* values = reinterpret_cast<int16_t*>(stream);
    const int count = bytes / int(sizeof(int16_t));
    ring_->Play(values, count, NowUs());
    if (tap_) tap_(values, count, tap_user_);
    if (SDL_SemValue(taken_) == 0) SDL_SemPost(taken_);
}

void sdldevice::close()
{
    running_.store(false);
    if (thread_.joinable()) thread_.join();
    if (output_.IsOpen()) {
        output_.Close();  // waits for a running callback
        // Gaps in the sound are worth a line: they say the machine could not keep up.
        if (ring_ && ring_->Starvations() > 0)
            std::fprintf(stderr, "audio: %d underruns in %.0f s; output lead grew to %d ms\n", ring_->Starvations(),
                         double(NowUs() - opened_us_) / 1e6, ring_->MaxLatency() * FRAGMENT_VALUES / 2 * 1000 / 44100);
    }
    if (taken_) {
        SDL_DestroySemaphore(taken_);
        taken_ = nullptr;
    }
}

}  // namespace softmix

}  // namespace kelvora
