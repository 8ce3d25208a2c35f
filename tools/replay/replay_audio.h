// Captures everything the mixer produces during a replay, paced by the
// virtual clock, and writes it as a 44100 Hz 16-bit stereo WAV file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TVirtualClock;

class replay_audio {
public:
    static constexpr int RATE = 44100;
    static constexpr int FRAGMENT_FRAMES = 512;

    explicit replay_audio(TVirtualClock& clock) : clock_(clock) {}
    // Puts the manual output in place of the sound device.
    void install();
    // Mixes the frames due for the virtual time passed since the last pull.
    void pull_until_now();
    // Mixes ms milliseconds more.
    void pull(int ms);
    void write_wav(const std::string& path) const;
    const std::vector<int16_t>& samples() const { return samples_; }

private:
    void mix_frames(int frames);

    TVirtualClock& clock_;
    bool started_ = false;
    int last_ms_ = 0;
    long long owed_ = 0;  // frames x 1000 not yet mixed, to keep rounding exact
    int pending_ = 0;     // frames due but short of a whole fragment
    std::vector<int16_t> samples_;
};
