#include "system/clock.h"

#include <time.h>

#include <cstdint>
#include <thread>

namespace {
std::shared_ptr<TClock>& ClockSlot()
{
    static std::shared_ptr<TClock> clock = std::make_shared<TRealClock>();
    return clock;
}
}  // namespace

int TRealClock::Millisecs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
    return int(uint32_t(ms));  // a 32-bit counter that wraps
}

void TRealClock::Delay(int ms)
{
    if (ms < 0) return;
    if (ms == 0) {
        std::this_thread::yield();
        return;
    }
    timespec req{ms / 1000, long(ms % 1000) * 1000000L};
    while (nanosleep(&req, &req) != 0) {
    }
}

void TVirtualClock::Delay(int ms)
{
    if (ms > 0) Advance(ms);
}

void TVirtualClock::Advance(int ms)
{
    // Unsigned arithmetic so the counter wraps like the real one.
    int cur = now_.load(std::memory_order_relaxed);
    while (!now_.compare_exchange_weak(cur, int(uint32_t(cur) + uint32_t(ms)), std::memory_order_relaxed)) {
    }
}

void SetClock(std::shared_ptr<TClock> clock)
{
    ClockSlot() = clock ? std::move(clock) : std::make_shared<TRealClock>();
}

TClock& CurrentClock() { return *ClockSlot(); }

int Millisecs() { return CurrentClock().Millisecs(); }

void Delay(int ms) { CurrentClock().Delay(ms); }
