// Mixing cost per voice and output frame, and how many voices one core
// mixes in real time, for every voice layout the mixer takes. Times are the
// mixing thread's own CPU time, so other load on the machine does not count.
// The last lines mix the same 16-bit stereo voices with SDL's own routine
// (volume only, no pan) for comparison, in short runs taking turns with ours
// so that both meet the same load on a busy machine.
#include <SDL.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "audio/manualaudiodevice.h"
#include "audio/mixer.h"
#include "kelvora/system/clock.h"

using namespace kelvora;

namespace {

constexpr int OUTPUT_RATE = 44100;
constexpr int FRAMES = 512;
constexpr int LENGTH = 2 * 44100;  // two seconds, looping, so no voice ends during the run

struct Case {
    const char* name;
    int channels;
    int bits;
    float rate;
    float volume;
    float pan;
};

double CpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

std::vector<uint8_t> Noise(int channels, int bits)
{
    std::mt19937 rng(1);
    std::vector<uint8_t> bytes(size_t(LENGTH) * size_t(channels * bits / 8));
    for (auto& b : bytes) b = uint8_t(rng());
    return bytes;
}

double NsPerVoiceFrame(const Case& c, int voices, int fragments, TVirtualClock& clock)
{
    auto device = std::make_unique<softmix::manualdevice>();
    softmix::manualdevice* dev = device.get();
    if (MixerInit(std::move(device)) != 0) return -1;
    const std::vector<uint8_t> bytes = Noise(c.channels, c.bits);
    MixerSound* sound = MixerCreateSound(LENGTH, c.bits, c.channels, 44100, bytes.data(), 1);
    for (int v = 0; v < voices; ++v) {
        const int h = MixerAllocChannel();
        MixerSetVolume(h, c.volume);
        MixerSetRate(h, c.rate);
        MixerSetPan(h, c.pan);
        MixerPlaySound(sound, 0, h);
    }
    clock.Advance(20);  // past the start latency: every voice sounds from the first call
    std::vector<int16_t> out(FRAMES * 2);
    for (int i = 0; i < 8; ++i) dev->pull(out.data());

    int64_t sink = 0;
    const double t0 = CpuNs();
    for (int i = 0; i < fragments; ++i) {
        dev->pull(out.data());
        sink += out[size_t(i) % out.size()];
    }
    const double t1 = CpuNs();
    MixerFreeSound(sound);
    MixerClose();
    if (sink == 42) std::printf(" ");  // keep the output alive
    return (t1 - t0) / (double(fragments) * FRAMES * voices);
}

// The same voices through SDL_MixAudioFormat: each voice's next 512 frames
// added into the output at volume 0.8, saturating.
double SdlNsPerVoiceFrame(int voices, int fragments)
{
    const std::vector<uint8_t> bytes = Noise(2, 16);
    std::vector<int> position(size_t(voices), 0);
    std::vector<int16_t> out(FRAMES * 2);
    const int volume = int(0.8f * SDL_MIX_MAXVOLUME);
    int64_t sink = 0;
    const double t0 = CpuNs();
    for (int i = 0; i < fragments; ++i) {
        std::memset(out.data(), 0, out.size() * sizeof(int16_t));
        for (int v = 0; v < voices; ++v) {
            int& p = position[size_t(v)];
            for (int done = 0; done < FRAMES;) {
                const int n = std::min(FRAMES - done, LENGTH - p);
                SDL_MixAudioFormat(reinterpret_cast<Uint8*>(out.data() + 2 * done), bytes.data() + size_t(p) * 4,
                                   AUDIO_S16LSB, Uint32(n * 4), volume);
                done += n;
                p = (p + n) % LENGTH;
            }
        }
        sink += out[size_t(i) % out.size()];
    }
    const double t1 = CpuNs();
    if (sink == 42) std::printf(" ");
    return (t1 - t0) / (double(fragments) * FRAMES * voices);
}

void Print(const char* name, double ns)
{
    if (ns < 0) {
        std::printf("%-44s  (mixer did not start)\n", name);
        return;
    }
    std::printf("%-44s %14.3f %22.0f\n", name, ns, 1e9 / (ns * OUTPUT_RATE));
}

// Ours and SDL's on the 16-bit stereo voices in turn, pairs times: the
// median of each, and the median ratio of the pairs with its spread.
void CompareWithSdl(const Case& c, int voices, int fragments, int pairs, TVirtualClock& clock)
{
    std::vector<double> ours, sdl, ratio;
    for (int i = 0; i < pairs; ++i) {
        ours.push_back(NsPerVoiceFrame(c, voices, fragments, clock));
        sdl.push_back(SdlNsPerVoiceFrame(voices, fragments));
        ratio.push_back(ours.back() / sdl.back());
    }
    if (*std::min_element(ours.begin(), ours.end()) < 0) {
        Print(c.name, -1);
        return;
    }
    for (auto* v : {&ours, &sdl, &ratio}) std::sort(v->begin(), v->end());
    const size_t n = ratio.size();
    Print("SDL_MixAudioFormat, 16-bit stereo, rate 1", sdl[n / 2]);
    std::printf("\n%s against SDL_MixAudioFormat, %d pairs of %d fragments, ours then SDL's:\n", c.name, pairs,
                fragments);
    std::printf("  medians: ours %.3f, SDL %.3f ns/voice-frame\n", ours[n / 2], sdl[n / 2]);
    std::printf("  ours / SDL per pair: median %.3f, interquartile %.3f-%.3f, min-max %.3f-%.3f\n", ratio[n / 2],
                ratio[n / 4], ratio[n * 3 / 4], ratio.front(), ratio.back());
}

}  // namespace

int main(int argc, char** argv)
{
    const int voices = argc > 1 ? std::atoi(argv[1]) : 64;
    const int fragments = argc > 2 ? std::atoi(argv[2]) : 1500;
    auto clock = std::make_shared<TVirtualClock>(1000);
    SetClock(clock);

    const Case cases[] = {
        {"16-bit mono, rate 1", 1, 16, 1.0f, 0.8f, 0.0f},
        {"16-bit stereo, rate 1", 2, 16, 1.0f, 0.8f, 0.0f},
        {"16-bit stereo, rate 1, panned", 2, 16, 1.0f, 0.8f, -0.3f},
        {"8-bit mono, rate 1", 1, 8, 1.0f, 0.8f, 0.0f},
        {"8-bit stereo, rate 1", 2, 8, 1.0f, 0.8f, 0.0f},
        {"16-bit mono, rate 1.37", 1, 16, 1.37f, 0.8f, 0.0f},
        {"16-bit stereo, rate 0.73", 2, 16, 0.73f, 0.8f, 0.0f},
        {"8-bit mono, rate 0.73", 1, 8, 0.73f, 0.8f, 0.0f},
        {"8-bit stereo, rate 1.37", 2, 8, 1.37f, 0.8f, 0.0f},
        {"16-bit stereo, silent (volume 0)", 2, 16, 1.0f, 0.0f, 0.0f},
    };
    std::printf("mixer: %d voices, %d fragments of %d frames (%.1f s of output) per case, thread CPU time\n", voices,
                fragments, FRAMES, double(fragments) * FRAMES / OUTPUT_RATE);
    std::printf("%-44s %14s %22s\n", "voice layout", "ns/voice-frame", "voices per core (1x)");
    for (const Case& c : cases) Print(c.name, NsPerVoiceFrame(c, voices, fragments, *clock));
    const int pairs = 15;
    CompareWithSdl(cases[1], voices, std::max(fragments / 10, 1), pairs, *clock);
    SetClock(nullptr);
    return 0;
}
