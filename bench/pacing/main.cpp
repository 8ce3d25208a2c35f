// Paces 600 real frames at 60 Hz in a 640x480 window and prints how closely
// the frames keep to the pacer's schedule.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "render/gl/gl_graphics.h"
#include "system/clock.h"

namespace {

double NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

// The real clock, noting where the pacer means to wake (the millisecond it
// last read plus the wait it asks for) and when it really does.
class TScheduleClock : public TClock {
public:
    int Millisecs() override { return last_ = real_.Millisecs(); }
    void Delay(int ms) override
    {
        real_.Delay(ms);
        double target = double(unsigned(last_) + unsigned(ms));
        // Millisecs is CLOCK_MONOTONIC in whole ms, wrapped to 32 bits.
        double woke = NowMs();
        double wrapped = woke - 4294967296.0 * double(uint64_t(woke) >> 32);
        deviations.push_back(wrapped - target);
    }
    std::vector<double> deviations;

private:
    TRealClock real_;
    int last_ = 0;
};

double Percentile(std::vector<double> v, double p)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = size_t(p * double(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

}  // namespace

int main()
{
    const int frames = 600;
    auto clock = std::make_shared<TScheduleClock>();
    SetClock(clock);
    SetGraphicsDriver(GLGraphicsDriver(), GFX_BACKBUFFER);
    if (!Graphics(640, 480, 0, 60, GFX_BACKBUFFER)) {
        std::fprintf(stderr, "bench_pacing: %s\n", LastGraphicsError().c_str());
        return 1;
    }
    for (int i = 0; i < 30; ++i) Flip(-1);  // settle
    clock->deviations.clear();

    double start = NowMs();
    for (int i = 0; i < frames; ++i) Flip(-1);
    double elapsed = NowMs() - start;
    EndGraphics();
    SetClock(nullptr);

    const auto& d = clock->deviations;
    std::printf("frames paced:              %d (%zu slept until their slot, %zu ran past it)\n", frames, d.size(),
                frames - d.size());
    std::printf("mean frame period:         %.3f ms (ideal 16.667)\n", elapsed / frames);
    std::printf("wake-up vs schedule:       p50 %.3f ms, p99 %.3f ms, worst %.3f ms\n", Percentile(d, 0.50),
                Percentile(d, 0.99), d.empty() ? 0.0 : *std::max_element(d.begin(), d.end()));
    return 0;
}
