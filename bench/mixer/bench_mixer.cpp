// Mixing cost per voice and output frame, and how many voices one core
// mixes in real time, for the common voice layouts.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "audio/manualaudiodevice.h"
#include "audio/mixer.h"
#include "system/clock.h"

namespace {

constexpr int OUTPUT_RATE = 44100;
constexpr int FRAMES = 512;

struct Case {
    const char* name;
    int channels;
    int bits;
    float rate;
    float volume;
};

double NsPerVoiceFrame(const Case& c, int voices, int fragments, TVirtualClock& clock)
{
    auto device = std::make_unique<softmix::manualdevice>();
    softmix::manualdevice* dev = device.get();
    if (MixerInit(std::move(device)) != 0) return -1;

    // Two seconds of noise, looping, so no voice ends during the run.
    const int length = 2 * 44100;
    std::mt19937 rng(1);
    std::vector<uint8_t> bytes(size_t(length) * size_t(c.channels * c.bits / 8));
    for (auto& b : bytes) b = uint8_t(rng());
    MixerSound* sound = MixerCreateSound(length, c.bits, c.channels, 44100, bytes.data(), 1);
    for (int v = 0; v < voices; ++v) {
        const int h = MixerAllocChannel();
        MixerSetVolume(h, c.volume);
        MixerSetRate(h, c.rate);
        MixerPlaySound(sound, 0, h);
    }
    clock.Advance(20);  // past the start latency: every voice sounds from the first call
    std::vector<int16_t> out(FRAMES * 2);
    for (int i = 0; i < 8; ++i) dev->pull(out.data());

    int64_t sink = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < fragments; ++i) {
        dev->pull(out.data());
        sink += out[size_t(i) % out.size()];
    }
    const auto t1 = std::chrono::steady_clock::now();
    MixerFreeSound(sound);
    MixerClose();
    if (sink == 42) std::printf(" ");  // keep the output alive
    const double ns = std::chrono::duration<double, std::nano>(t1 - t0).count();
    return ns / (double(fragments) * FRAMES * voices);
}

}  // namespace

int main(int argc, char** argv)
{
    const int voices = argc > 1 ? std::atoi(argv[1]) : 64;
    const int fragments = argc > 2 ? std::atoi(argv[2]) : 1500;
    auto clock = std::make_shared<TVirtualClock>(1000);
    SetClock(clock);

    const Case cases[] = {
        {"16-bit mono, rate 1", 1, 16, 1.0f, 0.8f},
        {"16-bit stereo, rate 1", 2, 16, 1.0f, 0.8f},
        {"16-bit mono, rate 1.37", 1, 16, 1.37f, 0.8f},
        {"16-bit stereo, rate 0.73", 2, 16, 0.73f, 0.8f},
        {"8-bit mono, rate 1", 1, 8, 1.0f, 0.8f},
        {"16-bit stereo, silent (volume 0)", 2, 16, 1.0f, 0.0f},
    };
    std::printf("mixer: %d voices, %d fragments of %d frames (%.1f s of output) per case\n", voices, fragments,
                FRAMES, double(fragments) * FRAMES / OUTPUT_RATE);
    std::printf("%-34s %14s %22s\n", "voice layout", "ns/voice-frame", "voices per core (1x)");
    for (const Case& c : cases) {
        const double ns = NsPerVoiceFrame(c, voices, fragments, *clock);
        if (ns < 0) {
            std::printf("%-34s  (mixer did not start)\n", c.name);
            continue;
        }
        std::printf("%-34s %14.2f %22.0f\n", c.name, ns, 1e9 / (ns * OUTPUT_RATE));
    }
    SetClock(nullptr);
    return 0;
}
