// Joystick queries over real SDL joysticks, with SDL's virtual device.
#include <SDL.h>
#include <gtest/gtest.h>

#include "system/joystick.h"

namespace {

class SDLJoystick : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        SetJoystickSystem(CreateSDLJoystickSystem());
    }
    void TearDown() override
    {
        SetJoystickSystem(nullptr);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
};

TEST_F(SDLJoystick, NoDeviceReadsZero)
{
    if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is plugged in";
    EXPECT_EQ(JoyCount(), 0);
    EXPECT_EQ(JoyX(0), 0.0f);
    EXPECT_EQ(JoyHit(0, 0), 0);
}

TEST_F(SDLJoystick, VirtualStickEndsButtonsHatAndUnplugging)
{
    int before = SDL_NumJoysticks();
    int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 4, 1);
    ASSERT_GE(index, 0) << SDL_GetError();
    SDL_Joystick* stick = SDL_JoystickOpen(index);
    ASSERT_NE(stick, nullptr);
    ASSERT_EQ(JoyCount(), before + 1);
    int port = index;  // every device answers, so ports follow SDL's order

    SDL_JoystickSetVirtualAxis(stick, 0, -32768);
    EXPECT_EQ(JoyX(port), -1.0f);
    SDL_JoystickSetVirtualAxis(stick, 0, -32767);
    EXPECT_NE(JoyX(port), -1.0f);
    EXPECT_LT(JoyX(port), -0.9999f);
    SDL_JoystickSetVirtualAxis(stick, 1, 32767);
    EXPECT_EQ(JoyY(port), 1.0f);

    SDL_JoystickSetVirtualButton(stick, 0, SDL_PRESSED);
    EXPECT_EQ(JoyHit(0, port), 1);
    for (int frame = 0; frame < 5; ++frame) {
        EXPECT_EQ(JoyHit(0, port), 0);
        EXPECT_EQ(JoyDown(0, port), 1);
    }
    SDL_JoystickSetVirtualButton(stick, 0, SDL_RELEASED);
    EXPECT_EQ(JoyDown(0, port), 0);

    EXPECT_EQ(JoyHat(port), -1.0f);
    SDL_JoystickSetVirtualHat(stick, 0, SDL_HAT_LEFT);
    EXPECT_EQ(JoyHat(port), 0.75f);

    // Unplugged while running: the last values stay.
    SDL_JoystickSetVirtualAxis(stick, 0, -32768);
    SDL_JoystickSetVirtualButton(stick, 2, SDL_PRESSED);
    EXPECT_EQ(JoyX(port), -1.0f);
    SDL_JoystickClose(stick);
    ASSERT_EQ(SDL_JoystickDetachVirtual(index), 0) << SDL_GetError();
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(JoyX(port), -1.0f);
        EXPECT_EQ(JoyDown(2, port), 1);
    }
    EXPECT_EQ(JoyCount(), before);
}

}  // namespace
