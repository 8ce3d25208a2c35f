// The OpenGL graphics driver on a real X server (Xvfb, 1280x1024) with Mesa:
// what reaches the screen is read back from the server itself.
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

class GLGraphics : public ::testing::Test {
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

TEST_F(GLGraphics, WindowShowsThePictureOneToOne)
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

TEST_F(GLGraphics, FullScreenIsScaledToFitWithBlackBars)
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

TEST_F(GLGraphics, FlipKeepsTheDrawingStateAndTheOffscreenPicture)
{
    ASSERT_NE(Graphics(320, 200, 0, 0, GFX_BACKBUFFER | GFX_DEPTHBUFFER | GFX_STENCILBUFFER), nullptr)
        << LastGraphicsError();
    GLint fb_before = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb_before);
    EXPECT_NE(fb_before, 0) << "drawing goes to the offscreen picture";
    GLint depth_bits = 0, stencil_bits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth_bits);
    glGetIntegerv(GL_STENCIL_BITS, &stencil_bits);
    EXPECT_GT(depth_bits, 0);
    EXPECT_GT(stencil_bits, 0);

    glEnable(GL_SCISSOR_TEST);
    glScissor(5, 6, 7, 8);
    glViewport(1, 2, 30, 40);
    glClearColor(0.5f, 0.25f, 1.0f, 1.0f);
    Flip(0);
    Flip(1);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    GLint v[4];
    glGetIntegerv(GL_VIEWPORT, v);
    EXPECT_EQ(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], 1000 + 200 + 300 + 40);
    GLfloat c[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, c);
    EXPECT_EQ(c[0], 0.5f);
    EXPECT_EQ(c[1], 0.25f);
    GLint draw = 0, read = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    EXPECT_EQ(draw, fb_before);
    EXPECT_EQ(read, fb_before);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GLGraphics, ContextsKeepTheirOwnPicturesAndShareTextures)
{
    auto a = CreateGraphics(200, 100, 0, 0, 0);
    auto b = CreateGraphics(100, 200, 0, 0, 0);
    ASSERT_NE(a, nullptr) << LastGraphicsError();
    ASSERT_NE(b, nullptr) << LastGraphicsError();
    SetGraphics(a);
    SDL_GLContext ctx_a = SDL_GL_GetCurrentContext();
    Paint(RED, 200, 100);
    SetGraphics(b);
    EXPECT_NE(SDL_GL_GetCurrentContext(), ctx_a);
    Paint(BLUE, 100, 200);
    SetGraphics(a);
    EXPECT_EQ(ReadBack(100, 50), RED);
    SetGraphics(b);
    EXPECT_EQ(ReadBack(50, 100), BLUE);

    // A texture made in the shared context is seen by every context and
    // outlives the one current when it was made.
    auto* gl = GLGraphicsDriver();
    SDL_GLContext ctx_b = SDL_GL_GetCurrentContext();
    gl->SwapSharedContext();
    EXPECT_NE(SDL_GL_GetCurrentContext(), ctx_b);
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    unsigned char texel[4] = {1, 2, 3, 4};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    gl->SwapSharedContext();
    EXPECT_EQ(SDL_GL_GetCurrentContext(), ctx_b) << "the pair returns to the current context";
    EXPECT_TRUE(glIsTexture(tex));
    CloseGraphics(b);
    SetGraphics(a);
    EXPECT_TRUE(glIsTexture(tex));
    CloseGraphics(a);
    auto c = CreateGraphics(64, 64, 0, 0, 0);
    ASSERT_NE(c, nullptr);
    SetGraphics(c);
    EXPECT_TRUE(glIsTexture(tex));
    CloseGraphics(c);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
    c->Close();  // twice is harmless
}

TEST_F(GLGraphics, ModesListTheDisplayAndBadSizesFail)
{
    EXPECT_GT(CountGraphicsModes(), 0);
    EXPECT_EQ(GraphicsModeExists(1280, 1024, 0, 0), 1);
    for (const TGraphicsMode& m : GraphicsModes()) EXPECT_GE(m.depth, 16) << m.ToString();
    EXPECT_EQ(Graphics(0, 480, 0, 60, 0), nullptr);
    EXPECT_FALSE(LastGraphicsError().empty());
    EXPECT_EQ(Graphics(640, -1, 1, 60, 0), nullptr);
}

TEST(GLGraphicsNoDisplay, GraphicsGivesNullAndSaysWhy)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            SetSystemDriver(std::make_shared<TScriptedSystemDriver>());
            SetGraphicsDriver(GLGraphicsDriver(), GFX_BACKBUFFER);
            bool none = Graphics(640, 480, 1, 60, 0) == nullptr && Graphics(640, 480, 0, 60, 0) == nullptr;
            fprintf(stderr, "%s\n", LastGraphicsError().c_str());
            std::_Exit(none && CountGraphicsModes() == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "No display available");
}

}  // namespace
