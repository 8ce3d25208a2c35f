// A line per drawn frame with the game's state, for tests that drive the real
// program and must wait for the effect of each input before the next:
// KELVORA3D_STATE_LOG names the file. Off when the variable is unset.
#pragma once

#include <cstdio>

// Opens the log once, for appending, and writes a line at the start of every
// frame (logo and main loop) through game_hooks.frame_start; a host that sets
// its own frame_start later (a recorded run) calls this one too. A log that
// cannot be opened is said on stderr and the game plays without it. Only
// reads the game's values: nothing of the run changes.
class state_log {
public:
    state_log();
    ~state_log();
    state_log(const state_log&) = delete;
    state_log& operator=(const state_log&) = delete;

private:
    void write_line();

    std::FILE* file_ = nullptr;
    long frame_ = 0;
    char buffer_[256];
};
