// The game played headless and exactly: the real start-up and main loop on a
// virtual clock, input from a script, a chosen 2D driver, and the mixer
// pulled as the clock advances. The replay tool and the score server's
// verifier both play through this one copy.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/input_script.h"

namespace kelvora {
class TRecordingRast2DDriver;
}  // namespace kelvora
using namespace kelvora;

struct harness_setup {
    int frames = 0;                 // the run stops when frame frames + 1 would begin
    int clock_ms = 0;               // the virtual clock's start
    std::string driver = "record";  // gl, core or es (OpenGL, forced), or record (no display)
    std::string audio;              // the mix as a WAV file; empty: mixed, not kept
};

class game_harness {
public:
    // The game's working directory (data/ with the sounds and saved values)
    // is the current one when run() is called.
    game_harness(harness_setup setup, std::vector<replay_event> events);
    ~game_harness();
    game_harness(const game_harness&) = delete;
    game_harness& operator=(const game_harness&) = delete;

    // Before every frame, the frames presented so far: what the game holds
    // now is the state after that frame (0: the saved values are loaded,
    // nothing is drawn yet). Called where the run stops too.
    std::function<void(int frame)> between_frames;
    // As frame `frame` is presented (a picture to grab is on the back buffer).
    std::function<void(int frame)> presenting;
    // After the last frame (and the game's shutdown when it quit), before
    // the game's globals are reset.
    std::function<void(int frame)> at_end;

    // Plays until the game quits or the frames are done; once. Returns 0, or
    // 1 when no display could be opened. A WAV file that cannot be written
    // is an error before anything plays; errors of the game pass through,
    // with the hooks taken down.
    int run();

    int frame() const { return frame_; }
    // The recording driver's calls of the frame just presented (null on the
    // OpenGL drivers); cleared as each frame begins.
    TRecordingRast2DDriver* recorder() const { return recorder_; }

private:
    struct parts;
    friend struct harness_flip;
    void frame_start();
    void idle();
    void on_flip();

    harness_setup setup_;
    std::unique_ptr<parts> parts_;
    int frame_ = 0;           // frames begun so far
    bool flip_armed_ = false; // the next flip is the one of frame_
    TRecordingRast2DDriver* recorder_ = nullptr;  // lives to program exit, like any driver
};
