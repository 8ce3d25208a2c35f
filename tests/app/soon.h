// Polls a condition until it holds, or the time is up: for effects that
// another thread or process brings about.
#pragma once

#include <chrono>
#include <thread>

template <typename F>
bool soon(F done, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
