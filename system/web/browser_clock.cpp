#include "system/web/browser_clock.h"

#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

int TBrowserClock::Millisecs()
{
    // performance.now(): monotonic, from the page's start.
    return int(uint32_t(uint64_t(std::floor(emscripten_get_now()))));
}

void TBrowserClock::Delay(int ms)
{
    if (ms < 0) return;
    // Wake on the millisecond the counter will read, as the desktop clock does.
    const double now = emscripten_get_now();
    const double wake = std::floor(now) + ms;
    ++yields_;
    emscripten_sleep(unsigned(std::max(0.0, std::ceil(wake - now))));
}
