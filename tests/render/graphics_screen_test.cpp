// What the OpenGL graphics driver really puts on the screen of an X server
// (Xvfb, 1280x1024) with Mesa, read back from the server itself. Runs on an
// X server of its own, so no other test's window can cover the picture.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_opengl.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "render/gl_graphics.h"
#include "system/pointer_mapping.h"
#include "system/scripted_system_driver.h"

namespace {

constexpr unsigned long BLACK = 0x000000, RED = 0xff0000, GREEN = 0x00ff00, BLUE = 0x0000ff;

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

// Paints the offscreen picture: all one colour, a 10x10 green square at its
// top-left and a blue one at its bottom-right.
void Paint(unsigned long rgb, int w, int h)
{
    glDisable(GL_SCISSOR_TEST);
    glClearColor((rgb >> 16) / 255.f, ((rgb >> 8) & 255) / 255.f, (rgb & 255) / 255.f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, h - 10, 10, 10);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(w - 10, 0, 10, 10);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

// A pixel of the picture as the 2D driver reads it back (top-left origin).
unsigned long ReadBack(int x, int y)
{
    unsigned char p[4] = {};
    glReadPixels(x, GraphicsHeight() - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return (unsigned long)p[0] << 16 | p[1] << 8 | p[2];
}

class GLScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run through scripts/with-xvfb.sh)";
        SetSystemDriver(std::make_shared<TScriptedSystemDriver>());
        SetGraphicsDriver(GLGraphicsDriver(), GFX_BACKBUFFER);
    }
    void TearDown() override
    {
        EndGraphics();
        SetSystemDriver(nullptr);
    }
};

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

    Paint(RED, 640, 480);
    Flip(-1);
    TScreen screen;
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

    // Reading back still sees the 640x480 picture.
    EXPECT_EQ(ReadBack(0, 0), GREEN);
    EXPECT_EQ(ReadBack(639, 479), BLUE);
    EXPECT_EQ(ReadBack(320, 240), RED);
}

}  // namespace
