// Runs the mixer during a replay, paced by the virtual clock, and, when
// asked, streams what it produces to a 44100 Hz 16-bit stereo WAV file.
// Nothing is kept in memory: a long replay costs no more than a short one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace kelvora {
class TVirtualClock;
}  // namespace kelvora
using namespace kelvora;

class replay_audio {
public:
    static constexpr int RATE = 44100;
    static constexpr int FRAGMENT_FRAMES = 512;

    // An empty path mixes without capturing. A file that cannot be written
    // is an error before anything runs.
    replay_audio(TVirtualClock& clock, const std::string& wav_path);
    ~replay_audio();
    replay_audio(const replay_audio&) = delete;
    replay_audio& operator=(const replay_audio&) = delete;

    // Puts the manual output in place of the sound device.
    void install();
    // Mixes the frames due for the virtual time passed since the last pull.
    void pull_until_now();
    // Mixes ms milliseconds more.
    void pull(int ms);
    // Completes the WAV file's header and closes it.
    void finish();

private:
    void mix_frames(int frames);
    void write_header(uint32_t data_bytes);

    TVirtualClock& clock_;
    std::string path_;
    FILE* file_ = nullptr;
    uint64_t data_bytes_ = 0;
    bool started_ = false;
    int last_ms_ = 0;
    long long owed_ = 0;  // frames x 1000 not yet mixed, to keep rounding exact
    int pending_ = 0;     // frames due but short of a whole fragment
};
