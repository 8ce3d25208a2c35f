// Recording what the player does, at the granularity the game sees it.
//
// The game polls many times inside a frame (every KeyHit pumps), so what one
// poll delivers depends on the moment the platform happened to report it. A
// replay can only match when every event reaches the game at a moment the
// replay reproduces: here the real system driver pumps at most once per
// frame (and once per turn of a wait that draws nothing), and the joysticks
// are taken in and read once per frame; what they delivered is logged under the frame
// number, in the replay script's words. The harness delivers a script's
// events of a frame at the start of that frame, before the game's first
// poll, so the game sees the same events in the same frames.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kelvora/system/joystick.h"
#include "kelvora/system/system_driver.h"

namespace kelvora {

class TInputRecorder {
public:
    TInputRecorder(std::shared_ptr<TSystemDriver> real, std::shared_ptr<TJoystickSystem> real_joysticks);
    ~TInputRecorder();
    TInputRecorder(const TInputRecorder&) = delete;
    TInputRecorder& operator=(const TInputRecorder&) = delete;

    // Install these as the current system driver and joystick system.
    std::shared_ptr<TSystemDriver> SystemDriver() { return system_; }
    std::shared_ptr<TJoystickSystem> JoystickSystem() { return joysticks_; }

    // A frame begins: the next poll may pump, the joysticks are read afresh.
    void BeginFrame();
    // A turn of a wait that draws nothing: one more pump, logged under the
    // next frame (the harness delivers the next frame's events in a wait).
    void IdleTurn();

    int Frame() const { return frame_; }
    // "FRAME WHAT ARGS" lines, in order.
    const std::vector<std::string>& Lines() const { return lines_; }

    // Shared with the wrappers, which may outlive the recorder (the display
    // closes at exit): once it is gone they pass everything through.
    struct gate {
        bool recording = true;
        bool may_pump = false;
        bool joystick_fresh = false;
        bool devices_fresh = true;
    };
    void Log(const std::string& what);

private:
    int LogFrame() const { return idle_ ? frame_ + 1 : frame_; }
    std::shared_ptr<gate> gate_ = std::make_shared<gate>();
    std::shared_ptr<TSystemDriver> system_;
    std::shared_ptr<TJoystickSystem> joysticks_;
    std::vector<std::string> lines_;
    int frame_ = 0;
    bool idle_ = false;
};

}  // namespace kelvora
