#include "tools/replay/replay_audio.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <stdexcept>

#include "audio/manualaudiodevice.h"
#include "game/engine.h"

void replay_audio::install()
{
    UseManualAudioOutput(1);
}

void replay_audio::pull_until_now()
{
    const int now = clock_.Millisecs();
    if (!started_) {
        started_ = true;
        last_ms_ = now;
        return;
    }
    const int ms = static_cast<int>(static_cast<unsigned>(now) - static_cast<unsigned>(last_ms_));
    last_ms_ = now;
    if (ms > 0)
        pull(ms);
}

void replay_audio::pull(int ms)
{
    owed_ += static_cast<long long>(ms) * RATE;
    const int frames = static_cast<int>(owed_ / 1000);
    owed_ -= static_cast<long long>(frames) * 1000;
    mix_frames(frames);
}

void replay_audio::mix_frames(int frames)
{
    // The output hands out whole fragments; what is left over waits for the next pull.
    pending_ += frames;
    int16_t fragment[FRAGMENT_FRAMES * 2];
    while (pending_ >= FRAGMENT_FRAMES) {
        pending_ -= FRAGMENT_FRAMES;
        if (PullAudioFragment(fragment) == 0)
            std::fill(std::begin(fragment), std::end(fragment), int16_t{0});
        samples_.insert(samples_.end(), std::begin(fragment), std::end(fragment));
    }
}

void replay_audio::write_wav(const std::string& path) const
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot write " + path);
    const uint32_t data_bytes = static_cast<uint32_t>(samples_.size() * 2);
    auto u32 = [f](uint32_t v) {
        const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                    static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        std::fwrite(b, 1, 4, f);
    };
    auto u16 = [f](uint16_t v) {
        const unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
        std::fwrite(b, 1, 2, f);
    };
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + data_bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);            // PCM
    u16(2);            // stereo
    u32(RATE);
    u32(RATE * 4);     // bytes per second
    u16(4);            // bytes per frame
    u16(16);           // bits per sample
    std::fwrite("data", 1, 4, f);
    u32(data_bytes);
    for (int16_t s : samples_)
        u16(static_cast<uint16_t>(s));
    if (std::fclose(f) != 0)
        throw std::runtime_error("cannot write " + path);
}
