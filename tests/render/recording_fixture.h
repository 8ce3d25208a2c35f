// A 640x480 graphics of the recording driver made current for each test,
// with the log emptied of its activation calls.
#pragma once

#include <gtest/gtest.h>

#include "render/rast2d_graphics.h"
#include "render/recording_rast2d_driver.h"

using namespace kelvora;

class RecordingGraphicsTest : public ::testing::Test {
protected:
    void SetUp() override {
        graphics = driver.CreateGraphics(640, 480, 0, 60, 0);
        ASSERT_NE(graphics, nullptr);
        driver.SetGraphics(graphics);
        driver.ClearCalls();
    }
    void TearDown() override { driver.SetGraphics(nullptr); }

    TRecordingRast2DDriver driver;
    TGraphicsPtr graphics;
};
