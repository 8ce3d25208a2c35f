#include "audio/sdlaudiodevice.h"

#include <SDL.h>

#include <chrono>

namespace softmix {

namespace {
void SDLCALL Callback(void* self, Uint8* stream, int len) { static_cast<sdldevice*>(self)->fill(stream, len); }
}  // namespace

int sdldevice::init()
{
    // SDL counts subsystem initialisations, so this pairs with the quit in close().
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return -1;
    subsystem_ = true;

    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = FRAGMENT_VALUES / 2;
    want.callback = Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No allowed changes: SDL converts whatever the card wants.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) return -1;

    mixer_ = std::make_unique<mixer>(FRAGMENT_VALUES);
    ring_ = std::make_unique<TOutputRing>(FRAGMENT_VALUES);
    ring_->Update(*mixer_);  // the first refill before the card starts
    running_.store(true);
    thread_ = std::thread([this] { run(); });
    SDL_PauseAudioDevice(device_, 0);
    return 0;
}

void sdldevice::run()
{
    while (running_.load(std::memory_order_relaxed)) {
        ring_->Update(*mixer_);
        std::this_thread::sleep_for(std::chrono::milliseconds(UPDATE_MS));
    }
}

void sdldevice::fill(uint8_t* stream, int bytes)
{
    ring_->Play(reinterpret_cast<int16_t*>(stream), bytes / int(sizeof(int16_t)));
}

void sdldevice::close()
{
    running_.store(false);
    if (thread_.joinable()) thread_.join();
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);  // waits for a running callback
        device_ = 0;
    }
    if (subsystem_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystem_ = false;
    }
}

}  // namespace softmix
