// Real X input reaching the game through the graphics window: on the
// 1280x1024 Xvfb screen the 640x480 full-screen picture is shown at twice
// its size, and the engine must still report and place the pointer in
// the picture's own pixels.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "render/gl/gl_graphics.h"
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

const TEvent* Find(int id, int data)
{
    for (auto& e : events) {
        if (e.id == id && e.data == data) return &e;
    }
    return nullptr;
}

std::string Output(const std::string& cmd)
{
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

TEST(X11GraphicsInput, TheScaledFullScreenPictureSpeaksInGamePixels)
{
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no DISPLAY";
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool missing";
    SetSystemDriver(CreateSDLSystemDriver());
    SetGraphicsDriver(GLGraphicsDriver(), GFX_BACKBUFFER);
    AddHook(EmitEventHook(), Record, nullptr, 1000);
    ASSERT_NE(Graphics(640, 480, 1, 60, GFX_BACKBUFFER), nullptr) << LastGraphicsError();
    Flip(-1);
    TPointerMapping m = GetPointerMapping();
    ASSERT_NE(m.window, nullptr);
    if (m.scale != 2.0 || m.offset_x != 0.0 || m.offset_y != 32.0) {
        EndGraphics();
        RemoveHook(EmitEventHook(), Record, nullptr);
        GTEST_SKIP() << "the screen is not 1280x1024";
    }

    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(static_cast<SDL_Window*>(m.window), &info));
    std::string focus = "xdotool windowfocus --sync " + std::to_string((unsigned long)info.info.x11.window);
    ASSERT_EQ(std::system(focus.c_str()), 0);
    // SDL drops a click read in the same pass as a focus report.
    ASSERT_TRUE(PumpUntil([] { return Find(EVENT_APPRESUME, 0) != nullptr; })) << "the window never got the focus";
    events.clear();

    // Screen pixel (641, 533) is game pixel (320, 250).
    ASSERT_EQ(std::system("xdotool mousemove 641 533"), 0);
    ASSERT_TRUE(PumpUntil([] { return MouseX() == 320 && MouseY() == 250; }));
    ASSERT_EQ(std::system("xdotool click 1"), 0);
    ASSERT_TRUE(PumpUntil([] { return Find(EVENT_MOUSEUP, 1) != nullptr; }));
    const TEvent* down = Find(EVENT_MOUSEDOWN, 1);
    ASSERT_NE(down, nullptr);
    EXPECT_EQ(down->x, 320);
    EXPECT_EQ(down->y, 250);
    EXPECT_EQ(MouseX(), 320);
    EXPECT_EQ(MouseY(), 250);
    EXPECT_EQ(MouseHit(1), 1);

    ASSERT_EQ(std::system("xdotool key Control_L click 5"), 0);
    ASSERT_TRUE(PumpUntil([] { return Find(EVENT_MOUSEWHEEL, -1) != nullptr; }));
    EXPECT_NE(Find(EVENT_KEYDOWN, 162), nullptr);
    EXPECT_EQ(KeyHit(162), 1);

    // MoveMouse places the pointer on the screen pixel of a game pixel.
    MoveMouse(100, 400);
    ASSERT_TRUE(PumpUntil([] { return MouseX() == 100 && MouseY() == 400; }));
    std::string at = Output("xdotool getmouselocation --shell");
    EXPECT_NE(at.find("X=201\nY=833\n"), std::string::npos) << at;

    RemoveHook(EmitEventHook(), Record, nullptr);
    EndGraphics();
    EXPECT_EQ(GetPointerMapping().window, nullptr);
    SetSystemDriver(nullptr);
}

}  // namespace
