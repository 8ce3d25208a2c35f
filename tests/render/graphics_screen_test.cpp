// What the OpenGL graphics driver really puts on the screen of an X server
// (Xvfb, 1280x1024) with Mesa, read back from the server itself. Runs on an
// X server of its own, so no other test's window can cover the picture.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/render/graphics_gl_fixture.h"
#include "kelvora/system/input.h"
#include "system/pointer_mapping.h"
#include "kelvora/system/system_driver.h"
#include "tests/system/pump_until.h"

using namespace kelvora;

namespace {

void Xdo(const std::string& args)
{
    std::string cmd = "xdotool " + args;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// A new window gets the focus (SDL gives it where no window manager runs).
// SDL drops a click read in the same pass as a focus report, as the click
// that focused the window: the report must be in before a test clicks.
bool TakesTheFocus(SDL_Window* window)
{
    return PumpUntil([window] { return SDL_GetKeyboardFocus() == window; });
}

// Clicks button 1 where the pointer is and waits for its press and release.
int ClickCount()
{
    Xdo("click 1");
    int hits = 0;
    PumpUntil([&hits] {
        hits += MouseHit(1);
        return hits > 0 && !MouseDown(1);
    });
    return hits;
}

// The size the X server last gave a window, as SDL has read it.
struct TServerSize {
    Uint32 window = 0;
    int w = 0, h = 0;
};

int WatchServerSize(void* data, SDL_Event* e)
{
    auto* size = static_cast<TServerSize*>(data);
    if (e->type == SDL_WINDOWEVENT && e->window.event == SDL_WINDOWEVENT_RESIZED && e->window.windowID == size->window) {
        size->w = e->window.data1;
        size->h = e->window.data2;
    }
    return 0;
}

// Pixels of the X server's screen, read over a connection of our own after
// everything drawn through the game window's connection has arrived.
class TScreen {
public:
    TScreen() : display_(XOpenDisplay(nullptr)) {}
    ~TScreen()
    {
        if (display_) XCloseDisplay(display_);
    }
    unsigned long At(int x, int y)
    {
        SyncGameWindow();
        XImage* im = XGetImage(display_, DefaultRootWindow(display_), x, y, 1, 1, AllPlanes, ZPixmap);
        if (!im) return 0xdeadbeef;
        unsigned long p = XGetPixel(im, 0, 0) & 0xffffff;
        XDestroyImage(im);
        return p;
    }

private:
    static void SyncGameWindow()
    {
        glFinish();
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        auto* w = static_cast<SDL_Window*>(GetPointerMapping().window);
        if (w && SDL_GetWindowWMInfo(w, &info) && info.subsystem == SDL_SYSWM_X11) XSync(info.info.x11.display, False);
    }
    Display* display_;
};

using GLScreen = GLGraphicsTest;

TEST_F(GLScreen, WindowShowsThePictureOneToOne)
{
    auto g = Graphics(640, 480, 0, 60, GFX_BACKBUFFER);
    ASSERT_NE(g, nullptr) << LastGraphicsError();
    EXPECT_EQ(GraphicsWidth(), 640);
    EXPECT_EQ(GraphicsHeight(), 480);
    EXPECT_EQ(GraphicsDepth(), 0);
    TPointerMapping m = GetPointerMapping();
    ASSERT_NE(m.window, nullptr);
    EXPECT_EQ(m.scale, 1.0);
    EXPECT_EQ(m.offset_x, 0.0);
    EXPECT_EQ(m.offset_y, 0.0);
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(static_cast<SDL_Window*>(m.window), &wx, &wy);

    Paint(RED, 640, 480);
    Flip(0);
    TScreen screen;
    EXPECT_EQ(screen.At(wx, wy), GREEN);
    EXPECT_EQ(screen.At(wx + 9, wy + 9), GREEN);
    EXPECT_EQ(screen.At(wx + 10, wy + 10), RED);
    EXPECT_EQ(screen.At(wx + 320, wy + 240), RED);
    EXPECT_EQ(screen.At(wx + 639, wy + 479), BLUE);
    EXPECT_EQ(screen.At(wx + 629, wy + 469), RED);

    // Right after Flip the picture just shown is there to read, and the
    // next frame draws over it.
    EXPECT_EQ(ReadBack(0, 0), GREEN);
    EXPECT_EQ(ReadBack(320, 240), RED);
    Paint(BLUE, 640, 480);
    Flip(-1);
    EXPECT_EQ(ReadBack(320, 240), BLUE);
    EXPECT_EQ(screen.At(wx + 320, wy + 240), BLUE);

    EndGraphics();
    EXPECT_EQ(GetPointerMapping().window, nullptr);
    EXPECT_EQ(GraphicsWidth(), 0);
}

TEST_F(GLScreen, FullScreenIsScaledToFitWithBlackBars)
{
    auto g = Graphics(640, 480, 1, 60, GFX_BACKBUFFER);
    ASSERT_NE(g, nullptr) << LastGraphicsError();
    EXPECT_EQ(GraphicsWidth(), 640);
    EXPECT_EQ(GraphicsHeight(), 480);
    // The 24-bit Xvfb screen lists no 640x480 mode: its own depth is recorded.
    EXPECT_EQ(GraphicsDepth(), 24);
    EXPECT_EQ(GraphicsHertz(), 60);

    // 1280x1024 holds the picture at twice its size, 32 rows of bar above and below.
    TPointerMapping m = GetPointerMapping();
    EXPECT_EQ(m.scale, 2.0);
    EXPECT_EQ(m.offset_x, 0.0);
    EXPECT_EQ(m.offset_y, 32.0);

    // A picture cleared whole shows the same as one copied: its colour
    // where it goes, black bars around, the picture itself untouched.
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0x28 / 255.f, 0x50 / 255.f, 0xa0 / 255.f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    const uint8_t cleared[3] = {0x28, 0x50, 0xa0};
    GLGraphicsDriver()->FlipCleared(-1, cleared);
    TScreen screen;
    for (auto [x, y] : {std::pair{0, 32}, {1279, 991}, {640, 512}})
        EXPECT_EQ(screen.At(x, y), 0x2850a0ul) << x << "," << y;
    for (auto [x, y] : {std::pair{0, 31}, {1279, 992}, {640, 1023}})
        EXPECT_EQ(screen.At(x, y), BLACK) << x << "," << y;
    EXPECT_EQ(ReadBack(320, 240), 0x2850a0ul);

    Paint(RED, 640, 480);
    EXPECT_EQ(ReadBack(0, 0), GREEN);
    EXPECT_EQ(ReadBack(639, 479), BLUE);
    Flip(-1);
    EXPECT_EQ(screen.At(640, 0), BLACK);
    EXPECT_EQ(screen.At(0, 31), BLACK);
    EXPECT_EQ(screen.At(0, 32), GREEN);
    EXPECT_EQ(screen.At(19, 51), GREEN);
    EXPECT_EQ(screen.At(20, 52), RED);
    EXPECT_EQ(screen.At(640, 512), RED);
    EXPECT_EQ(screen.At(1279, 991), BLUE);
    EXPECT_EQ(screen.At(1260, 972), BLUE);
    EXPECT_EQ(screen.At(1259, 971), RED);
    EXPECT_EQ(screen.At(1279, 992), BLACK);
    EXPECT_EQ(screen.At(640, 1023), BLACK);

    // Reading back still sees the 640x480 picture, whether drawn offscreen
    // or straight into the window (no framebuffer objects): the grab right
    // after Flip is the frame drawn, and a flip without drawing shows it again.
    EXPECT_EQ(ReadBack(0, 0), GREEN);
    EXPECT_EQ(ReadBack(639, 479), BLUE);
    EXPECT_EQ(ReadBack(320, 240), RED);
    // The frame below is written through the fixed-function pixel path; the
    // shader drivers always draw offscreen, which the reads above cover.
    if (!TestingLegacy()) return;
    std::vector<uint32_t> drawn(640 * 480), grabbed(640 * 480);
    for (int i = 0; i < 640 * 480; ++i) drawn[i] = uint32_t(i * 2654435761u) | 0xff000000u;
    glRasterPos2f(-1, -1);  // the window's bottom-left corner: the projection is the identity
    glDrawPixels(640, 480, GL_RGBA, GL_UNSIGNED_BYTE, drawn.data());
    Flip(-1);
    glReadPixels(0, 0, 640, 480, GL_RGBA, GL_UNSIGNED_BYTE, grabbed.data());
    int differ = 0;
    for (int i = 0; i < 640 * 480; ++i) differ += drawn[i] != grabbed[i];
    EXPECT_EQ(differ, 0) << "of 307200 pixels";
    Flip(-1);
    EXPECT_EQ(screen.At(1279, 991), (drawn[639] & 0xff) << 16 | (drawn[639] & 0xff00) | (drawn[639] >> 16 & 0xff));
}

TEST_F(GLScreen, ClickOnTheScaledPictureArrivesInItsPixels)
{
    SetSystemDriver(nullptr);  // the real SDL event pump
    ASSERT_NE(Graphics(640, 480, 1, 60, GFX_BACKBUFFER), nullptr) << LastGraphicsError();
    ASSERT_TRUE(TakesTheFocus(static_cast<SDL_Window*>(GetPointerMapping().window)));
    Paint(RED, 640, 480);
    Flip(-1);
    // Screen (101, 133) is inside picture pixel (50, 50): x 101 / 2, y (133 - 32) / 2.
    Xdo("mousemove 101 133");
    ASSERT_TRUE(PumpUntil([] { return MouseX() == 50 && MouseY() == 50; })) << MouseX() << "," << MouseY();
    EXPECT_EQ(ClickCount(), 1);
}

TEST_F(GLScreen, AWindowMadeSmallerThanThePictureShowsAllOfItScaledDown)
{
    SetSystemDriver(nullptr);  // the real SDL event pump
    SetGraphicsWindowScale(1);  // resizable, as the game opens it
    auto g = Graphics(640, 480, 0, 60, GFX_BACKBUFFER);
    SetGraphicsWindowScale(-1);
    ASSERT_NE(g, nullptr) << LastGraphicsError();
    SKIP_WITHOUT_OFFSCREEN();
    auto* window = static_cast<SDL_Window*>(GetPointerMapping().window);
    ASSERT_TRUE(TakesTheFocus(window));
    int w = 0, h = 0;
    TServerSize server{SDL_GetWindowID(window)};
    SDL_AddEventWatch(WatchServerSize, &server);
    SDL_SetWindowSize(window, 100, 100);
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w * 1000 + h, 320 * 1000 + 240) << "no smaller than half the picture";
    SDL_SetWindowSize(window, 600, 400);
    bool resized = PumpUntil([&server] { return server.w == 600 && server.h == 400; });
    SDL_DelEventWatch(WatchServerSize, &server);
    ASSERT_TRUE(resized) << "the X server gave " << server.w << "x" << server.h;
    TScreen screen;
    Paint(RED, 640, 480);
    Flip(-1);  // Mesa takes a window's new size from the swap on
    Flip(-1);

    // 533x400 with bars of 33 and 34 pixels, on this software rasteriser as anywhere.
    TPointerMapping m = GetPointerMapping();
    EXPECT_DOUBLE_EQ(m.scale, 533.0 / 640);
    EXPECT_EQ(m.offset_x, 33.0);
    EXPECT_EQ(m.offset_y, 0.0);
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(window, &wx, &wy);
    EXPECT_EQ(screen.At(wx + 32, wy + 200), BLACK);
    EXPECT_EQ(screen.At(wx + 33, wy), GREEN);
    EXPECT_EQ(screen.At(wx + 300, wy + 200), RED);
    EXPECT_EQ(screen.At(wx + 565, wy + 399), BLUE);
    EXPECT_EQ(screen.At(wx + 566, wy + 200), BLACK);

    // Window pixel (41, 8) shows picture pixel (10, 10), the red one at the
    // green square's corner: its centre is at x (41.5 - 33) / (533 / 640),
    // 10.2. The pointer there is in that pixel, not in the green (9, 9)
    // under the window pixel's top-left corner.
    EXPECT_EQ(screen.At(wx + 41, wy + 8), RED);
    Xdo("mousemove " + std::to_string(wx + 41) + " " + std::to_string(wy + 8));
    ASSERT_TRUE(PumpUntil([] { return MouseX() == 10 && MouseY() == 10; })) << MouseX() << "," << MouseY();
    EXPECT_EQ(ClickCount(), 1);
}

TEST_F(GLScreen, AttachedWindowShowsThePictureAndOutlivesIt)
{
    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    Window win = XCreateSimpleWindow(x, DefaultRootWindow(x), 100, 100, 200, 150, 0, 0, 0);
    XMapWindow(x, win);
    XSync(x, False);

    auto g = AttachGraphics(reinterpret_cast<void*>(uintptr_t(win)), 0);
    ASSERT_NE(g, nullptr) << LastGraphicsError();
    int w, h, d, hz, f;
    g->GetSettings(w, h, d, hz, f);
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 150);
    EXPECT_EQ(d, 0);
    SetGraphics(g);
    Paint(RED, 200, 150);
    Flip(0);
    TScreen screen;
    EXPECT_EQ(screen.At(100, 100), GREEN);
    EXPECT_EQ(screen.At(200, 170), RED);
    EXPECT_EQ(screen.At(299, 249), BLUE);

    CloseGraphics(g);
    XWindowAttributes attr;
    EXPECT_NE(XGetWindowAttributes(x, win, &attr), 0) << "a window the program did not make stays";
    XDestroyWindow(x, win);
    XCloseDisplay(x);
}

}  // namespace
