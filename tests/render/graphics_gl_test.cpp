// The OpenGL graphics driver on a real X server with Mesa: contexts, their
// offscreen pictures, shared textures, modes, and no display at all.
#include <gtest/gtest.h>

#include <GL/glx.h>
#include <SDL.h>

#include <cstring>

#include "render/gl/software_renderer.h"
#include "tests/render/graphics_gl_fixture.h"
#include "system/platform_events.h"
#include "system/pointer_mapping.h"

using namespace kelvora;

namespace {

using GLGraphics = GLGraphicsTest;

TEST_F(GLGraphics, FlipKeepsTheDrawingStateAndTheOffscreenPicture)
{
    ASSERT_NE(Graphics(320, 200, 0, 0, GFX_BACKBUFFER | GFX_DEPTHBUFFER | GFX_STENCILBUFFER), nullptr)
        << LastGraphicsError();
    SKIP_WITHOUT_OFFSCREEN();
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
    GLuint bound = 0;
    glGenTextures(1, &bound);
    glBindTexture(GL_TEXTURE_2D, bound);
    gl->SwapSharedContext();
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    unsigned char texel[4] = {1, 2, 3, 4};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    gl->SwapSharedContext();
    EXPECT_EQ(SDL_GL_GetCurrentContext(), ctx_b) << "the pair returns to the current context";
    GLint binding = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &binding);
    EXPECT_EQ(GLuint(binding), bound) << "the 2D driver's cached binding still holds";
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

TEST_F(GLGraphics, FullScreenTakesTheDisplayBackWhenFocusReturns)
{
    ASSERT_NE(Graphics(640, 480, 1, 0, GFX_BACKBUFFER), nullptr) << LastGraphicsError();
    auto* window = static_cast<SDL_Window*>(GetPointerMapping().window);
    ASSERT_NE(window, nullptr);
    const Uint32 full = SDL_WINDOW_FULLSCREEN_DESKTOP;
    EXPECT_EQ(SDL_GetWindowFlags(window) & full, full);

    // The player switches away and the desktop takes the screen back.
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(window);
    e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    DispatchPlatformEvent(&e);
    SDL_SetWindowFullscreen(window, 0);
    EXPECT_NE(SDL_GetWindowFlags(window) & full, full);

    e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    DispatchPlatformEvent(&e);
    EXPECT_EQ(SDL_GetWindowFlags(window) & full, full);
    Flip(-1);
    EXPECT_EQ(GetPointerMapping().scale, 2.0);
}

void PressAltEnter()
{
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = SDLK_RETURN;
    e.key.keysym.mod = KMOD_LALT;
    DispatchPlatformEvent(&e);
    SDL_PumpEvents();
}

TEST_F(GLGraphics, AltEnterMovesTheSameContextBetweenWindowAndFullScreen)
{
    SetGraphicsWindowScale(2);
    auto g = Graphics(320, 240, 0, 0, GFX_BACKBUFFER);
    SetGraphicsWindowScale(-1);
    ASSERT_NE(g, nullptr) << LastGraphicsError();
    SKIP_WITHOUT_OFFSCREEN();
    auto* window = static_cast<SDL_Window*>(GetPointerMapping().window);
    ASSERT_NE(window, nullptr);
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w * 10000 + h, 640 * 10000 + 480) << "a window at the scale asked for";
    EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_RESIZABLE);
    SDL_GLContext context = SDL_GL_GetCurrentContext();
    Paint(RED, 320, 240);
    Flip(0);
    EXPECT_EQ(GetPointerMapping().scale, 2.0);

    const Uint32 full = SDL_WINDOW_FULLSCREEN_DESKTOP;
    PressAltEnter();
    Flip(0);
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(SDL_GetWindowFlags(window) & full, full);
    EXPECT_EQ(w * 10000 + h, 1280 * 10000 + 1024) << "the desktop's size";
    EXPECT_EQ(GetPointerMapping().scale, 4.0) << "the largest whole scale of 320x240 in 1280x1024";
    EXPECT_EQ(SDL_GL_GetCurrentContext(), context) << "a window change, not a new context";
    EXPECT_EQ(ReadBack(100, 100), RED) << "the picture survives the switch";
    EXPECT_EQ(GraphicsWidth() * 10000 + GraphicsHeight(), 320 * 10000 + 240);

    PressAltEnter();
    Flip(0);
    EXPECT_NE(SDL_GetWindowFlags(window) & full, full);
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w * 10000 + h, 1280 * 10000 + 960) << "back in a window, the largest scale that fits";
    EXPECT_EQ(ReadBack(100, 100), RED);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // A size between whole scales on this software rasteriser: the largest
    // whole scale with wider bars, never an uneven one.
    SDL_SetWindowSize(window, 700, 500);
    SDL_PumpEvents();
    Flip(0);
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    if (renderer && std::strstr(renderer, "llvmpipe")) {
        EXPECT_EQ(GetPointerMapping().scale, 2.0);
    }
}

TEST_F(GLGraphics, ASoftwareRasteriserIsKnownByItsOwnAnswerBeforeItsName)
{
    ASSERT_NE(Graphics(320, 240, 0, 0, GFX_BACKBUFFER), nullptr) << LastGraphicsError();
    // Mesa's GLX answers for llvmpipe: not accelerated, for ES contexts too,
    // which SDL takes from GLX where it offers them (Mesa's does). Under
    // EGL, taken where SDL is told to (SDL_VIDEO_X11_FORCE_EGL), no such
    // answer is asked and the name decides.
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    if (!renderer || !std::strstr(renderer, "llvmpipe")) GTEST_SKIP() << "needs Mesa's llvmpipe";
    const bool egl = TestProfile() == TGLProfile::ES && SDL_GetHintBoolean(SDL_HINT_VIDEO_X11_FORCE_EGL, SDL_FALSE);
    EXPECT_EQ(glXGetCurrentContext() != nullptr, !egl) << (egl ? "EGL was asked for" : "GLX offers this kind");
    EXPECT_EQ(GLRendererAccelerated(), egl ? -1 : 0);
    EXPECT_TRUE(GLGraphicsDriver()->DrawsInSoftware());
    // Where no such answer comes, the names of software rasterisers, such as
    // the one of Windows' subsystem for Linux.
    EXPECT_TRUE(SoftwareRendererName("D3D12 (Microsoft Basic Render Driver)"));
    EXPECT_FALSE(SoftwareRendererName("AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.7, DRM 3.52)"));
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
