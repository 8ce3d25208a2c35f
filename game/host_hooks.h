// Points where a host that drives the game (the replay harness) may step in.
// Unset in the program itself.
#pragma once

#include <functional>

struct host_hooks {
    // Called at the start of every pass that draws a frame (logo and main
    // loop), before anything of that frame is drawn or polled.
    std::function<void()> frame_start;
    // Called on every turn of a wait in which no frame is drawn (while the
    // application is suspended).
    std::function<void()> idle;
};

extern host_hooks game_hooks;

void notify_frame_start();
// One turn of a wait that draws nothing: lets the host in, then sleeps a few
// milliseconds so that waiting never burns a core.
void idle_wait();
