// Virtual time kept in step with the real clock, for recorded and replayed
// runs of the real program.
#pragma once

#include <cstdint>

#include "kelvora/system/clock.h"

namespace kelvora {

// Millisecs() moves only when Delay is called, by exactly the time asked, as
// on TVirtualClock; Delay also sleeps until real time has caught up. A run
// on this clock therefore reads the same times as the replay harness reads
// on its virtual clock, while it still plays at the normal speed.
class TPacedClock : public TVirtualClock {
public:
    explicit TPacedClock(int start_ms);
    void Delay(int ms) override;

private:
    int64_t real_start_;  // MonotonicNanos() when virtual_ms_ was 0
    int64_t virtual_ms_ = 0;  // time added by Delay since real_start_
};

}  // namespace kelvora
