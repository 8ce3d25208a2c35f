#include "tools/replay/replay_audio.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "audio/manualaudiodevice.h"
#include "game/engine.h"

using namespace kelvora;

replay_audio::replay_audio(TVirtualClock& clock, const std::string& wav_path) : clock_(clock), path_(wav_path)
{
    if (path_.empty())
        return;
    file_ = std::fopen(path_.c_str(), "wb");
    if (!file_)
        throw std::runtime_error("cannot write " + path_);
    write_header(0);  // sizes are filled in by finish()
}

replay_audio::~replay_audio()
{
    if (file_)
        std::fclose(file_);
}

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
        // Mixed whether captured or not: the voices move on as in the game.
        if (PullAudioFragment(fragment) == 0)
            std::fill(std::begin(fragment), std::end(fragment), int16_t{0});
        if (!file_)
            continue;
        unsigned char bytes[sizeof fragment];
        for (size_t i = 0; i < std::size(fragment); ++i) {
            const auto v = static_cast<uint16_t>(fragment[i]);
            bytes[2 * i] = static_cast<unsigned char>(v);
            bytes[2 * i + 1] = static_cast<unsigned char>(v >> 8);
        }
        if (std::fwrite(bytes, 1, sizeof bytes, file_) != sizeof bytes)
            throw std::runtime_error("cannot write " + path_);
        data_bytes_ += sizeof bytes;
    }
}

void replay_audio::write_header(uint32_t data_bytes)
{
    unsigned char h[44];
    auto u32 = [&h](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    auto u16 = [&h](int at, uint16_t v) {
        h[at] = static_cast<unsigned char>(v);
        h[at + 1] = static_cast<unsigned char>(v >> 8);
    };
    std::copy_n("RIFF", 4, h);
    u32(4, 36 + data_bytes);
    std::copy_n("WAVEfmt ", 8, h + 8);
    u32(16, 16);
    u16(20, 1);          // PCM
    u16(22, 2);          // stereo
    u32(24, RATE);
    u32(28, RATE * 4);   // bytes per second
    u16(32, 4);          // bytes per frame
    u16(34, 16);         // bits per sample
    std::copy_n("data", 4, h + 36);
    u32(40, data_bytes);
    if (std::fwrite(h, 1, sizeof h, file_) != sizeof h)
        throw std::runtime_error("cannot write " + path_);
}

void replay_audio::finish()
{
    if (!file_)
        return;
    // A WAV header cannot count past 4 GiB (about 6.7 hours); longer captures say so.
    const uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(data_bytes_, 0xFFFFFFFFu - 36));
    const bool ok = std::fseek(file_, 0, SEEK_SET) == 0;
    if (ok)
        write_header(bytes);
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!ok || !closed)
        throw std::runtime_error("cannot write " + path_);
}
