// Joystick queries over the scripted joystick system.
#include <gtest/gtest.h>

#include <memory>

#include "kelvora/system/joystick.h"
#include "system/scripted_joystick.h"

using namespace kelvora;

namespace {

class Joystick : public ::testing::Test {
protected:
    void SetUp() override
    {
        sys = std::make_shared<TScriptedJoystickSystem>();
        SetJoystickSystem(sys);
    }
    void TearDown() override { SetJoystickSystem(nullptr); }
    std::shared_ptr<TScriptedJoystickSystem> sys;
};

TEST_F(Joystick, NoDeviceReadsZero)
{
    EXPECT_EQ(JoyCount(), 0);
    EXPECT_EQ(JoyX(0), 0.0f);
    EXPECT_EQ(JoyY(0), 0.0f);
    EXPECT_EQ(JoyHat(0), 0.0f);
    EXPECT_EQ(JoyHit(0, 0), 0);
    EXPECT_EQ(JoyDown(0, 0), 0);
    EXPECT_EQ(JoyName(0), "");
}

TEST_F(Joystick, TheEndsOfTheRangeAreExactlyMinusOneAndOne)
{
    int id = sys->AddDevice(6);
    ASSERT_EQ(JoyCount(), 1);
    auto& axes = sys->Dev(id).state.axes;
    axes[0] = 0;
    EXPECT_EQ(JoyX(0), -1.0f);
    axes[0] = 1;  // one step inside is not "full left"
    EXPECT_GT(JoyX(0), -1.0f);
    EXPECT_LT(JoyX(0), -0.9999f);
    axes[1] = 65535;
    EXPECT_EQ(JoyY(0), 1.0f);
    axes[1] = 65534;
    EXPECT_LT(JoyY(0), 1.0f);
    axes[2] = 32767;  // the centre sits just below 0
    EXPECT_LT(JoyZ(0), 0.0f);
    EXPECT_NEAR(JoyZ(0), -0.0000153f, 0.000001f);
    axes[3] = 0;
    axes[4] = 65535;
    axes[5] = 0;
    EXPECT_EQ(JoyR(0), -1.0f);
    EXPECT_EQ(JoyU(0), 1.0f);
    EXPECT_EQ(JoyV(0), -1.0f);

    // A device with another range maps its minimum to -1 as well.
    sys->Dev(id).caps.min[0] = 100;
    sys->Dev(id).caps.max[0] = 1000;
    axes[0] = 100;
    EXPECT_EQ(JoyX(0), -1.0f);
}

TEST_F(Joystick, AHeldButtonIsHitOnce)
{
    int id = sys->AddDevice();
    JoyCount();
    auto& buttons = sys->Dev(id).state.buttons;
    buttons = 1;
    for (int frame = 0; frame < 10; ++frame) {
        EXPECT_EQ(JoyHit(0, 0), frame == 0 ? 1 : 0) << frame;
        EXPECT_EQ(JoyDown(0, 0), 1);
    }
    buttons = 0;
    EXPECT_EQ(JoyDown(0, 0), 0);
    // A press seen by any query counts, and JoyHit returns it later.
    buttons = 1 << 2;
    JoyX(0);
    buttons = 0;
    JoyY(0);
    EXPECT_EQ(JoyHit(2, 0), 1);
    // Button numbers for JoyDown wrap at 32; hits exist for 0..15 only.
    buttons = 1u << 31 | 1;
    EXPECT_EQ(JoyDown(31, 0), 1);
    EXPECT_EQ(JoyDown(32, 0), 1);
    EXPECT_EQ(JoyDown(-1, 0), 1);
    EXPECT_EQ(JoyHit(16, 0), 0);
    EXPECT_EQ(JoyHit(-1, 0), 0);
}

TEST_F(Joystick, HatIsAFractionOfATurnOrMinusOneWhenCentred)
{
    int id = sys->AddDevice(2, 4, true);
    JoyCount();
    EXPECT_EQ(JoyHat(0), -1.0f);
    sys->Dev(id).state.pov = 9000;
    EXPECT_EQ(JoyHat(0), 0.25f);
    sys->Dev(id).state.pov = 36000;
    EXPECT_EQ(JoyHat(0), 1.0f);
}

// A device that goes used to keep its last values: a held button then kept
// the game waiting for its release for ever.
TEST_F(Joystick, AnUnpluggedDeviceReadsReleasedAndCentredAndTakesItsPortBack)
{
    int id = sys->AddDevice(2, 4, true);
    JoyCount();
    sys->Dev(id).state.axes[0] = 0;
    sys->Dev(id).state.buttons = 2;
    sys->Dev(id).state.pov = 9000;
    EXPECT_EQ(JoyX(0), -1.0f);
    sys->Dev(id).attached = false;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(JoyX(0), 0.0f);
        EXPECT_EQ(JoyY(0), 0.0f);
        EXPECT_EQ(JoyHat(0), -1.0f);
        EXPECT_EQ(JoyDown(1, 0), 0);
        EXPECT_EQ(JoyName(0), "");
    }
    EXPECT_EQ(JoyHit(1, 0), 1) << "the press made before it went still counts";
    EXPECT_EQ(JoyCount(), 0);
    // Back with the button still held: its values again, and no new press.
    sys->Dev(id).attached = true;
    sys->Dev(id).state.axes[0] = 65535;
    EXPECT_EQ(JoyX(0), 1.0f);
    EXPECT_EQ(JoyDown(1, 0), 1);
    EXPECT_EQ(JoyHit(1, 0), 0);
    EXPECT_EQ(JoyCount(), 1);
    sys->Dev(id).state.buttons = 0;
    JoyX(0);
    sys->Dev(id).state.buttons = 2;
    EXPECT_EQ(JoyHit(1, 0), 1);
}

// The game reads port 0 only. It used to stay empty when its device went
// while another was attached, and when a device came back to a higher port.
// (Presses across a move: the SDL test.)
TEST_F(Joystick, PortZeroHoldsADeviceWhileAnyIsAttachedAndNoOtherDeviceMoves)
{
    int first = sys->AddDevice();
    sys->Dev(first).state.buttons = 1;
    EXPECT_EQ(JoyDown(0, 0), 1) << "found without JoyCount";
    EXPECT_EQ(JoyHit(0, 0), 0) << "held as it arrived: no press";
    int second = sys->AddDevice();
    sys->Dev(second).state.axes[0] = 0;
    EXPECT_EQ(JoyX(1), -1.0f);
    sys->Dev(first).attached = false;
    EXPECT_EQ(JoyX(0), -1.0f) << "the other device, at once";
    EXPECT_EQ(JoyName(1), "");
    // Both go; the one that had port 1 comes back alone and takes port 0.
    sys->Dev(second).attached = false;
    EXPECT_EQ(JoyCount(), 0);
    sys->Dev(first).attached = true;
    sys->Dev(first).state.axes[0] = 65535;
    EXPECT_EQ(JoyX(0), 1.0f);
    // Newcomers take the lowest free port; one going from a port other than
    // 0 moves nobody.
    int third = sys->AddDevice();
    sys->Dev(third).state.axes[1] = 0;
    EXPECT_EQ(JoyY(1), -1.0f);
    sys->Dev(second).attached = true;
    EXPECT_EQ(JoyX(2), -1.0f);
    sys->Dev(third).attached = false;
    EXPECT_EQ(JoyX(2), -1.0f);
    EXPECT_EQ(JoyX(0), 1.0f);
    EXPECT_EQ(JoyCount(), 2);
}

TEST_F(Joystick, PortsNumberTheDevicesThatAnswer)
{
    sys->AddAbsentDevice();
    int first = sys->AddDevice();
    int second = sys->AddDevice();
    EXPECT_EQ(JoyCount(), 2);
    sys->Dev(first).state.axes[0] = 0;
    sys->Dev(second).state.axes[0] = 65535;
    EXPECT_EQ(JoyX(0), -1.0f);
    EXPECT_EQ(JoyX(1), 1.0f);
    // Ports without a device, and impossible ports, read 0.
    for (int port : {2, 15, 16, -1, 1000}) {
        EXPECT_EQ(JoyX(port), 0.0f) << port;
        EXPECT_EQ(JoyDown(0, port), 0) << port;
        EXPECT_EQ(JoyHit(0, port), 0) << port;
    }
    // Every query reads the device afresh.
    int before = sys->reads;
    JoyX(0);
    JoyY(0);
    JoyHit(0, 0);
    EXPECT_EQ(sys->reads - before, 3);
}

}  // namespace
