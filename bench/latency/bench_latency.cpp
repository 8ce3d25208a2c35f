// Time from MixerPlaySound to the sound's first frame leaving SDL's audio
// callback, on the real SDL output (the "dummy" or "disk" driver here, a
// sound card where there is one), with the output's underruns and lead.
// Usage: bench_latency [plays] ; SDL_AUDIODRIVER picks the SDL driver.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "audio/mixer.h"
#include "audio/sdl/sdlaudiodevice.h"
#include "kelvora/system/clock.h"

using namespace kelvora;

namespace {

using Clock = std::chrono::steady_clock;

int64_t NowNs() { return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count(); }

struct Probe {
    std::atomic<bool> armed{false};
    std::atomic<int64_t> heard_ns{0};
};

// Runs at the end of SDL's callback: the first non-silent value is the click.
void Tap(const int16_t* values, int count, void* user)
{
    auto* probe = static_cast<Probe*>(user);
    if (!probe->armed.load(std::memory_order_acquire)) return;
    for (int i = 0; i < count; ++i) {
        if (values[i] != 0) {
            probe->heard_ns.store(NowNs(), std::memory_order_relaxed);
            probe->armed.store(false, std::memory_order_release);
            return;
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const int plays = argc > 1 ? std::max(20, std::atoi(argv[1])) : 200;
    if (!std::getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);
    SetClock(nullptr);
    Probe probe;
    auto device = std::make_unique<softmix::sdldevice>();
    softmix::sdldevice* sdl = device.get();
    sdl->set_tap(Tap, &probe);
    if (MixerInit(std::move(device)) != 0) {
        std::printf("latency: no SDL audio output (%s)\n", SDL_GetError());
        return 0;
    }
    const std::vector<int16_t> click(256, 20000);
    MixerSound* sound = MixerCreateSound(256, 16, 1, 44100, click.data(), 0);
    const int start_lead = sdl->ring()->Latency();

    std::mt19937 rng(14);
    std::vector<double> ms;
    int missed = 0;
    const int warmup = 10;  // the first plays show the start-up, not the steady state
    for (int i = 0; i < plays + warmup; ++i) {
        // Plays land anywhere in the callback's period.
        std::this_thread::sleep_for(std::chrono::microseconds(30000 + rng() % 30000));
        probe.heard_ns.store(0);
        probe.armed.store(true, std::memory_order_release);
        const int64_t t0 = NowNs();
        MixerPlaySound(sound, 0, 0);
        while (probe.heard_ns.load() == 0 && NowNs() - t0 < 1000000000LL) std::this_thread::sleep_for(std::chrono::microseconds(200));
        const int64_t t1 = probe.heard_ns.load();
        probe.armed.store(false);
        if (t1 == 0) {
            ++missed;
            continue;
        }
        if (i >= warmup) ms.push_back(double(t1 - t0) / 1e6);
    }
    const int underruns = sdl->ring()->Starvations();
    const int end_lead = sdl->ring()->Latency();
    MixerFreeSound(sound);
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms.empty() ? 0.0 : ms[std::min(ms.size() - 1, size_t(q * double(ms.size())))]; };
    const double fragment_ms = softmix::sdldevice::FRAGMENT_VALUES / 2 * 1000.0 / 44100;
    std::printf("latency: SDL driver \"%s\", %zu plays after %d warm-up, %d not heard within 1 s\n",
                SDL_GetCurrentAudioDriver() ? SDL_GetCurrentAudioDriver() : "?", ms.size(), warmup, missed);
    std::printf("PlaySound -> first frame out of SDL's callback: min %.1f  median %.1f  p95 %.1f  max %.1f ms\n", at(0),
                at(0.5), at(0.95), ms.empty() ? 0.0 : ms.back());
    std::printf("output lead: %d fragments at start, %d at end (%.1f ms); underruns: %d\n", start_lead, end_lead,
                end_lead * fragment_ms, underruns);
    std::fflush(stdout);
    MixerClose();
    return 0;
}
