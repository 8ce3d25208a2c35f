// Verifying a recorded run by playing it again: the score of every game it
// completed comes from the replay itself, never from what a client claims.
#pragma once

#include <string>
#include <vector>

#include "app/input_script.h"

struct run_verdict {
    bool verified = false;
    std::string reason;       // why it was rejected: one sentence a player understands
    std::vector<int> scores;  // each completed game's final score, in the order played
    int frames = 0;           // frames the run drew
    std::string version;      // of the game that made it
    std::string system;       // "Linux", "Windows", "Web" (from the recording; informative)
    // The worker failed, not the run (no sounds to play with, no sandbox,
    // no child): the same run may verify when tried again.
    bool worker_fault = false;
    // For the operator's log, never shown to players: the end of what the
    // replaying process wrote on stderr, when it failed.
    std::string detail;
};

struct verify_limits {
    int max_frames = 216000;  // one hour at 60 frames a second
    int cpu_seconds = 120;    // of the replaying process
    int wall_seconds = 180;
    long memory_mb = 1024;    // address space of the replaying process (not under AddressSanitizer)
};

// What can be told without playing: size, header, version, check, event
// lines and frame count against the limits. Empty when the run may be
// played; otherwise the reason it is rejected. Fills info when it is not null.
std::string precheck_recording(const std::string& text, const verify_limits& limits, recording_info* info = nullptr);

// Empty when data_dir holds the game's sounds, which every replay needs;
// otherwise what is wrong (for the operator: check it at start-up).
std::string check_game_data(const std::string& data_dir);

// Plays the run in this process, headless, with the game's data (the sounds)
// from data_dir, and compares where it ends with what the recording says.
// Changes the working directory while it plays (one run at a time per
// process). Never throws: every failure is a rejection.
run_verdict replay_recording(const std::string& text, const std::string& data_dir, const verify_limits& limits);

// Runs `program --verify-one --data DIR --max-frames N` in a child process
// with the CPU, memory and time limits and no network, the recording on its
// standard input and the verdict as one JSON line on its standard output. A
// child that dies, overruns or says nothing gives a rejection naming why.
// Safe to call from several threads at once; the caller must leave SIGCHLD
// at its default (children are reaped here).
run_verdict verify_sandboxed(const std::string& program, const std::string& text, const std::string& data_dir,
                             const verify_limits& limits);

// The child's side of verify_sandboxed: reads the recording from standard
// input and prints the verdict. Returns the exit status.
int verify_one_main(const std::string& data_dir, const verify_limits& limits);

// The verdict as the JSON line the child prints, and back. Whatever the line
// holds, the verdict read is a sound one: anything unreadable, out of range
// or too long is a rejection saying the verifier gave no usable answer.
std::string verdict_json(const run_verdict& v);
run_verdict verdict_from_json(const std::string& line);
