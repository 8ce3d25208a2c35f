// The session recorded as --record records it, and a whole recording of it
// at any moment: the program writes one when it ends; a program that sends
// its runs to a score table takes one each time a game ends.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/input_script.h"
#include "kelvora/system/joystick.h"
#include "kelvora/system/system_driver.h"
#include "system/input_recorder.h"

class session_recording {
public:
    // Records what the given drivers deliver (they are replaced by the
    // recorder's as the current ones). The game must read time only through
    // Delay on a clock that started at clock_ms and moves only by the
    // delays asked (as the paced clocks do), or its recordings would not
    // replay.
    session_recording(std::shared_ptr<kelvora::TSystemDriver> system,
                      std::shared_ptr<kelvora::TJoystickSystem> joysticks, int clock_ms);
    ~session_recording();
    session_recording(const session_recording&) = delete;
    session_recording& operator=(const session_recording&) = delete;

    // Called at the start of the frame after the one in which a game ended,
    // with the recording of the session up to then and the game's final
    // score. Set before the game starts.
    std::function<void(const std::string& recording, int final_score)> on_game_end;

    // Whole recordings: of the frames played so far (the state after the
    // last of them as its end), and of a session the game has just ended
    // (taken in the game's last moment, as run_game's callback).
    std::string so_far() const;
    void note_end();
    std::string at_end() const { return ended_; }

private:
    std::string make(int frames) const;

    kelvora::TInputRecorder recorder_;
    recording_info info_;
    bool started_ = false;
    bool in_results_ = false;
    std::string ended_;
};
