// Pads that come and go while a run is recorded: the replay of the recording
// gives the game the same readings on its port, frame by frame.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/input_script.h"
#include "app/script_feed.h"
#include "system/input_recorder.h"
#include "kelvora/system/joystick.h"
#include "system/scripted_joystick.h"
#include "system/scripted_system_driver.h"

using namespace kelvora;

namespace {

// What the game reads of port 0, twice a frame as it polls more than once.
std::string game_reads()
{
    std::ostringstream s;
    for (int i = 0; i < 2; ++i) {
        JoyCount();
        s << JoyX() << ',' << JoyY() << ',' << JoyDown(0) << JoyDown(1) << ',' << JoyHit(0) << JoyHit(1) << ' ';
    }
    return s.str();
}

TEST(RecordedPads, PluggingAndUnpluggingReplaysAsTheGameSawIt)
{
    auto live = std::make_shared<TScriptedJoystickSystem>();
    const int a = live->AddDevice(2, 4);
    const int b = live->AddAbsentDevice();
    std::vector<std::string> seen;
    std::vector<std::string> lines;
    {
        TInputRecorder recorder(std::make_shared<TScriptedSystemDriver>(), live);
        SetJoystickSystem(recorder.JoystickSystem());
        for (int frame = 1; frame <= 14; ++frame) {
            recorder.BeginFrame();
            seen.push_back(game_reads());
            // Changes come between the game's polls; it sees them next frame.
            auto& pa = live->Dev(a);
            auto& pb = live->Dev(b);
            switch (frame) {
            case 2: pa.state.buttons = 1, pa.state.axes[0] = 0; break;
            case 3: pb.attached = true, pb.state.buttons = 3, pb.state.axes[1] = 65535; break;  // held as it comes
            case 5: pa.attached = false; break;  // b moves to port 0, its buttons no press
            case 7: pb.state.buttons = 0; break;
            case 8: pb.state.buttons = 1; break;
            case 9: pb.attached = false; break;  // none left
            case 11: pa.attached = true, pa.state.buttons = 2; break;
            case 12: pa.state.buttons = 0, pa.state.axes[0] = 32767; break;
            }
            seen.back() += game_reads();
        }
        lines = recorder.Lines();
    }

    std::string script;
    for (const std::string& l : lines)
        script += l + "\n";
    EXPECT_NE(script.find("joy unplug"), std::string::npos) << script;
    auto joysticks = std::make_shared<TScriptedJoystickSystem>();
    SetJoystickSystem(joysticks);
    TScriptedSystemDriver system;
    script_feed feed(parse_replay_script(script), system, *joysticks, joysticks->AddDevice(2, 4));
    for (int frame = 1; frame <= 14; ++frame) {
        feed.frame_start(frame);
        std::string replayed = game_reads();
        replayed += game_reads();
        EXPECT_EQ(replayed, seen[size_t(frame - 1)]) << "frame " << frame << "\n" << script;
    }
    SetJoystickSystem(nullptr);
}

}  // namespace
