// Polled keyboard and mouse over the scripted driver: what the game reads
// after a sequence of platform reports.
#include <gtest/gtest.h>

#include <memory>

#include "kelvora/system/clock.h"
#include "kelvora/system/event.h"
#include "kelvora/system/input.h"
#include "system/pointer_mapping.h"
#include "system/scripted_system_driver.h"

using namespace kelvora;

namespace {

class PolledInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        clock = std::make_shared<TVirtualClock>(0);
        SetClock(clock);
        SetPointerMapping({});
        drv = std::make_shared<TScriptedSystemDriver>();
        SetSystemDriver(drv);
        EnablePolledInput();
    }
    void TearDown() override
    {
        DisablePolledInput();
        SetClock(nullptr);
    }
    void Tap(int vk)
    {
        drv->QueueKeyDown(vk);
        drv->QueueKeyUp(vk);
    }

    std::shared_ptr<TVirtualClock> clock;
    std::shared_ptr<TScriptedSystemDriver> drv;
};

TEST_F(PolledInput, KeyHitCountsPressesSinceTheLastAskNotFrames)
{
    Tap(KEY_SPACE);
    Tap(KEY_SPACE);
    // The query itself pumps: nobody called PollSystem.
    EXPECT_EQ(KeyHit(KEY_SPACE), 2);
    EXPECT_EQ(KeyHit(KEY_SPACE), 0);
    EXPECT_EQ(KeyDown(KEY_SPACE), 0);

    drv->QueueKeyDown(KEY_ESCAPE);
    EXPECT_EQ(KeyDown(KEY_ESCAPE), 1);
    EXPECT_EQ(KeyHit(KEY_ESCAPE), 1);
}

TEST_F(PolledInput, HoldingAKeyIsOneHitHoweverManyRepeats)
{
    drv->QueueKeyDown(KEY_LCONTROL);
    for (int i = 0; i < 20; ++i) drv->QueueKeyRepeat(KEY_LCONTROL);
    // A second press report without release is a repeat as well.
    drv->QueueKeyDown(KEY_LCONTROL);
    EXPECT_EQ(KeyHit(KEY_LCONTROL), 1);
    EXPECT_EQ(KeyDown(KEY_LCONTROL), 1);
    drv->QueueKeyUp(KEY_LCONTROL);
    EXPECT_EQ(KeyDown(KEY_LCONTROL), 0);
    EXPECT_EQ(KeyHit(KEY_LCONTROL), 0);
}

TEST_F(PolledInput, AFlushedKeyReadsUpUntilPressedAgain)
{
    drv->QueueKeyDown(KEY_UP);
    EXPECT_EQ(KeyDown(KEY_UP), 1);
    Tap(KEY_SPACE);
    drv->QueueChar('x');
    FlushKeys();
    EXPECT_EQ(KeyHit(KEY_SPACE), 0);
    EXPECT_EQ(GetChar(), 0);
    drv->QueueKeyRepeat(KEY_UP);  // still physically held
    EXPECT_EQ(KeyDown(KEY_UP), 0);
    drv->QueueKeyUp(KEY_UP);
    drv->QueueKeyDown(KEY_UP);
    EXPECT_EQ(KeyDown(KEY_UP), 1);
    EXPECT_EQ(KeyHit(KEY_UP), 1);
}

TEST_F(PolledInput, LosingAndRegainingTheFocusFlushesEverything)
{
    drv->QueueKeyDown(KEY_LCONTROL);
    drv->QueueButton(1, true);
    drv->QueueWheel(3);
    drv->QueueFocus(false);
    EXPECT_EQ(AppSuspended(), 1);
    EXPECT_EQ(KeyDown(KEY_LCONTROL), 0);
    EXPECT_EQ(KeyHit(KEY_LCONTROL), 0);
    EXPECT_EQ(MouseDown(1), 0);
    EXPECT_EQ(MouseZ(), 0);

    // A press while suspended is dropped again by the resume.
    drv->QueueKeyDown(KEY_SPACE);
    drv->QueueFocus(true);
    EXPECT_EQ(AppSuspended(), 0);
    EXPECT_EQ(KeyHit(KEY_SPACE), 0);
    EXPECT_EQ(KeyDown(KEY_LCONTROL), 0);
    drv->QueueKeyDown(KEY_LCONTROL);
    EXPECT_EQ(KeyHit(KEY_LCONTROL), 1);
}

TEST_F(PolledInput, TheCharacterQueueKeeps256AndDropsTheRest)
{
    for (int i = 0; i < 300; ++i) drv->QueueChar(1000 + i);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(GetChar(), 1000 + i) << "character " << i;
    EXPECT_EQ(GetChar(), 0);

    // The ring keeps working past its end.
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 200; ++i) drv->QueueChar(i + 1);
        for (int i = 0; i < 200; ++i) ASSERT_EQ(GetChar(), i + 1);
    }
    EXPECT_EQ(GetChar(), 0);
}

TEST_F(PolledInput, AppTerminateIsReadOnce)
{
    EXPECT_EQ(AppTerminate(), 0);
    drv->QueueClose();
    drv->QueueClose();
    EXPECT_EQ(AppTerminate(), 1);
    EXPECT_EQ(AppTerminate(), 0);
}

TEST_F(PolledInput, MouseButtonsWheelAndPosition)
{
    drv->QueueMotion(100, 200);
    drv->QueueButton(1, true);
    drv->QueueButton(1, false);
    drv->QueueButton(1, true);
    drv->QueueButton(2, true);
    for (int s : {1, 1, -1, -1, -1}) drv->QueueWheel(s);
    EXPECT_EQ(MouseX(), 100);
    EXPECT_EQ(MouseY(), 200);
    EXPECT_EQ(MouseHit(1), 2);
    EXPECT_EQ(MouseDown(1), 1);
    EXPECT_EQ(MouseDown(2), 1);
    EXPECT_EQ(MouseDown(3), 0);
    EXPECT_EQ(MouseDown(0), 0);
    EXPECT_EQ(MouseZ(), -1);

    FlushMouse();
    EXPECT_EQ(MouseZ(), 0);
    EXPECT_EQ(MouseDown(1), 0);
    EXPECT_EQ(MouseHit(2), 0);
    EXPECT_EQ(MouseX(), 100);
    EXPECT_EQ(MouseY(), 200);
}

TEST_F(PolledInput, OutOfRangeNumbersReadZeroAndTouchNothing)
{
    drv->QueueKeyDown('A');
    for (int key : {-1, 256, 1000, -100000}) EXPECT_EQ(KeyHit(key) + KeyDown(key), 0) << key;
    for (int button : {-1, 4, 99}) EXPECT_EQ(MouseHit(button) + MouseDown(button), 0) << button;
    // Events made by a caller with wild data must not write past the tables
    // (key 288 would land on the hits of key 32, button 7 on those of 3).
    TEvent::Create(EVENT_KEYDOWN, nullptr, 256 + KEY_SPACE)->Emit();
    TEvent::Create(EVENT_KEYDOWN, nullptr, -5)->Emit();
    TEvent::Create(EVENT_MOUSEDOWN, nullptr, 7)->Emit();
    TEvent::Create(EVENT_MOUSEUP, nullptr, -1)->Emit();
    EXPECT_EQ(KeyHit(KEY_SPACE), 0);
    EXPECT_EQ(KeyDown(KEY_SPACE), 0);
    EXPECT_EQ(MouseHit(3), 0);
    EXPECT_EQ(KeyHit('A'), 1);
}

TEST_F(PolledInput, OnlyEventsOfTheChosenSourceCount)
{
    DisablePolledInput();
    auto mine = std::make_shared<int>(1);
    EnablePolledInput(mine);
    // Enabling again changes nothing: one hook, one count per press.
    EnablePolledInput(nullptr);
    TEvent::Create(EVENT_KEYDOWN, std::make_shared<int>(2), 65)->Emit();
    TEvent::Create(EVENT_KEYDOWN, nullptr, 66)->Emit();
    TEvent::Create(EVENT_KEYDOWN, mine, 67)->Emit();
    EXPECT_EQ(KeyHit(65), 0);
    EXPECT_EQ(KeyHit(66), 0);
    EXPECT_EQ(KeyHit(67), 1);
}

TEST_F(PolledInput, DisabledInputSeesNothing)
{
    DisablePolledInput();
    Tap('A');
    EXPECT_EQ(KeyHit('A'), 0);
    EnablePolledInput();
    EXPECT_EQ(KeyHit('A'), 0);  // enabling flushes
    Tap('A');
    EXPECT_EQ(KeyHit('A'), 1);
}

TEST_F(PolledInput, WaitKeyWaitsOnVirtualTimeForAPress)
{
    Tap('Q');  // before the wait: flushed away
    drv->on_wait = [this] {
        Delay(100);
        if (Millisecs() >= 300) drv->QueueKeyDown('W');
    };
    EXPECT_EQ(WaitKey(), 'W');
    EXPECT_EQ(Millisecs(), 300);
    EXPECT_EQ(KeyHit('W'), 0);  // the wait took the press

    drv->on_wait = [this] { drv->QueueChar('z'); };
    EXPECT_EQ(WaitChar(), 'z');
    drv->on_wait = [this] { drv->QueueButton(3, true); };
    EXPECT_EQ(WaitMouse(), 3);
}

}  // namespace
