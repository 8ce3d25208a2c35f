// Time to decode a 30-second 44100 Hz stereo Ogg Vorbis file into a sample,
// the length of the game's music loops. The file is made at run time: a
// synthesised piece (chords, a bass line, noise bursts) encoded with oggenc.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kelvora/audio/sample.h"

using namespace kelvora;

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 30;

void Put(std::ofstream& f, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) f.put(char(v >> (8 * i)));
}

void WriteMusicWav(const std::string& path)
{
    const int frames = kRate * kSeconds;
    std::ofstream f(path, std::ios::binary);
    f.write("RIFF", 4);
    Put(f, 36 + frames * 4, 4);
    f.write("WAVEfmt ", 8);
    Put(f, 16, 4);
    Put(f, 1, 2);
    Put(f, 2, 2);
    Put(f, kRate, 4);
    Put(f, kRate * 4, 4);
    Put(f, 4, 2);
    Put(f, 16, 2);
    f.write("data", 4);
    Put(f, frames * 4, 4);
    const double chords[4][3] = {{220, 277.2, 329.6}, {196, 246.9, 293.7}, {174.6, 220, 261.6}, {196, 246.9, 311.1}};
    uint32_t noise = 12345;
    for (int i = 0; i < frames; ++i) {
        double t = double(i) / kRate;
        int bar = int(t / 2) % 4;
        double beat = std::fmod(t, 0.5);
        double env = std::exp(-beat * 6);
        double l = 0, r = 0;
        for (int k = 0; k < 3; ++k) {
            double v = std::sin(2 * M_PI * chords[bar][k] * t) * 0.18 * env;
            l += v * (1.0 - 0.3 * k);
            r += v * (0.4 + 0.3 * k);
        }
        double bass = std::sin(2 * M_PI * chords[bar][0] / 2 * t) * 0.25;
        noise = noise * 1664525u + 1013904223u;
        double hat = (beat < 0.03 ? 0.15 : 0.0) * (double(noise >> 8) / double(1 << 24) - 0.5);
        Put(f, uint16_t(int16_t((l + bass + hat) * 32000)), 2);
        Put(f, uint16_t(int16_t((r + bass - hat) * 32000)), 2);
    }
}

} // namespace

int main()
{
    auto dir = std::filesystem::temp_directory_path() / ("kv_bench_decode_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string wav = (dir / "music.wav").string(), ogg = (dir / "music.ogg").string();
    WriteMusicWav(wav);
    std::string cmd = "oggenc -Q -q 4 -o '" + ogg + "' '" + wav + "'";
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "audio_decode: oggenc (vorbis-tools) is needed to make the test file\n");
        std::filesystem::remove_all(dir);
        return 1;
    }
    auto oggBytes = std::filesystem::file_size(ogg);

    std::vector<double> ms;
    int frames = 0;
    for (int run = 0; run < 7; ++run) {
        auto t0 = std::chrono::steady_clock::now();
        TAudioSamplePtr s = LoadAudioSample(ogg);
        auto t1 = std::chrono::steady_clock::now();
        if (!s) {
            std::fprintf(stderr, "audio_decode: the file did not load\n");
            std::filesystem::remove_all(dir);
            return 1;
        }
        frames = s->length;
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    // What the caller waits for when the rest is decoded in the background
    // (as LoadSound does): reading, checking the pages, the first piece.
    std::vector<double> first;
    for (int run = 0; run < 7; ++run) {
        auto t0 = std::chrono::steady_clock::now();
        TAudioSamplePtr s = LoadAudioSampleProgressive(ogg);
        auto t1 = std::chrono::steady_clock::now();
        if (!s || !s->fill) {
            std::fprintf(stderr, "audio_decode: the file was not decoded in the background\n");
            std::filesystem::remove_all(dir);
            return 1;
        }
        first.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        s->Complete();
    }
    std::filesystem::remove_all(dir);
    std::sort(ms.begin(), ms.end());
    std::sort(first.begin(), first.end());
    double median = ms[ms.size() / 2];
    std::printf("decode 30 s stereo Ogg Vorbis (%d frames, %.0f KiB file, q4): median %.1f ms, best %.1f ms "
                "over %zu runs; %.0fx real time\n",
                frames, double(oggBytes) / 1024, median, ms.front(), ms.size(), kSeconds * 1000.0 / median);
    std::printf("the same loaded with the rest decoded in the background: the caller waits median %.2f ms, "
                "best %.2f ms\n",
                first[first.size() / 2], first.front());
    return 0;
}
