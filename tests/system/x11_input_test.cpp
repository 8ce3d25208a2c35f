// Real X input, sent with xdotool (XTEST) to an SDL window under Xvfb,
// must reach the engine as the events the game expects. What XTEST cannot
// make (auto-repeat, a window-manager close) goes into SDL's real queue.
// gtest before the X11 headers, whose macros clash with its names.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "kelvora/system/event.h"
#include "kelvora/system/hook.h"
#include "kelvora/system/input.h"
#include "system/pointer_mapping.h"
#include "kelvora/system/system_driver.h"
#include "tests/system/pump_until.h"

using namespace kelvora;

namespace {

std::vector<TEvent> events;

THookData Record(int, THookData data, THookData)
{
    events.push_back(*static_cast<TEvent*>(data.get()));
    return data;
}

bool HaveXdotool() { return std::system("command -v xdotool >/dev/null 2>&1") == 0; }

void Xdo(const std::string& args)
{
    std::string cmd = "xdotool " + args;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

class X11Input : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no DISPLAY";
        if (!HaveXdotool()) GTEST_SKIP() << "xdotool missing";
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        SetSystemDriver(CreateSDLSystemDriver());
        events.clear();
        AddHook(EmitEventHook(), Record, nullptr, 1000);
        EnablePolledInput();
    }
    void TearDown() override
    {
        if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
        DisablePolledInput();
        RemoveHook(EmitEventHook(), Record, nullptr);
        SetPointerMapping({});
        if (window) SDL_DestroyWindow(window);
        SetSystemDriver(nullptr);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    // A window at (x, y) with the keyboard focus; the pointer mapping names it.
    void Open(int x, int y, int w, int h, Uint32 flags, TPointerMapping mapping)
    {
        window = SDL_CreateWindow("input test", x, y, w, h, SDL_WINDOW_SHOWN | flags);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        mapping.window = window;
        SetPointerMapping(mapping);
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        ASSERT_TRUE(SDL_GetWindowWMInfo(window, &info));
        wid = std::to_string((unsigned long)info.info.x11.window);
        Xdo("windowfocus --sync " + wid);
        ASSERT_TRUE(PumpUntil([] { return Has(EVENT_APPRESUME, 0); })) << "the window never got the focus";
        events.clear();
    }

    static bool Has(int id, int data)
    {
        for (auto& e : events) {
            if (e.id == id && e.data == data) return true;
        }
        return false;
    }
    static const TEvent* Find(int id)
    {
        for (auto& e : events) {
            if (e.id == id) return &e;
        }
        return nullptr;
    }
    static int Count(int id)
    {
        int n = 0;
        for (auto& e : events) n += e.id == id;
        return n;
    }

    // Polls a little longer, so that stray extra events would show.
    static void Settle()
    {
        xdo_sync();
        for (int i = 0; i < 20; ++i) {
            PollSystem();
            SDL_Delay(5);
        }
    }
    static void xdo_sync() { std::system("xdotool sleep 0.05"); }

    SDL_Window* window = nullptr;
    std::string wid;
};

TEST_F(X11Input, KeysArriveWithTheirSideSpecificCodes)
{
    Open(100, 100, 640, 480, 0, {});
    Xdo("key Control_L");
    ASSERT_TRUE(PumpUntil([] { return Has(EVENT_KEYUP, 162); }));
    const TEvent* down = Find(EVENT_KEYDOWN);
    ASSERT_NE(down, nullptr);
    EXPECT_EQ(down->data, 162);
    EXPECT_EQ(down->mods, MODIFIER_CONTROL);
    EXPECT_EQ(KeyHit(162), 1);

    events.clear();
    Xdo("key Alt_R");
    ASSERT_TRUE(PumpUntil([] { return Has(EVENT_KEYUP, 165); }));
    EXPECT_TRUE(Has(EVENT_KEYDOWN, 165));
    EXPECT_EQ(Find(EVENT_KEYDOWN)->mods, MODIFIER_OPTION);

    events.clear();
    Xdo("key Escape key space key a key Left");
    ASSERT_TRUE(PumpUntil([] { return Has(EVENT_KEYUP, 37); }));
    EXPECT_TRUE(Has(EVENT_KEYDOWN, 27));
    EXPECT_TRUE(Has(EVENT_KEYDOWN, 32));
    EXPECT_TRUE(Has(EVENT_KEYDOWN, 65));
    EXPECT_TRUE(Has(EVENT_KEYCHAR, 'a'));
    EXPECT_TRUE(Has(EVENT_KEYCHAR, 27));
    EXPECT_EQ(KeyHit(27), 1);
    EXPECT_EQ(KeyHit(32), 1);

    events.clear();
    Xdo("keydown Shift_R");
    ASSERT_TRUE(PumpUntil([] { return Has(EVENT_KEYDOWN, 161); }));
    EXPECT_EQ(KeyDown(161), 1);
    Xdo("keyup Shift_R");
    ASSERT_TRUE(PumpUntil([] { return Has(EVENT_KEYUP, 161); }));
    EXPECT_EQ(KeyDown(161), 0);
}

TEST_F(X11Input, ClicksWheelAndCrossingsAtClientPositions)
{
    Open(100, 100, 640, 480, 0, {});
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(window, &wx, &wy);
    Xdo("mousemove " + std::to_string(wx + 200) + " " + std::to_string(wy + 150));
    ASSERT_TRUE(PumpUntil([] { return MouseX() == 200 && MouseY() == 150; }));
    events.clear();
    Xdo("click 1");
    ASSERT_TRUE(PumpUntil([] { return Has(EVENT_MOUSEUP, 1); }));
    const TEvent* down = Find(EVENT_MOUSEDOWN);
    ASSERT_NE(down, nullptr);
    EXPECT_EQ(down->data, 1);
    EXPECT_EQ(down->x, 200);
    EXPECT_EQ(down->y, 150);
    EXPECT_EQ(MouseHit(1), 1);

    events.clear();
    Xdo("click 3 click 2");
    ASSERT_TRUE(PumpUntil([] { return Has(EVENT_MOUSEUP, 3); }));
    EXPECT_TRUE(Has(EVENT_MOUSEDOWN, 2));  // right
    EXPECT_TRUE(Has(EVENT_MOUSEDOWN, 3));  // middle

    events.clear();
    Xdo("click 5");  // one notch towards the user
    ASSERT_TRUE(PumpUntil([] { return Find(EVENT_MOUSEWHEEL) != nullptr; }));
    EXPECT_EQ(Find(EVENT_MOUSEWHEEL)->data, -1);
    Xdo("click 4 click 4");
    ASSERT_TRUE(PumpUntil([] { return MouseZ() == 1; }));

    events.clear();
    Xdo("mousemove 10 10");
    ASSERT_TRUE(PumpUntil([] { return Count(EVENT_MOUSELEAVE) == 1; }));
    Xdo("mousemove 5 5");
    Settle();
    EXPECT_EQ(Count(EVENT_MOUSELEAVE), 1);
    Xdo("mousemove " + std::to_string(wx + 300) + " " + std::to_string(wy + 300));
    ASSERT_TRUE(PumpUntil([] { return Count(EVENT_MOUSEENTER) == 1; }));
    Xdo("mousemove " + std::to_string(wx + 310) + " " + std::to_string(wy + 300));
    Settle();
    EXPECT_EQ(Count(EVENT_MOUSEENTER), 1);
    EXPECT_EQ(Count(EVENT_MOUSELEAVE), 1);
}

TEST_F(X11Input, ScaledPictureReportsAndMovesInGamePixels)
{
    // A 640x480 picture shown at twice its size on the 1280x1024 screen.
    Open(0, 0, 1280, 1024, SDL_WINDOW_BORDERLESS, {nullptr, 2.0, 0.0, 32.0});
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    if (w != 1280 || h != 1024) GTEST_SKIP() << "screen is not 1280x1024";
    Xdo("mousemove 641 533");
    ASSERT_TRUE(PumpUntil([] { return MouseX() == 320 && MouseY() == 250; }));
    Xdo("click 1");
    ASSERT_TRUE(PumpUntil([] { return Has(EVENT_MOUSEUP, 1); }));
    const TEvent* down = Find(EVENT_MOUSEDOWN);
    ASSERT_NE(down, nullptr);
    EXPECT_EQ(down->x, 320);
    EXPECT_EQ(down->y, 250);

    MoveMouse(100, 400);
    ASSERT_TRUE(PumpUntil([] { return MouseX() == 100 && MouseY() == 400; }));
}

// The focus moves to a second real X window and back.
class X11Focus : public X11Input {
protected:
    void SetUp() override
    {
        X11Input::SetUp();
        if (IsSkipped()) return;
        other = SDL_CreateWindow("other window", 800, 100, 200, 200, SDL_WINDOW_SHOWN);
        ASSERT_NE(other, nullptr) << SDL_GetError();
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        ASSERT_TRUE(SDL_GetWindowWMInfo(other, &info));
        other_id = std::to_string((unsigned long)info.info.x11.window);
        Open(100, 100, 640, 480, 0, {});
    }
    void TearDown() override
    {
        if (other) SDL_DestroyWindow(other);
        X11Input::TearDown();
    }
    // xdo_away runs while the other window has the focus.
    void AwayAndBack(const std::string& xdo_away = "")
    {
        Xdo("windowfocus --sync " + other_id);
        ASSERT_TRUE(PumpUntil([] { return AppSuspended() == 1; }));
        if (!xdo_away.empty()) Xdo(xdo_away);
        Xdo("windowfocus --sync " + wid);
        ASSERT_TRUE(PumpUntil([] { return AppSuspended() == 0; }));
    }

    SDL_Window* other = nullptr;
    std::string other_id;
};

// A key held while another window has the focus must not come back as a
// press (a stray shot).
TEST_F(X11Focus, KeyHeldAcrossAFocusChangeIsNoNewPress)
{
    Xdo("keydown Control_L");
    ASSERT_TRUE(PumpUntil([] { return KeyDown(162) == 1; }));
    EXPECT_EQ(KeyHit(162), 1);
    events.clear();
    AwayAndBack();
    Settle();
    EXPECT_EQ(KeyHit(162), 0);
    EXPECT_EQ(KeyDown(162), 0);
    EXPECT_FALSE(Has(EVENT_KEYDOWN, 162)) << "held Control came back as a press";
    // It is still held (Control+letter still types a control character).
    EXPECT_EQ(events.back().mods & MODIFIER_CONTROL, MODIFIER_CONTROL);

    // A new press after the return counts.
    Xdo("keyup Control_L");
    ASSERT_TRUE(PumpUntil([] { return Has(EVENT_KEYUP, 162); }));
    Xdo("keydown Control_L");
    ASSERT_TRUE(PumpUntil([] { return KeyDown(162) == 1; }));
    EXPECT_EQ(KeyHit(162), 1);
    Xdo("keyup Control_L");

    // Space (pause) auto-repeats into the window that has the focus: its
    // first repeat after the return is no press either.
    Xdo("keydown space");
    ASSERT_TRUE(PumpUntil([] { return KeyHit(32) == 1; }));
    AwayAndBack();
    events.clear();
    bool repeated = PumpUntil([] { return Has(EVENT_KEYREPEAT, 32); });
    Settle();
    EXPECT_FALSE(Has(EVENT_KEYDOWN, 32));
    EXPECT_EQ(KeyHit(32), 0);
    EXPECT_EQ(KeyDown(32), 0);
    Xdo("keyup space");
    if (!repeated) std::printf("note: the X server did not auto-repeat Space\n");
}

// A key let go while another window has the focus is up when it returns:
// pressed again soon after, it is a press. Control does not auto-repeat;
// Space does, but is no longer down.
TEST_F(X11Focus, KeyReleasedElsewhereAndPressedSoonAfterTheReturnCounts)
{
    for (auto [name, vk] : {std::pair<std::string, int>{"Control_L", 162}, {"space", 32}}) {
        SCOPED_TRACE(name);
        Xdo("keydown " + name);
        ASSERT_TRUE(PumpUntil([vk] { return KeyDown(vk) == 1; }));
        EXPECT_EQ(KeyHit(vk), 1);
        AwayAndBack("keyup " + name);
        Xdo("sleep 0.3 keydown " + name);
        ASSERT_TRUE(PumpUntil([vk] { return Has(EVENT_KEYDOWN, vk) || Has(EVENT_KEYREPEAT, vk); }));
        EXPECT_EQ(KeyHit(vk), 1) << "the press after the return was taken for a repeat";
        EXPECT_EQ(KeyDown(vk), 1);
        Xdo("keyup " + name);
        ASSERT_TRUE(PumpUntil([vk] { return KeyDown(vk) == 0; }));
        events.clear();
    }
}

TEST_F(X11Input, PushedRepeatsAndCloseRequests)
{
    Open(100, 100, 640, 480, 0, {});
    Uint32 id = SDL_GetWindowID(window);
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = id;
    e.key.state = SDL_PRESSED;
    e.key.keysym.scancode = SDL_SCANCODE_LCTRL;
    e.key.keysym.sym = SDLK_LCTRL;
    SDL_PushEvent(&e);
    e.key.repeat = 1;
    SDL_PushEvent(&e);
    SDL_PushEvent(&e);
    PollSystem();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].ToString(), "KeyDown: data=162, mods=2, x=0, y=0, extra=\"\"");
    EXPECT_EQ(events[1].ToString(), "KeyRepeat: data=162, mods=2, x=0, y=0, extra=\"\"");
    EXPECT_EQ(KeyHit(162), 1);

    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    close.window.windowID = id;
    SDL_PushEvent(&close);
    EXPECT_EQ(AppTerminate(), 1);
    EXPECT_EQ(AppTerminate(), 0);

    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    EXPECT_EQ(AppTerminate(), 1);
    EXPECT_EQ(AppTerminate(), 0);

    // Focus reports of the game window suspend and resume.
    SDL_Event focus{};
    focus.type = SDL_WINDOWEVENT;
    focus.window.windowID = id;
    focus.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    SDL_PushEvent(&focus);
    EXPECT_EQ(AppSuspended(), 1);
    focus.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    SDL_PushEvent(&focus);
    EXPECT_EQ(AppSuspended(), 0);
}

}  // namespace
