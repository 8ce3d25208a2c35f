// The sound card through SDL, opened the one way the game's devices open it:
// SDL's audio subsystem and one device of 44100 Hz 16-bit stereo whose
// callback takes `samples` frames at a time (SDL converts whatever the card
// wants). Header-only: the browser's device uses it too.
#pragma once

#include <SDL.h>

namespace kelvora {

class TSDLAudioOutput {
public:
    ~TSDLAudioOutput() { Close(); }

    // False, with nothing left open, when SDL has no device to give; have
    // says what the device takes.
    bool Open(int samples, SDL_AudioCallback callback, void* user, SDL_AudioSpec& have)
    {
        // SDL counts subsystem initialisations, so this pairs with the quit in Close().
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
        SDL_AudioSpec want{};
        want.freq = 44100;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = Uint16(samples);
        want.callback = callback;
        want.userdata = user;
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ != 0) return true;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }

    void Start() { SDL_PauseAudioDevice(device_, 0); }
    bool IsOpen() const { return device_ != 0; }

    // Waits for a running callback.
    void Close()
    {
        if (device_ == 0) return;
        SDL_CloseAudioDevice(device_);
        device_ = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

private:
    SDL_AudioDeviceID device_ = 0;
};

}  // namespace kelvora
