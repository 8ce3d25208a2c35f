// Shared by the OpenGL graphics tests: a fixture with the OpenGL driver
// installed, and painting and reading the offscreen picture.
#pragma once

#include <gtest/gtest.h>

#include <SDL_opengl.h>

#include <cstdlib>
#include <memory>

#include "render/gl/gl_graphics.h"
#include "system/scripted_system_driver.h"
#include "tests/render/test_renderer.h"

using namespace kelvora;

constexpr unsigned long BLACK = 0x000000, RED = 0xff0000, GREEN = 0x00ff00, BLUE = 0x0000ff;

// Paints the offscreen picture: all one colour, a 10x10 green square at its
// top-left and a blue one at its bottom-right.
inline void Paint(unsigned long rgb, int w, int h)
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
inline unsigned long ReadBack(int x, int y)
{
    unsigned char p[4] = {};
    glReadPixels(x, GraphicsHeight() - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return (unsigned long)p[0] << 16 | p[1] << 8 | p[2];
}

// Tests of the offscreen picture skip where OpenGL lacks framebuffer objects
// (old drivers, indirect GLX); call after a context has been made.
#define SKIP_WITHOUT_OFFSCREEN()                                                              \
    if (!GLGraphicsDriver()->DrawsOffscreen())                                               \
    GTEST_SKIP() << "needs OpenGL framebuffer objects, which this OpenGL lacks"

class GLGraphicsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_X_SERVER();
        SetSystemDriver(std::make_shared<TScriptedSystemDriver>());
        // The kind of context of the 2D driver under test (test_renderer.h).
        ASSERT_TRUE(GLGraphicsDriver()->SetProfile(TestProfile())) << LastGraphicsError();
        SetGraphicsDriver(GLGraphicsDriver(), GFX_BACKBUFFER);
    }
    void TearDown() override
    {
        EndGraphics();
        SetSystemDriver(nullptr);
    }
};
