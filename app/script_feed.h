// Delivers an input script to the scripted system driver and joystick the
// way the replay harness does: a frame's events at the start of that frame,
// before the game's first poll; in a wait that draws nothing, the next
// frame's events at once.
#pragma once

#include <vector>

#include "app/input_script.h"

namespace kelvora {
class TScriptedSystemDriver;
class TScriptedJoystickSystem;
}  // namespace kelvora
using namespace kelvora;

class script_feed {
public:
    script_feed(std::vector<replay_event> events, TScriptedSystemDriver& system, TScriptedJoystickSystem& joysticks,
                int joy_id);
    // Frame `frame` begins (1, 2, ...).
    void frame_start(int frame);
    // One turn of a wait; false when nothing is left to deliver.
    bool idle();
    bool done() const { return next_ >= events_.size(); }
    void deliver(const replay_event& e);
    // The scripted pad the script's joystick events go to now.
    int joy_id() const { return joy_id_; }

private:
    std::vector<replay_event> events_;
    size_t next_ = 0;
    TScriptedSystemDriver& system_;
    TScriptedJoystickSystem& joysticks_;
    int joy_id_;
};
