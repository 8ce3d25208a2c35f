// A game world on the recording 2D driver, virtual time and scripted input:
// images are solid rectangles, so hit tests work on the sprites' extents.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "game/engine.h"
#include "render/recording_rast2d_driver.h"
#include "system/scripted_joystick.h"
#include "system/scripted_system_driver.h"
#include "game/globals.h"
#include "game/mainloop.h"
#include "game/player.h"
#include "game/qvdraw.h"

using namespace kelvora;

class GameWorld : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Draw calls logged since the last clear, as "name a0 a1 ..." lines.
    std::vector<std::string> log() const;
    std::vector<TRast2DCall> draws() const { return recorder().CallsNamed("DrawFrame"); }
    void clear_log() { recorder().ClearCalls(); }
    static TRecordingRast2DDriver& recorder();

    std::shared_ptr<TVirtualClock> clock;
    std::shared_ptr<TScriptedSystemDriver> system;
};
