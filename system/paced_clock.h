// Virtual time kept in step with the real clock, for recorded and replayed
// runs of the real program.
#pragma once

#include <chrono>
#include <cstdint>

#include "system/clock.h"

// Millisecs() moves only when Delay is called, by exactly the time asked, as
// on TVirtualClock; Delay also sleeps until real time has caught up. A run
// on this clock therefore reads the same times as the replay harness reads
// on its virtual clock, while it still plays at the normal speed.
class TPacedClock : public TVirtualClock {
public:
    explicit TPacedClock(int start_ms);
    void Delay(int ms) override;

private:
    using steady = std::chrono::steady_clock;
    steady::time_point real_start_;
    int64_t virtual_ms_ = 0;  // time added by Delay since real_start_
};
