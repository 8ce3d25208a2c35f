#include "system/web/browser_clock.h"

#include <emscripten.h>

#include <cmath>
#include <cstdint>

namespace kelvora {

namespace {

// A frame due at time T (its 60 Hz slot) is made in the first display
// refresh that runs at or after T - EARLY_MS. At 60 Hz that is one refresh
// each, even when a refresh comes a little before its slot (the slots are
// whole milliseconds, and displays do not keep exactly 60 Hz): waiting for
// the next one would halve the rate. At 144 Hz, whose refreshes are further
// apart than EARLY_MS, it is 2 or 3 refreshes each, 60 a second. A display
// that cannot keep up gets one frame per refresh, so the game slows with it
// instead of making frames nobody sees.
constexpr double EARLY_MS = 4;

}  // namespace

// Resolves in the first requestAnimationFrame callback that runs at or after
// `from` (its own time, not the refresh's: a late callback is no reason to
// wait for another), or when Module.kvClockWake is called.
EM_ASYNC_JS(void, kv_clock_wait_refresh, (double from), {
    await new Promise(resolve => {
        let id = 0;
        const ask = () => { id = requestAnimationFrame(() => performance.now() >= from ? done() : ask()); };
        const done = () => { cancelAnimationFrame(id); Module.kvClockWake = null; resolve(); };
        Module.kvClockWake = done;
        ask();
    });
});

EM_JS(void, kv_clock_wake, (), {
    if (Module.kvClockWake) Module.kvClockWake();
});

int TBrowserClock::Millisecs()
{
    // performance.now(): monotonic, from the page's start.
    return int(uint32_t(uint64_t(std::floor(emscripten_get_now()))));
}

void TBrowserClock::Delay(int ms)
{
    if (ms < 0) return;
    // Due on the millisecond the counter will read, as the desktop clock wakes.
    YieldUntil(std::floor(emscripten_get_now()) + ms);
}

void TBrowserClock::YieldUntil(double due)
{
    ++yields_;
    kv_clock_wait_refresh(due - EARLY_MS);
}

void TBrowserClock::Wake() { kv_clock_wake(); }

TPacedBrowserClock::TPacedBrowserClock(int start_ms) : now_(start_ms), real_start_(emscripten_get_now()) {}

void TPacedBrowserClock::Delay(int ms)
{
    if (ms < 0) return;
    now_ = int(uint32_t(now_) + uint32_t(ms));
    paced_ms_ += ms;
    double due = real_start_ + paced_ms_;
    const double now = emscripten_get_now();
    if (now - due > 100) {
        real_start_ = now - paced_ms_;
        due = now;
    }
    YieldUntil(due);
}

}  // namespace kelvora
