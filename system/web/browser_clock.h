// Time in a browser page: the page's monotonic clock, and delays that hand
// the thread back to the browser (which draws, plays and delivers input only
// then) instead of blocking it.
#pragma once

#include "kelvora/system/clock.h"

namespace kelvora {

class TBrowserClock : public TClock {
public:
    int Millisecs() override;
    // Yields to the browser until its display refresh that shows the frame
    // due ms milliseconds from now (see EARLY_MS in browser_clock.cpp), and
    // for at least one refresh: the page's frames go at the display's pace
    // when it cannot keep up. A hidden page has no refreshes: the wait lasts
    // until it shows again, or until Wake.
    void Delay(int ms) override;
    // Ends the wait in progress as soon as the browser's event handler that
    // calls it returns (the program is waiting whenever one runs).
    void Wake();
    // Times the browser has had the thread back so far.
    unsigned Yields() const { return yields_; }

private:
    unsigned yields_ = 0;
};

}  // namespace kelvora
