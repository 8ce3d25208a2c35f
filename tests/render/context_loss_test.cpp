// A context reset on the desktop: every context of the share group is made
// again in its own window and the game draws on. No driver here can be made
// to reset, so the test takes the recovery path a reported reset takes.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_opengl.h>

#include <initializer_list>
#include <vector>

#include "kelvora/render/graphics.h"
#include "kelvora/render/image.h"
#include "kelvora/render/image_font.h"
#include "kelvora/render/rast2d.h"
#include "render/sdl/sdl_gl_reset.h"
#include "tests/render/test_renderer.h"

using namespace kelvora;

namespace {

// A picture of an image, a filled shape and text (glyphs come from the atlas).
void DrawScene(const TImagePtr& im)
{
    SetClsColor(20, 40, 60);
    Cls();
    SetColor(255, 255, 255);
    DrawImage(im, 100, 80);
    DrawImage(im, 300, 200);
    SetColor(250, 200, 0);
    DrawOval(400, 50, 60, 40);
    SetColor(255, 255, 255);
    DrawText("Kelvora 3D", 20, 400);
}

std::vector<int> Picture(int w, int h)
{
    TPixmapPtr p = GrabPixmap(0, 0, w, h);
    std::vector<int> px;
    if (!p) return px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) px.push_back(p->ReadPixel(x, y) & 0xFFFFFF);
    return px;
}

// Textures, buffers and programs alive in the current context (names are
// handed out from 1, so the first few hundred hold all a small scene makes).
int LiveObjects(std::initializer_list<const char*> kinds = {"glIsTexture", "glIsBuffer", "glIsProgram"})
{
    using TIs = GLboolean(APIENTRY*)(GLuint);
    int n = 0;
    for (const char* name : kinds) {
        auto is = reinterpret_cast<TIs>(SDL_GL_GetProcAddress(name));
        if (!is) continue;
        for (GLuint i = 1; i < 512; ++i) n += is(i) ? 1 : 0;
    }
    return n;
}

class ContextLossTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_X_SERVER();
        InitTestRast2DDriver();
        graphics = Graphics(640, 480, 0, 0, 0);
        ASSERT_NE(graphics, nullptr) << LastGraphicsError();
        TPixmapPtr p = CreatePixmap(24, 16, PIXFMT_RGB888);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 24; ++x) p->WritePixel(x, y, int(0xFF000000u | unsigned(x * 10) << 16 | unsigned(y * 15)));
        im = LoadImage(p, IMAGE_MASKED);
        ASSERT_NE(im, nullptr);
    }
    void TearDown() override
    {
        im.reset();
        EndGraphics();
        graphics.reset();
    }

    TGraphicsPtr graphics;
    TImagePtr im;
};

}  // namespace

TEST_F(ContextLossTest, AfterAResetTheSamePictureIsDrawnAgainWithoutLeaking)
{
    // A second window of the share group, drawn into too.
    TGraphicsPtr second = CreateGraphics(64, 48, 0, 0, 0);
    ASSERT_NE(second, nullptr) << LastGraphicsError();
    SetGraphics(second);
    SetClsColor(0, 0, 0);
    Cls();
    DrawImage(im, 8, 8);
    Flip(0);
    const std::vector<int> second_before = Picture(64, 48);
    SetGraphics(graphics);

    DrawScene(im);
    Flip(0);
    const std::vector<int> before = Picture(640, 480);
    ASSERT_EQ(before.size(), 640u * 480u);
    const int objects = LiveObjects();
    ASSERT_GT(objects, 0);
    const int seq = GraphicsSeq();
    void* window = SDL_GL_GetCurrentWindow();

    SimulateGLContextReset();
    Flip(0);
    EXPECT_NE(GraphicsSeq(), seq) << "images must make their textures again";
    EXPECT_EQ(SDL_GL_GetCurrentWindow(), window) << "the window is kept";
    EXPECT_EQ(LiveObjects({"glIsTexture"}), 0) << "the old contexts and their textures are gone";
    EXPECT_EQ(Picture(4, 4), std::vector<int>(16, 0)) << "a new offscreen picture, black";

    DrawScene(im);
    Flip(0);
    EXPECT_EQ(Picture(640, 480), before);
    EXPECT_LE(LiveObjects(), objects);

    // Again, so that what the recovery left behind is known to hold up.
    SimulateGLContextReset();
    Flip(0);
    DrawScene(im);
    Flip(0);
    EXPECT_EQ(Picture(640, 480), before);
    EXPECT_LE(LiveObjects(), objects);

    SetGraphics(second);
    SetClsColor(0, 0, 0);
    Cls();
    DrawImage(im, 8, 8);
    Flip(0);
    EXPECT_EQ(Picture(64, 48), second_before);
    SetGraphics(graphics);
    CloseGraphics(second);
}
