// Waiting for an input's effect in tests that drive a real window: the event
// queue is pumped until done() holds. The time-out only bounds a failure.
#pragma once

#include <SDL.h>

#include <functional>

#include "kelvora/system/system_driver.h"

using namespace kelvora;

inline bool PumpUntil(const std::function<bool()>& done, Uint32 limit_ms = 10000)
{
    const Uint32 start = SDL_GetTicks();
    do {
        PollSystem();
        if (done()) return true;
        SDL_Delay(5);
    } while (SDL_GetTicks() - start < limit_ms);
    return false;
}
