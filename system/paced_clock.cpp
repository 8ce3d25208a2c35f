#include "system/paced_clock.h"

#include <thread>

TPacedClock::TPacedClock(int start_ms) : TVirtualClock(start_ms), real_start_(steady::now()) {}

void TPacedClock::Delay(int ms)
{
    if (ms <= 0) {
        std::this_thread::yield();
        return;
    }
    Advance(ms);
    virtual_ms_ += ms;
    const steady::time_point due = real_start_ + std::chrono::milliseconds(virtual_ms_);
    const steady::time_point now = steady::now();
    if (now - due > std::chrono::milliseconds(100)) {
        // Far behind (a stall): lost time is not made up by racing through
        // frames; pacing goes on from here.
        real_start_ = now - std::chrono::milliseconds(virtual_ms_);
        return;
    }
    std::this_thread::sleep_until(due);
}
