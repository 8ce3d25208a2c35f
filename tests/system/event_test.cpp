// Events, hook chains and the translation of platform reports, through the
// scripted driver.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kelvora/runtime/errors.h"
#include "kelvora/system/event.h"
#include "kelvora/system/hook.h"
#include "kelvora/system/input.h"
#include "system/pointer_mapping.h"
#include "system/scripted_system_driver.h"

using namespace kelvora;

namespace {

TEST(Event, ToStringTexts)
{
    EXPECT_EQ(TEvent::Create(EVENT_KEYDOWN, nullptr, 162, 2)->ToString(), "KeyDown: data=162, mods=2, x=0, y=0, extra=\"\"");
    EXPECT_EQ(TEvent::Create(EVENT_MOUSEWHEEL, nullptr, -1, 0, 320, -4, std::string("note"))->ToString(),
              "MouseWheel: data=-1, mods=0, x=320, y=-4, extra=\"note\"");
    // Extras that are not strings print empty.
    EXPECT_EQ(TEvent::Create(EVENT_APPTERMINATE, nullptr, 0, 0, 0, 0, 42)->ToString(),
              "AppTerminate: data=0, mods=0, x=0, y=0, extra=\"\"");
    EXPECT_EQ(EventName(8201), "GadgetShape");
    EXPECT_EQ(EventName(16389), "WindowAccept");
    EXPECT_EQ(EventName(131073), "ProcessExit");
    EXPECT_EQ(EventName(7), "Unknown Event, id=7");
    EXPECT_EQ(EventName(int(0x80000005u)), "UserEvent5");
}

TEST(Event, UserIdsFollowEachOther)
{
    int a = TEvent::AllocUserId();
    int b = TEvent::AllocUserId();
    EXPECT_LT(a, 0);
    EXPECT_GE(unsigned(a), 0x80000001u);
    EXPECT_EQ(unsigned(b), unsigned(a) + 1u);
    EXPECT_EQ(EventName(b), "UserEvent" + std::to_string(unsigned(b) - 0x80000000u));
}

// Hooks that append their context's text to a string passed along the chain.
THookData Append(int, THookData data, THookData context)
{
    auto s = std::static_pointer_cast<std::string>(data);
    return std::make_shared<std::string>(*s + *std::static_pointer_cast<std::string>(context));
}

std::shared_ptr<std::string> Text(const char* s) { return std::make_shared<std::string>(s); }

std::string RunChain(int id)
{
    return *std::static_pointer_cast<std::string>(RunHooks(id, Text("")));
}

TEST(HookChain, RunsByDescendingPriorityNewerLastAmongEquals)
{
    int id = AllocHookId();
    auto a = Text("a"), b = Text("b"), c = Text("c"), d = Text("d"), e = Text("e");
    AddHook(id, Append, a, 0);
    AddHook(id, Append, b, 10);
    AddHook(id, Append, c, 5);
    AddHook(id, Append, d, 10);
    AddHook(id, Append, e, -3);
    EXPECT_EQ(RunChain(id), "bdcae");

    // Only the first hook with the same func and context goes.
    AddHook(id, Append, c, 5);
    RemoveHook(id, Append, c);
    EXPECT_EQ(RunChain(id), "bdcae");
    RemoveHook(id, Append, Text("c"));  // an equal text is another object
    EXPECT_EQ(RunChain(id), "bdcae");
    RemoveHook(id, Append, c);
    RemoveHook(id, Append, b);
    EXPECT_EQ(RunChain(id), "dae");
}

int self_removing_id = -1;
THookData RemoveSelf(int id, THookData data, THookData context)
{
    RemoveHook(id, RemoveSelf, context);
    return Append(id, data, context);
}

TEST(HookChain, AHookMayRemoveItselfWhileTheChainRuns)
{
    self_removing_id = AllocHookId();
    AddHook(self_removing_id, Append, Text("1"), 3);
    AddHook(self_removing_id, RemoveSelf, Text("2"), 2);
    AddHook(self_removing_id, Append, Text("3"), 1);
    EXPECT_EQ(RunChain(self_removing_id), "123");
    EXPECT_EQ(RunChain(self_removing_id), "13");
    // An empty chain hands the data back; unknown ids do nothing.
    auto data = Text("x");
    EXPECT_EQ(RunHooks(AllocHookId(), data), data);
    EXPECT_EQ(RunHooks(-1, data), data);
    AddHook(999, Append, data, 0);
}

TEST(HookChain, The257thIdIsRefused)
{
    EmitEventHook();
    int taken = 0;
    try {
        for (;;) {
            AllocHookId();
            ++taken;
            ASSERT_LE(taken, MAX_HOOK_IDS);
        }
    } catch (const TRuntimeException& e) {
        EXPECT_STREQ(e.what(), "Too many hook ids");
    }
    EXPECT_THROW(AllocHookId(), TRuntimeException);
}

// Records every event emitted, ahead of every other hook.
class Translation : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPointerMapping({});
        drv = std::make_shared<TScriptedSystemDriver>();
        SetSystemDriver(drv);
        events.clear();
        AddHook(EmitEventHook(), Record, nullptr, 1000);
    }
    void TearDown() override { RemoveHook(EmitEventHook(), Record, nullptr); }

    static THookData Record(int, THookData data, THookData)
    {
        events.push_back(*static_cast<TEvent*>(data.get()));
        return data;
    }
    std::vector<std::string> Delivered()
    {
        PollSystem();
        std::vector<std::string> t;
        for (auto& e : events) t.push_back(e.ToString());
        events.clear();
        return t;
    }

    std::shared_ptr<TScriptedSystemDriver> drv;
    static std::vector<TEvent> events;
};
std::vector<TEvent> Translation::events;

using Texts = std::vector<std::string>;

TEST_F(Translation, ModifierMaskFollowsTheSideSpecificKeys)
{
    drv->QueueKeyDown(160);
    drv->QueueKeyDown(163);
    drv->QueueKeyDown(165);
    drv->QueueKeyDown(91);
    drv->QueueKeyDown('A');
    drv->QueueKeyUp(160);
    drv->QueueKeyDown(161);
    drv->QueueKeyUp(163);
    drv->QueueKeyUp(165);
    drv->QueueKeyUp(91);
    drv->QueueKeyUp(161);
    EXPECT_EQ(Delivered(), (Texts{
                           "KeyDown: data=160, mods=1, x=0, y=0, extra=\"\"",
                           "KeyDown: data=163, mods=3, x=0, y=0, extra=\"\"",
                           "KeyDown: data=165, mods=7, x=0, y=0, extra=\"\"",
                           "KeyDown: data=91, mods=15, x=0, y=0, extra=\"\"",
                           "KeyDown: data=65, mods=15, x=0, y=0, extra=\"\"",
                           "KeyUp: data=160, mods=14, x=0, y=0, extra=\"\"",
                           "KeyDown: data=161, mods=15, x=0, y=0, extra=\"\"",
                           "KeyUp: data=163, mods=13, x=0, y=0, extra=\"\"",
                           "KeyUp: data=165, mods=9, x=0, y=0, extra=\"\"",
                           "KeyUp: data=91, mods=1, x=0, y=0, extra=\"\"",
                           "KeyUp: data=161, mods=0, x=0, y=0, extra=\"\"",
                       }));
}

TEST_F(Translation, RepeatsGenericKeysAndFocus)
{
    drv->QueueKeyDown(162);
    drv->QueueKeyRepeat(162);
    drv->QueueKeyDown(162);
    drv->QueueKeyUp(162);
    drv->QueueKeyDown(17);  // the generic Control key counts as the left one
    drv->QueueKeyDown(0);   // no key: no event
    drv->QueueKeyDown(300);
    drv->QueueFocus(false);  // forgets the held Control
    drv->QueueKeyDown('B');
    drv->QueueFocus(true);
    drv->QueueClose();
    drv->QueueChar(0xE9);
    EXPECT_EQ(Delivered(), (Texts{
                           "KeyDown: data=162, mods=2, x=0, y=0, extra=\"\"",
                           "KeyRepeat: data=162, mods=2, x=0, y=0, extra=\"\"",
                           "KeyRepeat: data=162, mods=2, x=0, y=0, extra=\"\"",
                           "KeyUp: data=162, mods=0, x=0, y=0, extra=\"\"",
                           "KeyDown: data=162, mods=2, x=0, y=0, extra=\"\"",
                           "AppSuspend: data=0, mods=0, x=0, y=0, extra=\"\"",
                           "KeyDown: data=66, mods=0, x=0, y=0, extra=\"\"",
                           "AppResume: data=0, mods=0, x=0, y=0, extra=\"\"",
                           "AppTerminate: data=0, mods=0, x=0, y=0, extra=\"\"",
                           "KeyChar: data=233, mods=0, x=0, y=0, extra=\"\"",
                       }));
}

TEST_F(Translation, EnterAndLeaveComeOnceEach)
{
    drv->QueueMotion(10, 20);
    drv->QueueMotion(11, 20);
    drv->QueueMotion(-1, 20);  // out to the left
    drv->QueueMotion(-5, 20);
    drv->QueueLeave();  // already outside: nothing more
    drv->QueueMotion(639, 479);
    drv->QueueLeave();
    drv->QueueLeave();
    EXPECT_EQ(Delivered(), (Texts{
                           "MouseEnter: data=0, mods=0, x=10, y=20, extra=\"\"",
                           "MouseMove: data=0, mods=0, x=10, y=20, extra=\"\"",
                           "MouseMove: data=0, mods=0, x=11, y=20, extra=\"\"",
                           "MouseLeave: data=0, mods=0, x=-1, y=20, extra=\"\"",
                           "MouseMove: data=0, mods=0, x=-1, y=20, extra=\"\"",
                           "MouseMove: data=0, mods=0, x=-5, y=20, extra=\"\"",
                           "MouseEnter: data=0, mods=0, x=639, y=479, extra=\"\"",
                           "MouseMove: data=0, mods=0, x=639, y=479, extra=\"\"",
                           "MouseLeave: data=0, mods=0, x=639, y=479, extra=\"\"",
                       }));
}

TEST_F(Translation, MoveDataNamesTheHeldButtonRightOverMiddleOverLeft)
{
    std::vector<int> moves;
    drv->QueueMotion(5, 5);
    drv->QueueButton(1, true);
    drv->QueueMotion(6, 5);
    drv->QueueButton(3, true);
    drv->QueueMotion(7, 5);
    drv->QueueButton(2, true);
    drv->QueueMotion(8, 5);
    drv->QueueButton(2, false);
    drv->QueueButton(3, false);
    drv->QueueButton(1, false);
    drv->QueueMotion(9, 5);
    drv->QueueWheel(-1);
    PollSystem();
    std::vector<std::string> rest;
    for (auto& e : events) {
        if (e.id == EVENT_MOUSEMOVE)
            moves.push_back(e.data);
        else
            rest.push_back(e.ToString());
    }
    events.clear();
    EXPECT_EQ(moves, (std::vector<int>{0, 1, 4, 2, 0}));
    EXPECT_EQ(rest, (Texts{
                        "MouseEnter: data=0, mods=0, x=5, y=5, extra=\"\"",
                        "MouseDown: data=1, mods=0, x=5, y=5, extra=\"\"",
                        "MouseDown: data=3, mods=0, x=6, y=5, extra=\"\"",
                        "MouseDown: data=2, mods=0, x=7, y=5, extra=\"\"",
                        "MouseUp: data=2, mods=0, x=8, y=5, extra=\"\"",
                        "MouseUp: data=3, mods=0, x=8, y=5, extra=\"\"",
                        "MouseUp: data=1, mods=0, x=8, y=5, extra=\"\"",
                        "MouseWheel: data=-1, mods=0, x=9, y=5, extra=\"\"",
                    }));
}

TEST_F(Translation, PositionsMapThroughTheScaledPicture)
{
    // 640x480 shown twice as large on 1280x1024: bars of 32 above and below.
    int fake_window = 0;
    SetPointerMapping({&fake_window, 2.0, 0.0, 32.0});
    drv->window_w = 1280;
    drv->window_h = 1024;
    drv->QueueMotion(641, 533);
    drv->QueueButton(1, true);
    drv->QueueMotion(1279, 10);  // on the top bar: above the picture
    Texts t = Delivered();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[1], "MouseMove: data=0, mods=0, x=320, y=250, extra=\"\"");
    EXPECT_EQ(t[2], "MouseDown: data=1, mods=0, x=320, y=250, extra=\"\"");
    EXPECT_EQ(t[3], "MouseMove: data=1, mods=0, x=639, y=-11, extra=\"\"");

    // MoveMouse takes game pixels and lands on a window pixel that maps back.
    EnablePolledInput();
    for (int x : {0, 1, 320, 639}) {
        MoveMouse(x, 479 - x / 2);
        EXPECT_EQ(MouseX(), x);
        EXPECT_EQ(MouseY(), 479 - x / 2);
    }
    EXPECT_EQ(drv->warp_x, 1279);  // the middle of game pixel 639
    DisablePolledInput();
    SetPointerMapping({});
}

TEST_F(Translation, HiddenPointerIsHiddenOnlyOverTheWindow)
{
    HideMouse();
    EXPECT_TRUE(drv->CursorShown());  // not over the window yet
    drv->QueueMotion(100, 100);
    PollSystem();
    EXPECT_FALSE(drv->CursorShown());
    drv->QueueMotion(700, 100);
    PollSystem();
    EXPECT_TRUE(drv->CursorShown());
    drv->QueueMotion(100, 100);
    drv->QueueLeave();
    PollSystem();
    EXPECT_TRUE(drv->CursorShown());
    drv->QueueMotion(100, 100);
    PollSystem();
    EXPECT_FALSE(drv->CursorShown());
    ShowMouse();
    EXPECT_TRUE(drv->CursorShown());
}

// A hook that asks for input while a poll is delivering events.
THookData AskDuringPoll(int, THookData data, THookData context)
{
    auto* ev = static_cast<TEvent*>(data.get());
    if (ev->id == EVENT_KEYDOWN && ev->data == 'A') *std::static_pointer_cast<int>(context) = KeyHit('B') + 10;
    return data;
}

TEST_F(Translation, APollFromInsideAHookReturnsAtOnce)
{
    EnablePolledInput();
    auto seen = std::make_shared<int>(-1);
    AddHook(EmitEventHook(), AskDuringPoll, seen, 5);
    drv->QueueKeyDown('A');
    drv->QueueKeyDown('B');
    int polls = drv->Polls();
    PollSystem();
    // The inner KeyHit did not take B from the queue ahead of its turn.
    EXPECT_EQ(*seen, 10);
    EXPECT_EQ(drv->Polls(), polls + 1);
    EXPECT_EQ(drv->Pending(), 0u);
    EXPECT_EQ(KeyHit('B'), 1);
    EXPECT_EQ(drv->Polls(), polls + 2);
    RemoveHook(EmitEventHook(), AskDuringPoll, seen);
    DisablePolledInput();
}

}  // namespace
