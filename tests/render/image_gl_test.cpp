// Images on a real OpenGL context (Mesa under Xvfb): grabbing the screen
// into an image and drawing it back, and frames rebuilt for a new context.
#include <gtest/gtest.h>

#include "tests/render/test_renderer.h"
#include "render/gl/gl_rast2d_driver.h"
#include "kelvora/render/graphics.h"
#include "kelvora/render/image.h"
#include "kelvora/render/rast2d.h"
#include "render/rast2d_graphics.h"

using namespace kelvora;

namespace {

class ImageGLTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_X_SERVER();
        InitTestRast2DDriver();
        graphics = Graphics(640, 480, 0, 0, 0);
        ASSERT_NE(graphics, nullptr) << LastGraphicsError();
        SetBlend(BLEND_MASK);
        SetColor(255, 255, 255);
        SetAlpha(1);
        SetTransform(0, 1, 1);
        SetClsColor(0, 0, 0);
        Cls();
        SetMaskColor(0, 0, 0);
    }
    void TearDown() override {
        EndGraphics();
        graphics.reset();
    }

    static uint32_t At(int x, int y) {
        TPixmapPtr p = GrabPixmap(x, y, 1, 1);
        return p ? uint32_t(p->ReadPixel(0, 0)) & 0xFFFFFFu : 0xDEADBEEFu;
    }

    TGraphicsPtr graphics;
};

void Rect(int r, int g, int b, float x, float y, float w, float h) {
    SetColor(r, g, b);
    DrawRect(x, y, w, h);
    SetColor(255, 255, 255);
}

}  // namespace

TEST_F(ImageGLTest, GrabbedPixelsDrawBackAndAGrabReplacesTheFrame) {
    // A 16x16 patch: red left half, blue right half, a black (mask colour) corner.
    Rect(255, 0, 0, 20, 20, 8, 16);
    Rect(0, 0, 255, 28, 20, 8, 16);
    Rect(0, 0, 0, 20, 20, 4, 4);
    TImagePtr im = CreateImage(16, 16, 1, IMAGE_MASKED | IMAGE_DYNAMIC);
    GrabImage(im, 20, 20);

    SetClsColor(60, 60, 60);
    Cls();
    DrawImage(im, 200, 100);
    EXPECT_EQ(At(206, 108), 0xFF0000u);
    EXPECT_EQ(At(210, 108), 0x0000FFu);
    EXPECT_EQ(At(201, 101), 0x3C3C3Cu);  // masked out: the background shows
    EXPECT_EQ(At(199, 108), 0x3C3C3Cu);
    EXPECT_EQ(At(216, 108), 0x3C3C3Cu);

    // New screen content grabbed into the same frame: the next draw shows it.
    Rect(0, 255, 0, 20, 20, 16, 16);
    GrabImage(im, 20, 20);
    Cls();
    DrawImage(im, 300, 100);
    EXPECT_EQ(At(301, 101), 0x00FF00u);
    EXPECT_EQ(At(315, 115), 0x00FF00u);

    // Drawn with a rotation of 90 about its centre: the left half lands on top.
    Cls();
    Rect(255, 0, 0, 20, 20, 8, 16);
    Rect(0, 0, 255, 28, 20, 8, 16);
    GrabImage(im, 20, 20);
    CenterImageHandle(im);
    SetRotation(90);
    DrawImage(im, 400, 100);
    SetRotation(0);
    EXPECT_EQ(At(400, 96), 0xFF0000u);
    EXPECT_EQ(At(400, 104), 0x0000FFu);
}

TEST_F(ImageGLTest, ANewContextRebuildsFrames) {
    auto p = CreatePixmap(8, 8, PIXFMT_RGB888);
    p->ClearPixels(0x00FFFF);
    TImagePtr im = LoadImage(p, IMAGE_FILTERED);
    DrawImage(im, 10, 10);
    const int seq = GraphicsSeq();
    EXPECT_EQ(im->seqs[0], seq);
    TImageFramePtr first = im->frames[0];
    ASSERT_TRUE(first);
    DrawImage(im, 30, 10);
    EXPECT_EQ(im->frames[0], first);  // cached within one context

    EndGraphics();
    graphics = Graphics(640, 480, 0, 0, 0);
    ASSERT_NE(graphics, nullptr);
    ASSERT_NE(GraphicsSeq(), seq);
    Cls();
    DrawImage(im, 50, 50);
    EXPECT_EQ(im->seqs[0], GraphicsSeq());
    EXPECT_NE(im->frames[0], first);
    EXPECT_EQ(At(53, 53), 0x00FFFFu);
    EXPECT_EQ(At(49, 53), 0u);
}
