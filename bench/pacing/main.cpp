// Paces real frames at 60 Hz in a 640x480 window and prints how closely the
// frames keep to the pacer's schedule and what the waiting costs in CPU time.
//
//   bench_pacing [--busy N] [--runs R] [--frames F]
//
// --busy N starts N processes that spin beside the pacer for the whole run,
// so the figures can be taken on a loaded machine on purpose. Each run opens
// the window, settles for 30 frames and paces F frames (default 600); the
// last line gives the median of the R runs (default 3).
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "render/gl/gl_graphics.h"
#include "kelvora/system/clock.h"

using namespace kelvora;

namespace {

double NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

// The real clock, noting where the pacer means to wake (the millisecond it
// last read plus the wait it asks for), when it really does, and the CPU time
// the wait took.
class TScheduleClock : public TClock {
public:
    int Millisecs() override { return last_ = real_.Millisecs(); }
    void Delay(int ms) override
    {
        double cpu0 = ThreadCpuMs();
        real_.Delay(ms);
        double woke = NowMs();
        wait_cpu_ms += ThreadCpuMs() - cpu0;
        double target = double(unsigned(last_) + unsigned(ms));
        // Millisecs is CLOCK_MONOTONIC in whole ms, wrapped to 32 bits.
        double wrapped = woke - 4294967296.0 * double(uint64_t(woke) >> 32);
        deviations.push_back(wrapped - target);
    }
    std::vector<double> deviations;
    double wait_cpu_ms = 0;

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

double Median(std::vector<double> v) { return Percentile(std::move(v), 0.5); }

struct TRunFigures {
    double period = 0, p50 = 0, p99 = 0, worst = 0, wait_cpu_per_s = 0, cpu_per_s = 0;
    size_t slept = 0;
};

bool PaceOnce(int frames, TRunFigures& r)
{
    auto clock = std::make_shared<TScheduleClock>();
    SetClock(clock);
    if (!Graphics(640, 480, 0, 60, GFX_BACKBUFFER)) {
        std::fprintf(stderr, "bench_pacing: %s\n", LastGraphicsError().c_str());
        SetClock(nullptr);
        return false;
    }
    for (int i = 0; i < 30; ++i) Flip(-1);  // settle
    clock->deviations.clear();
    clock->wait_cpu_ms = 0;

    double start = NowMs();
    double cpu_start = ThreadCpuMs();
    for (int i = 0; i < frames; ++i) Flip(-1);
    double elapsed = NowMs() - start;
    double cpu = ThreadCpuMs() - cpu_start;
    EndGraphics();
    SetClock(nullptr);

    const auto& d = clock->deviations;
    r.slept = d.size();
    r.period = elapsed / frames;
    r.p50 = Percentile(d, 0.50);
    r.p99 = Percentile(d, 0.99);
    r.worst = d.empty() ? 0.0 : *std::max_element(d.begin(), d.end());
    r.wait_cpu_per_s = clock->wait_cpu_ms * 1000.0 / elapsed;
    r.cpu_per_s = cpu * 1000.0 / elapsed;
    return true;
}

void Print(const char* label, const TRunFigures& r)
{
    std::printf("%-7s period %.3f ms | wake-up vs schedule p50 %.3f, p99 %.3f, worst %.3f ms | "
                "CPU waiting %.1f ms/s (%.1f %% of a core), whole thread %.1f ms/s\n",
                label, r.period, r.p50, r.p99, r.worst, r.wait_cpu_per_s, r.wait_cpu_per_s / 10.0, r.cpu_per_s);
}

std::vector<pid_t> StartBusy(int n)
{
    std::vector<pid_t> pids;
    for (int i = 0; i < n; ++i) {
        pid_t pid = fork();
        if (pid == 0) {
            volatile unsigned long spin = 0;
            for (;;) spin = spin + 1;
        }
        if (pid > 0) pids.push_back(pid);
    }
    return pids;
}

void StopBusy(const std::vector<pid_t>& pids)
{
    for (pid_t pid : pids) kill(pid, SIGKILL);
    for (pid_t pid : pids) waitpid(pid, nullptr, 0);
}

int IntArg(int argc, char** argv, const char* name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
    return fallback;
}

}  // namespace

int main(int argc, char** argv)
{
    const int busy = std::max(0, IntArg(argc, argv, "--busy", 0));
    const int runs = std::max(1, IntArg(argc, argv, "--runs", 3));
    const int frames = std::max(60, IntArg(argc, argv, "--frames", 600));

    double load[3] = {};
    if (getloadavg(load, 3) < 0) load[0] = load[1] = load[2] = -1;
    std::printf("pacing %d frames at 60 Hz, %d run(s), %d busy process(es) beside it; load average %.2f %.2f %.2f\n",
                frames, runs, busy, load[0], load[1], load[2]);

    std::vector<pid_t> pids = StartBusy(busy);  // before any display connection exists
    SetGraphicsDriver(GLGraphicsDriver(), GFX_BACKBUFFER);
    std::vector<TRunFigures> all;
    for (int i = 0; i < runs; ++i) {
        TRunFigures r;
        if (!PaceOnce(frames, r)) {
            StopBusy(pids);
            return 1;
        }
        char label[16];
        std::snprintf(label, sizeof label, "run %d", i + 1);
        Print(label, r);
        all.push_back(r);
    }
    StopBusy(pids);

    auto med = [&](double TRunFigures::* f) {
        std::vector<double> v;
        for (const auto& r : all) v.push_back(r.*f);
        return Median(v);
    };
    TRunFigures m;
    m.period = med(&TRunFigures::period);
    m.p50 = med(&TRunFigures::p50);
    m.p99 = med(&TRunFigures::p99);
    m.worst = med(&TRunFigures::worst);
    m.wait_cpu_per_s = med(&TRunFigures::wait_cpu_per_s);
    m.cpu_per_s = med(&TRunFigures::cpu_per_s);
    Print("median", m);
    if (getloadavg(load, 3) < 0) load[0] = load[1] = load[2] = -1;
    std::printf("load average after: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    return 0;
}
