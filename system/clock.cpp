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
    // Wake on the millisecond boundary the counter will read, not ms after a
    // fractional "now": a frame pacer that sleeps to its slot then starts the
    // frame on time instead of up to a millisecond late.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t wake_ns = (uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u + uint64_t(ms)) * 1000000u;
    timespec wake{time_t(wake_ns / 1000000000u), long(wake_ns % 1000000000u)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) != 0) {
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
