// The OpenGL graphics driver on a real X server with Mesa: contexts, their
// offscreen pictures, shared textures, modes, and no display at all.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_opengl.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "render/gl_graphics.h"
#include "system/pointer_mapping.h"
#include "system/scripted_system_driver.h"

namespace {

constexpr unsigned long RED = 0xff0000, GREEN = 0x00ff00, BLUE = 0x0000ff;

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
