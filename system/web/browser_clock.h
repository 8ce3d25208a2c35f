// Time in a browser page: the page's monotonic clock, and delays that hand
// the thread back to the browser (which draws, plays and delivers input only
// then) instead of blocking it.
#pragma once

#include "system/clock.h"

class TBrowserClock : public TClock {
public:
    int Millisecs() override;
    // Yields to the browser for ms milliseconds, and at least once.
    void Delay(int ms) override;
    // Times the browser has had the thread back so far.
    unsigned Yields() const { return yields_; }

private:
    unsigned yields_ = 0;
};
