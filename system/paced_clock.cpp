#include "system/paced_clock.h"

#include <thread>

namespace kelvora {

namespace {
constexpr int64_t kNanosPerMs = 1000000;
}

TPacedClock::TPacedClock(int start_ms) : TVirtualClock(start_ms), real_start_(MonotonicNanos()) {}

void TPacedClock::Delay(int ms)
{
    if (ms <= 0) {
        std::this_thread::yield();
        return;
    }
    Advance(ms);
    virtual_ms_ += ms;
    const int64_t due = real_start_ + virtual_ms_ * kNanosPerMs;
    const int64_t now = MonotonicNanos();
    if (now - due > 100 * kNanosPerMs) {
        // Far behind (a stall): lost time is not made up by racing through
        // frames; pacing goes on from here.
        real_start_ = now - virtual_ms_ * kNanosPerMs;
        return;
    }
    WaitUntilNanos(due);
}

}  // namespace kelvora
