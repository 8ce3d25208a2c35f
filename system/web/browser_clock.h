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

protected:
    // The wait of Delay for a frame due at `due` on the page's clock
    // (performance.now()).
    void YieldUntil(double due);

private:
    unsigned yields_ = 0;
};

// The page's clock for a session that is recorded: Millisecs() moves only by
// the delays asked, exactly (as on TPacedClock and the replay harness's
// virtual clock), so the game reads the same times when its recording is
// replayed; each delay still yields to the browser until the display refresh
// of the moment it is due in real time. The real moment lags behind when the
// display or the machine cannot keep up; more than 100 ms behind (a stall, a
// hidden page), the pacing goes on from now instead of racing to catch up.
class TPacedBrowserClock : public TBrowserClock {
public:
    explicit TPacedBrowserClock(int start_ms);
    int Millisecs() override { return now_; }
    void Delay(int ms) override;

private:
    int now_;
    double real_start_;        // performance.now() when paced_ms_ was 0
    double paced_ms_ = 0;      // time added by Delay since real_start_
};

}  // namespace kelvora
