// The OpenGL 2D driver on a real context (Mesa under Xvfb): pixels read
// back after drawing through the module functions.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "render/core2d/image_frame.h"
#include "render/gl/gl_rast2d_driver.h"
#include "kelvora/render/graphics.h"
#include "kelvora/render/image.h"
#include "kelvora/render/pixmap.h"
#include "kelvora/render/rast2d.h"
#include "render/rast2d_graphics.h"
#include "render/renderer_choice.h"
#include "tests/render/gl_scene.h"
#include "tests/render/test_renderer.h"

using namespace kelvora;

namespace {

struct Rgb {
    int r, g, b;
};

class GL2DTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitTestRast2DDriver();
        // These tests read OpenGL's own state right after each call.
        GLRast2DDriver()->SetBatching(false);
        graphics = Graphics(640, 480, 0, 0, 0);
    }
    static void TearDownTestSuite() {
        EndGraphics();
        graphics.reset();
        GLRast2DDriver()->SetBatching(true);
    }

    void SetUp() override {
        SKIP_WITHOUT_X_SERVER();
        ASSERT_NE(graphics, nullptr) << LastGraphicsError();
        // A known state before every test.
        SetViewport(0, 0, 640, 480);
        SetOrigin(0, 0);
        SetHandle(0, 0);
        SetTransform(0, 1, 1);
        SetAlpha(1);
        SetColor(255, 255, 255);
        SetBlend(BLEND_SOLID);
        SetClsColor(0, 0, 0);
        Cls();
    }

    // The pixel at screen (x, y), row 0 at the top, read straight from GL.
    static Rgb At(int x, int y) {
        GrabPixmap(0, 0, 1, 1);  // sends what a batching driver holds
        unsigned char p[4] = {};
        glReadPixels(x, 480 - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return {p[0], p[1], p[2]};
    }
    static bool Lit(int x, int y) {
        Rgb c = At(x, y);
        return c.r + c.g + c.b > 0;
    }

    static TGraphicsPtr graphics;
};

TGraphicsPtr GL2DTest::graphics;

void ExpectNear(Rgb got, Rgb want, int tolerance, const char* what) {
    EXPECT_NEAR(got.r, want.r, tolerance) << what;
    EXPECT_NEAR(got.g, want.g, tolerance) << what;
    EXPECT_NEAR(got.b, want.b, tolerance) << what;
}

TEST_F(GL2DTest, EachBlendModeAgainstAKnownBackground) {
    struct Case {
        int blend;
        float alpha;
        Rgb want;
        const char* name;
    };
    // Source (200, 100, 40) over background (100, 50, 200); alpha 0.5 is byte
    // 127, just below the mask threshold.
    const double a = 127.0 / 255.0;
    const Case cases[] = {
        {BLEND_MASK, 0.51f, {200, 100, 40}, "mask, alpha over one half: drawn opaque"},
        {BLEND_MASK, 0.5f, {100, 50, 200}, "mask, alpha byte 127: not drawn"},
        {BLEND_SOLID, 0.1f, {200, 100, 40}, "solid ignores alpha"},
        {99, 0.1f, {200, 100, 40}, "an unknown mode is solid"},
        {BLEND_ALPHA, 0.5f,
         {int(std::lround(200 * a + 100 * (1 - a))), int(std::lround(100 * a + 50 * (1 - a))),
          int(std::lround(40 * a + 200 * (1 - a)))},
         "alpha"},
        {BLEND_LIGHT, 0.5f,
         {int(std::lround(200 * a + 100)), int(std::lround(100 * a + 50)), int(std::lround(40 * a + 200))},
         "light adds"},
        {BLEND_SHADE, 0.5f,
         {int(std::lround(200 * 100 / 255.0)), int(std::lround(100 * 50 / 255.0)), int(std::lround(40 * 200 / 255.0))},
         "shade multiplies"},
    };
    SetClsColor(100, 50, 200);
    for (const Case& c : cases) {
        Cls();
        SetBlend(c.blend);
        SetColor(200, 100, 40);
        SetAlpha(c.alpha);
        DrawRect(10, 10, 20, 20);
        ExpectNear(At(20, 20), c.want, 2, c.name);
        ExpectNear(At(40, 40), {100, 50, 200}, 0, "outside the rectangle");
    }
    // Light saturates rather than wrapping.
    Cls();
    SetBlend(BLEND_LIGHT);
    SetColor(255, 255, 255);
    SetAlpha(1);
    DrawRect(0, 0, 8, 8);
    DrawRect(0, 0, 8, 8);
    ExpectNear(At(4, 4), {255, 255, 255}, 0, "saturated");
}

TEST_F(GL2DTest, AlphaBytes) {
    SKIP_UNLESS_LEGACY();
    auto sent_alpha = [] {
        float c[4];
        glGetFloatv(GL_CURRENT_COLOR, c);
        return static_cast<int>(std::lround(c[3] * 255));
    };
    SetAlpha(1.5f);
    EXPECT_EQ(sent_alpha(), 255);
    SetAlpha(-0.2f);
    EXPECT_EQ(sent_alpha(), 0);
    SetAlpha(0.5f);
    EXPECT_EQ(sent_alpha(), 127);
    SetAlpha(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(sent_alpha(), 0);
    EXPECT_TRUE(std::isnan(GetAlpha()));
}

// The alpha bytes on pixels: white over black.
TEST_F(GL2DTest, AlphaBytesOnPixels) {
    SetBlend(BLEND_ALPHA);
    SetAlpha(0.5f);
    DrawRect(0, 0, 4, 4);
    EXPECT_EQ(At(1, 1).r, 127);
    SetAlpha(1.5f);
    DrawRect(10, 0, 4, 4);
    EXPECT_EQ(At(11, 1).g, 255);
    SetAlpha(-0.2f);
    DrawRect(20, 0, 4, 4);
    EXPECT_EQ(At(21, 1).b, 0);
    SetAlpha(std::numeric_limits<float>::quiet_NaN());
    DrawRect(30, 0, 4, 4);
    EXPECT_EQ(At(31, 1).b, 0);
}

TEST_F(GL2DTest, ColourIsClampedWhileTheStoredValuesStay) {
    SetColor(300, -5, 128);
    DrawRect(0, 0, 4, 4);
    ExpectNear(At(2, 2), {255, 0, 128}, 0, "clamped colour");
    int r, g, b;
    GetColor(r, g, b);
    EXPECT_EQ(r, 300);
    EXPECT_EQ(g, -5);
    EXPECT_EQ(b, 128);
    SetClsColor(-10, 999, 64);
    Cls();
    ExpectNear(At(300, 300), {0, 255, 64}, 0, "clamped clear colour");
}

TEST_F(GL2DTest, PlotAndLinesHitTheExpectedPixels) {
    Plot(5, 7);
    EXPECT_TRUE(Lit(5, 7));
    EXPECT_FALSE(Lit(6, 7));
    EXPECT_FALSE(Lit(5, 8));

    DrawLine(10, 300, 20, 300, 0);
    EXPECT_TRUE(Lit(10, 300));
    EXPECT_TRUE(Lit(19, 300));
    EXPECT_FALSE(Lit(20, 300)) << "without the last pixel";
    DrawLine(10, 310, 20, 310, 1);
    EXPECT_TRUE(Lit(20, 310)) << "with the last pixel";
    EXPECT_FALSE(Lit(21, 310));
}

TEST_F(GL2DTest, Rotation90TurnsALineTowardsScreenDown) {
    SetRotation(90);
    DrawLine(100, 100, 110, 100, 1);
    // Which end pixel a line starts on is OpenGL's business; the run is not.
    for (int y = 101; y <= 110; ++y) EXPECT_TRUE(Lit(100, y)) << y;
    for (int x = 90; x <= 112; ++x) {
        if (x == 100) continue;
        for (int y = 95; y <= 115; ++y) ASSERT_FALSE(Lit(x, y)) << x << "," << y;
    }
    EXPECT_FALSE(Lit(100, 111));
    EXPECT_FALSE(Lit(100, 98));
}

TEST_F(GL2DTest, NegativeScaleMirrorsAboutTheHandle) {
    SetScale(-1, 1);
    SetHandle(5, 0);
    DrawRect(200, 100, 20, 10);
    // Local x from -5 to 15 becomes screen 205 down to 185.
    EXPECT_TRUE(Lit(185, 105));
    EXPECT_TRUE(Lit(204, 105));
    EXPECT_FALSE(Lit(205, 105));
    EXPECT_FALSE(Lit(184, 105));
    EXPECT_TRUE(Lit(190, 100));
    EXPECT_FALSE(Lit(190, 110));
}

TEST_F(GL2DTest, HandleAndOriginMoveRectangles) {
    SetHandle(8, 4);
    float hx, hy;
    GetHandle(hx, hy);
    EXPECT_EQ(hx, 8);
    EXPECT_EQ(hy, 4);
    DrawRect(100, 100, 16, 8);
    // Covers 92..107 by 96..103.
    EXPECT_TRUE(Lit(92, 96));
    EXPECT_TRUE(Lit(107, 103));
    EXPECT_FALSE(Lit(91, 96));
    EXPECT_FALSE(Lit(92, 95));
    EXPECT_FALSE(Lit(108, 103));
    EXPECT_FALSE(Lit(107, 104));

    Cls();
    SetOrigin(10, 20);
    DrawRect(100, 100, 16, 8);
    EXPECT_TRUE(Lit(102, 116));
    EXPECT_FALSE(Lit(101, 116));
    EXPECT_TRUE(Lit(117, 123));
    EXPECT_FALSE(Lit(118, 123));
}

TEST_F(GL2DTest, OvalsAndPolygons) {
    EXPECT_EQ(OvalSegments(4, 4), 12);    // 8 by 8
    EXPECT_EQ(OvalSegments(50, 30), 80);  // 100 by 60
    EXPECT_EQ(OvalSegments(-50, 30), 80);
    EXPECT_EQ(OvalSegments(7, 7.5f), 12);
    EXPECT_EQ(OvalSegments(10, 9), 16);  // 19 rounds down to a multiple of 4
    EXPECT_EQ(OvalSegments(std::nanf(""), 3), 12);
    EXPECT_EQ(OvalSegments(1e30f, 1e30f), 65536);

    DrawOval(300, 200, 100, 60);
    EXPECT_TRUE(Lit(350, 230));
    EXPECT_TRUE(Lit(397, 230));
    EXPECT_TRUE(Lit(350, 202));
    EXPECT_FALSE(Lit(302, 202)) << "corner of the box";
    EXPECT_FALSE(Lit(397, 257));
    EXPECT_FALSE(Lit(401, 230));

    Cls();
    SetOrigin(100, 100);
    SetHandle(-10, 0);
    DrawPoly({0, 0, 20, 0, 20, 20, 0, 20});
    EXPECT_TRUE(Lit(111, 101));
    EXPECT_TRUE(Lit(129, 119));
    EXPECT_FALSE(Lit(109, 101));
    EXPECT_FALSE(Lit(131, 101));
    // Too few or odd numbers draw nothing.
    Cls();
    DrawPoly({0, 0, 20, 0});
    DrawPoly({0, 0, 20, 0, 20, 20, 0});
    EXPECT_FALSE(Lit(115, 101));
}

TEST_F(GL2DTest, ViewportScissorsClearingAndDrawing) {
    SetClsColor(255, 0, 0);
    SetViewport(10, 20, 50, 40);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    Cls();
    ExpectNear(At(10, 20), {255, 0, 0}, 0, "inside");
    ExpectNear(At(59, 59), {255, 0, 0}, 0, "inside");
    ExpectNear(At(9, 20), {0, 0, 0}, 0, "left of it");
    ExpectNear(At(10, 19), {0, 0, 0}, 0, "above it");
    ExpectNear(At(60, 40), {0, 0, 0}, 0, "right of it");
    ExpectNear(At(30, 60), {0, 0, 0}, 0, "below it");
    DrawRect(0, 0, 640, 480);
    ExpectNear(At(30, 30), {255, 255, 255}, 0, "drawn inside");
    ExpectNear(At(100, 100), {0, 0, 0}, 0, "clipped outside");
    SetViewport(0, 0, 640, 480);
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    Cls();
    ExpectNear(At(100, 100), {255, 0, 0}, 0, "whole screen again");
}

TEST_F(GL2DTest, GrabPixmapHasRowZeroAtTheTop) {
    SetColor(255, 0, 0);
    DrawRect(0, 0, 640, 1);
    SetColor(0, 255, 0);
    DrawRect(0, 479, 640, 1);
    SetColor(0, 0, 255);
    DrawRect(100, 50, 1, 1);
    TPixmapPtr p = GrabPixmap(0, 0, 640, 480);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->format, PIXFMT_RGBA8888);
    EXPECT_EQ(p->width, 640);
    EXPECT_EQ(p->height, 480);
    EXPECT_EQ(static_cast<unsigned>(p->ReadPixel(0, 0)), 0xFFFF0000u);
    EXPECT_EQ(static_cast<unsigned>(p->ReadPixel(639, 479)), 0xFF00FF00u);
    EXPECT_EQ(static_cast<unsigned>(p->ReadPixel(100, 50)), 0xFF0000FFu);
    EXPECT_EQ(static_cast<unsigned>(p->ReadPixel(100, 51)), 0xFF000000u);

    TPixmapPtr part = GrabPixmap(100, 50, 3, 2);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(static_cast<unsigned>(part->ReadPixel(0, 0)), 0xFF0000FFu);
    EXPECT_EQ(static_cast<unsigned>(part->ReadPixel(1, 0)), 0xFF000000u);
    EXPECT_EQ(static_cast<unsigned>(part->ReadPixel(0, 1)), 0xFF000000u);

    EXPECT_EQ(GrabPixmap(0, 0, 0, 10), nullptr);
    // Partly off screen: what lies outside reads as black.
    TPixmapPtr edge = GrabPixmap(638, 478, 4, 4);
    ASSERT_NE(edge, nullptr);
    EXPECT_EQ(static_cast<unsigned>(edge->ReadPixel(1, 1)), 0xFF00FF00u);
}

TEST_F(GL2DTest, GrabsReadOpaqueWithoutAnAlphaBuffer) {
    // Translucent solid drawing leaves alpha 127 in the picture.
    SetAlpha(0.5f);
    SetColor(200, 100, 40);
    DrawRect(10, 10, 4, 4);
    TPixmapPtr p = GrabPixmap(10, 10, 4, 4);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(static_cast<unsigned>(p->ReadPixel(1, 1)), 0xFFC86428u);
    // So an unmasked grab drawn under BLEND_MASK still shows.
    SetAlpha(1);
    SetColor(255, 255, 255);
    SetBlend(BLEND_MASK);
    Current2DDriver()->CreateFrameFromPixmap(p, 0)->Draw(0, 0, 4, 4, 100, 100);
    ExpectNear(At(101, 101), {200, 100, 40}, 0, "masked draw of the grab");
}

TEST_F(GL2DTest, GrabAfterFlipReturnsThePresentedPicture) {
    SetColor(10, 200, 30);
    DrawRect(20, 30, 5, 5);
    Flip(0);
    TPixmapPtr p = GrabPixmap(0, 0, 640, 480);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(static_cast<unsigned>(p->ReadPixel(22, 32)), 0xFF0AC81Eu);
    EXPECT_EQ(static_cast<unsigned>(p->ReadPixel(26, 32)), 0xFF000000u);
    // A second present of the same picture changes nothing either.
    Flip(0);
    p = GrabPixmap(20, 30, 1, 1);
    EXPECT_EQ(static_cast<unsigned>(p->ReadPixel(0, 0)), 0xFF0AC81Eu);
    // The drawing state survived the presents.
    SetBlend(BLEND_SOLID);
    DrawRect(40, 30, 2, 2);
    ExpectNear(At(40, 30), {10, 200, 30}, 0, "drawing after Flip");
}

TEST_F(GL2DTest, DrawPixmapCopiesPixelsIgnoringTheRenderState) {
    TPixmapPtr src = TPixmap::Create(3, 2, PIXFMT_RGB888, 4);
    src->WritePixel(0, 0, 0xFFFF0000);
    src->WritePixel(1, 0, 0xFF00FF00);
    src->WritePixel(2, 0, 0xFF0000FF);
    src->WritePixel(0, 1, 0xFF101010);
    src->WritePixel(1, 1, 0xFF202020);
    src->WritePixel(2, 1, 0xFF303030);
    SetOrigin(100, 100);
    SetRotation(45);
    SetColor(0, 0, 0);
    SetBlend(BLEND_LIGHT);
    DrawPixmap(src, 50, 60);
    ExpectNear(At(50, 60), {255, 0, 0}, 0, "top-left");
    ExpectNear(At(52, 60), {0, 0, 255}, 0, "top-right");
    ExpectNear(At(51, 61), {32, 32, 32}, 0, "second row");
    ExpectNear(At(53, 60), {0, 0, 0}, 0, "beside it");
    EXPECT_EQ(GetBlend(), BLEND_LIGHT);
    EXPECT_TRUE(glIsEnabled(GL_BLEND)) << "blend mode restored";
}

TEST_F(GL2DTest, RedundantStateChangesIssueNothing) {
    SKIP_UNLESS_LEGACY();
    SetBlend(BLEND_ALPHA);
    glDisable(GL_BLEND);  // behind the driver's back
    SetBlend(BLEND_ALPHA);
    EXPECT_FALSE(glIsEnabled(GL_BLEND)) << "the same mode again is not re-sent";
    SetColor(1, 2, 3);
    glColor4ub(9, 9, 9, 9);
    SetColor(1, 2, 3);
    float c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_NEAR(c[0] * 255, 9, 0.01) << "the same colour again is not re-sent";

    // A new context setup forgets the caches, and the state is sent again.
    GLRast2DDriver()->ResetGLContext(graphics);
    TRast2DGraphics::Current()->Validate();
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_NEAR(c[0] * 255, 1, 0.01);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

// The texels of level 0 of a frame's texture.
TPixmapPtr TextureTexels(const TCoreImageFrame& f, int tw, int th) {
    TPixmapPtr t = TPixmap::Create(tw, th, PIXFMT_RGBA8888, 4);
    glBindTexture(GL_TEXTURE_2D, f.name);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, t->pixels);
    glBindTexture(GL_TEXTURE_2D, GLRast2DDriver()->State().bound);
    return t;
}

int TexParam(const TCoreImageFrame& f, GLenum level_param, int level = 0) {
    GLint v = 0;
    glBindTexture(GL_TEXTURE_2D, f.name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, level_param, &v);
    glBindTexture(GL_TEXTURE_2D, GLRast2DDriver()->State().bound);
    return v;
}

int MinFilter(const TCoreImageFrame& f) {
    GLint v = 0;
    glBindTexture(GL_TEXTURE_2D, f.name);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &v);
    glBindTexture(GL_TEXTURE_2D, GLRast2DDriver()->State().bound);
    return v;
}

TPixmapPtr Gradient(int w, int h) {
    TPixmapPtr p = TPixmap::Create(w, h, PIXFMT_RGBA8888, 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p->WritePixel(x, y, static_cast<int>(0xFF000000u | (x * 4) << 16 | (y * 2) << 8 | 7));
    return p;
}

TEST_F(GL2DTest, TexturesArePaddedToPowersOfTwoWithTheEdgeSmeared) {
    SKIP_UNLESS_LEGACY();
    TPixmapPtr src = Gradient(56, 92);
    auto frame = std::dynamic_pointer_cast<TCoreImageFrame>(GLRast2DDriver()->CreateFrameFromPixmap(src, 0));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->u0, 0.0f);
    EXPECT_EQ(frame->v0, 0.0f);
    EXPECT_EQ(frame->u1, 0.875f);
    EXPECT_EQ(frame->v1, 0.71875f);
    EXPECT_EQ(TexParam(*frame, GL_TEXTURE_WIDTH), 64);
    EXPECT_EQ(TexParam(*frame, GL_TEXTURE_HEIGHT), 128);
    TPixmapPtr t = TextureTexels(*frame, 64, 128);
    for (int y = 0; y < 92; ++y) {
        ASSERT_EQ(t->ReadPixel(56, y), src->ReadPixel(55, y)) << y;
        ASSERT_EQ(t->ReadPixel(0, y), src->ReadPixel(0, y)) << y;
    }
    for (int x = 0; x < 56; ++x) ASSERT_EQ(t->ReadPixel(x, 92), src->ReadPixel(x, 91)) << x;
    EXPECT_EQ(t->ReadPixel(56, 92), src->ReadPixel(55, 91));

    auto square = std::dynamic_pointer_cast<TCoreImageFrame>(
        GLRast2DDriver()->CreateFrameFromPixmap(Gradient(64, 64)->Convert(PIXFMT_BGR888), 0));
    ASSERT_NE(square, nullptr);
    EXPECT_EQ(square->u1, 1.0f);
    EXPECT_EQ(square->v1, 1.0f);
    EXPECT_EQ(TexParam(*square, GL_TEXTURE_WIDTH), 64);
    // Converted to RGBA on the way.
    EXPECT_EQ(TextureTexels(*square, 64, 64)->ReadPixel(63, 10), Gradient(64, 64)->ReadPixel(63, 10));
}

TEST_F(GL2DTest, FlagsChooseFilteringAndMipmaps) {
    SKIP_UNLESS_LEGACY();
    struct Case {
        int flags;
        GLint min;
        bool mipmapped;
    } cases[] = {{0, GL_NEAREST, false},
                 {2, GL_LINEAR, false},
                 {4, GL_NEAREST_MIPMAP_NEAREST, true},
                 {6, GL_LINEAR_MIPMAP_LINEAR, true}};
    for (const Case& c : cases) {
        auto f = std::dynamic_pointer_cast<TCoreImageFrame>(GLRast2DDriver()->CreateFrameFromPixmap(Gradient(5, 3), c.flags));
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(MinFilter(*f), c.min) << c.flags;
        // 8x4 down to 1x1 is four more levels.
        if (c.mipmapped) {
            EXPECT_EQ(TexParam(*f, GL_TEXTURE_WIDTH, 3), 1) << c.flags;
            EXPECT_EQ(TexParam(*f, GL_TEXTURE_HEIGHT, 3), 1) << c.flags;
        }
    }
}

TEST_F(GL2DTest, RefusedTextureSizesShrink) {
    SKIP_UNLESS_LEGACY();
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    int w = max + 1, h = 3;
    GLRast2DDriver()->AdjustTexSize(w, h);
    EXPECT_EQ(w, max);
    EXPECT_EQ(h, 2);
    // The picture is resampled to what fits.
    auto f = std::dynamic_pointer_cast<TCoreImageFrame>(GLRast2DDriver()->CreateFrameFromPixmap(Gradient(max + 1, 3), 0));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(TexParam(*f, GL_TEXTURE_WIDTH), max);
    EXPECT_EQ(f->u1, 1.0f);
    EXPECT_EQ(f->v1, 1.0f);
}

TEST_F(GL2DTest, FramesDrawTintedAndReleaseTheirTexture) {
    TPixmapPtr src = TPixmap::Create(2, 2, PIXFMT_RGBA8888, 4);
    src->WritePixel(0, 0, static_cast<int>(0xFFFFFFFFu));
    src->WritePixel(1, 0, static_cast<int>(0xFF0000FFu));
    src->WritePixel(0, 1, static_cast<int>(0xFF00FF00u));
    src->WritePixel(1, 1, static_cast<int>(0x00FFFFFFu));
    TImageFramePtr frame = Current2DDriver()->CreateFrameFromPixmap(src, 0);
    ASSERT_NE(frame, nullptr);

    SetBlend(BLEND_MASK);
    SetColor(255, 128, 255);
    frame->Draw(0, 0, 20, 20, 100, 100);
    ExpectNear(At(105, 105), {255, 128, 255}, 1, "white texel tinted");
    ExpectNear(At(115, 105), {0, 0, 255}, 1, "blue texel");
    ExpectNear(At(105, 115), {0, 128, 0}, 1, "green texel tinted");
    ExpectNear(At(115, 115), {0, 0, 0}, 0, "transparent texel masked out");

    // Rotated 90 degrees the top row runs down the screen, to the left.
    Cls();
    SetRotation(90);
    frame->Draw(0, 0, 20, 20, 200, 100);
    ExpectNear(At(195, 105), {255, 128, 255}, 1, "rotated top-left");
    ExpectNear(At(195, 115), {0, 0, 255}, 1, "rotated top-right");
    SetRotation(0);

    auto legacy = std::dynamic_pointer_cast<TCoreImageFrame>(frame);
    auto shader = std::dynamic_pointer_cast<TCoreImageFrame>(frame);
    ASSERT_TRUE(legacy || shader);
    EXPECT_EQ(legacy ? legacy->seq : shader->seq, GraphicsSeq());
    const GLuint name = static_cast<GLuint>(legacy ? legacy->name : shader->name);
    EXPECT_TRUE(glIsTexture(name));
    legacy.reset();
    shader.reset();
    frame.reset();
    EXPECT_FALSE(glIsTexture(name));
    // Drawing something textured afterwards must not pick the stale binding.
    if (TestingLegacy()) {
        EXPECT_NE(GLRast2DDriver()->State().texture, name);
        EXPECT_NE(GLRast2DDriver()->State().bound, name);
    }
    TPixmapPtr other = TPixmap::Create(1, 1, PIXFMT_RGBA8888, 4);
    other->WritePixel(0, 0, static_cast<int>(0xFF102030u));
    SetBlend(BLEND_SOLID);
    SetColor(255, 255, 255);
    Current2DDriver()->CreateFrameFromPixmap(other, 0)->Draw(0, 0, 4, 4, 300, 300);
    ExpectNear(At(301, 301), {16, 32, 48}, 0, "a new frame draws its own texels");
}

TEST_F(GL2DTest, BadPixmapsMakeNoFrame) {
    EXPECT_EQ(Current2DDriver()->CreateFrameFromPixmap(nullptr, 0), nullptr);
    EXPECT_EQ(Current2DDriver()->CreateFrameFromPixmap(TPixmap::Create(0, 5, PIXFMT_RGBA8888, 4), 0), nullptr);
}

// The atlas's shelves: blocks side by side, a new shelf under the tallest
// when the next does not fit beside; a block wider or taller than the page
// takes no room.
TEST(Core2DAtlas, ShelvesPackSideBySideAndSkipWhatCannotFit) {
    TAtlasShelves page;
    page.size = 256;
    int x = -1, y = -1;
    ASSERT_TRUE(page.Reserve(12, 12, x, y));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_FALSE(page.Reserve(302, 12, x, y));
    EXPECT_FALSE(page.Reserve(12, 257, x, y));
    ASSERT_TRUE(page.Reserve(12, 20, x, y));
    EXPECT_EQ(x, 12) << "beside the first";
    EXPECT_EQ(y, 0);
    ASSERT_TRUE(page.Reserve(232, 5, x, y));
    EXPECT_EQ(x, 24) << "up to the edge";
    ASSERT_TRUE(page.Reserve(1, 1, x, y));
    EXPECT_EQ(x, 0) << "a new shelf";
    EXPECT_EQ(y, 20) << "under the tallest";
    ASSERT_TRUE(page.Reserve(10, 236, x, y));
    EXPECT_EQ(x, 1);
    EXPECT_FALSE(page.Reserve(246, 1, x, y)) << "no shelf left below";
    ASSERT_TRUE(page.Reserve(245, 1, x, y)) << "a full shelf refused nothing that fits beside";
    EXPECT_EQ(x, 11);
    EXPECT_EQ(y, 20);
}

TEST(GL2DDriver, NameAndWrapping) {
    EXPECT_EQ(GLRast2DDriver()->ToString(), "OpenGL");
    EXPECT_EQ(Pow2Size(0), 1);
    EXPECT_EQ(Pow2Size(1), 1);
    EXPECT_EQ(Pow2Size(56), 64);
    EXPECT_EQ(Pow2Size(64), 64);
    EXPECT_EQ(Pow2Size(65), 128);
}

}  // namespace

namespace {

// Graphics that asked for an alpha buffer grab the alpha they drew.
TEST(GL2DAlphaBuffer, GrabsKeepTheirAlpha) {
    SKIP_WITHOUT_X_SERVER();
    InitTestRast2DDriver();
    ASSERT_NE(Graphics(640, 480, 0, 0, GFX_ALPHABUFFER), nullptr) << LastGraphicsError();
    SetBlend(BLEND_SOLID);
    SetColor(200, 100, 40);
    SetAlpha(0.5f);
    DrawRect(10, 10, 4, 4);
    TPixmapPtr p = GrabPixmap(10, 10, 4, 4);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(static_cast<unsigned>(p->ReadPixel(1, 1)), 0x7FC86428u);
    EndGraphics();
}

// Textures belong to the hidden shared context, so a frame made under one
// window still draws under the next one.
TEST(GL2DSharedTextures, FramesOutliveTheirWindow) {
    SKIP_WITHOUT_X_SERVER();
    InitTestRast2DDriver();
    ASSERT_NE(Graphics(320, 240, 0, 0, 0), nullptr) << LastGraphicsError();
    TPixmapPtr src = TPixmap::Create(4, 4, PIXFMT_RGBA8888, 4);
    src->ClearPixels(static_cast<int>(0xFF20A040u));
    TImageFramePtr frame = Current2DDriver()->CreateFrameFromPixmap(src, 0);
    ASSERT_NE(frame, nullptr);
    const int first_seq = GraphicsSeq();

    ASSERT_NE(Graphics(640, 480, 0, 0, 0), nullptr) << LastGraphicsError();
    EXPECT_NE(GraphicsSeq(), first_seq);
    SetBlend(BLEND_SOLID);
    SetColor(255, 255, 255);
    SetAlpha(1);
    frame->Draw(0, 0, 8, 8, 50, 60);
    TPixmapPtr p = GrabPixmap(54, 64, 1, 1);
    EXPECT_EQ(static_cast<unsigned>(p->ReadPixel(0, 0)), 0xFF20A040u);
    // A new context starts at the size it was opened with.
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 480);

    auto legacy = std::dynamic_pointer_cast<TCoreImageFrame>(frame);
    auto shader = std::dynamic_pointer_cast<TCoreImageFrame>(frame);
    const GLuint name = static_cast<GLuint>(legacy ? legacy->name : shader->name);
    legacy.reset();
    shader.reset();
    frame.reset();
    EXPECT_FALSE(glIsTexture(name));
    EndGraphics();
    EXPECT_EQ(TRast2DGraphics::Current(), nullptr);
}

}  // namespace

// Every driver against the fixed-function one, in one process: legacy
// first, ES last (SDL keeps EGL once it has taken it). Where Mesa hides
// framebuffer objects core and ES refuse their contexts, which other tests
// check; then only the legacy driver is drawn.
namespace {

struct DriverPicture {
    TRenderer renderer;
    TPixmapPtr picture;
};

template <class Draw>
std::vector<DriverPicture> DrawWithEveryDriver(Draw draw) {
    std::vector<DriverPicture> out;
    for (TRenderer r : {TRenderer::Legacy, TRenderer::Core, TRenderer::ES}) {
        InitRast2DDriver({r});
        if (!Graphics(640, 480, 0, 0, 0)) {
            EXPECT_NE(r, TRenderer::Legacy) << LastGraphicsError();
            continue;
        }
        SetClsColor(0, 0, 0);
        Cls();
        SetBlend(BLEND_SOLID);
        SetColor(255, 255, 255);
        SetAlpha(1);
        draw();
        out.push_back({r, GrabPixmap(0, 0, 640, 480)});
        EndGraphics();
    }
    return out;
}

// Wide aliased lines are exact in OpenGL (columns or rows of the rounded
// width along the thin line), so every driver lights the same pixels: no
// tolerance. Eight lines a width, each in its own 80x80 cell: horizontal,
// vertical and both diagonals, each drawn both ways.
TEST(ShaderDriverLines, EveryWidthLightsTheFixedFunctionDriversPixels) {
    SKIP_WITHOUT_X_SERVER();
    if (!TestingLegacy()) GTEST_SKIP() << "compares every driver in one run already";
    const float ends[8][4] = {{10, 40, 70, 40}, {70, 40, 10, 40}, {40, 10, 40, 70}, {40, 70, 40, 10},
                              {10, 10, 70, 70}, {70, 70, 10, 10}, {10, 70, 70, 10}, {70, 10, 10, 70}};
    const float widths[] = {1, 1.4f, 2, 2.6f, 3, 4};
    for (float w : widths) {
        const auto draw = [&] {
            SetLineWidth(w);
            for (int k = 0; k < 8; ++k) {
                const float* e = ends[k];
                DrawLine(k * 80 + e[0], 100 + e[1], k * 80 + e[2], 100 + e[3], 0);
            }
            // And batched beside other primitives, at fractional positions.
            SetColor(200, 100, 50);
            DrawRect(20, 300, 4, 4);
            DrawLine(30.25f, 310.75f, 130.5f, 350.25f, 0);
            DrawLine(230.5f, 300.5f, 180.25f, 400.75f, 0);
            SetLineWidth(1);
        };
        const auto pictures = DrawWithEveryDriver(draw);
        ASSERT_FALSE(pictures.empty());
        // The reference: a horizontal line of 60 pixels lights as many rows
        // as its width rounds to.
        int lit = 0;
        for (int y = 100; y < 180; ++y)
            for (int x = 0; x < 80; ++x) lit += (pictures[0].picture->ReadPixel(x, y) & 0xFFFFFF) != 0;
        EXPECT_EQ(lit, 60 * std::max(1, int(std::lround(w)))) << "width " << w;
        // As WebGL must draw them too (thin lines side by side), compared on
        // the horizontal and vertical cells at odd widths: there OpenGL's
        // rule fixes every pixel. An even width's extra row, the diagonals'
        // and the fractional lines' pixels differ between rasterisers' own
        // wide lines already (llvmpipe and softpipe disagree there).
        SetGL3WidestOwnLine(1);
        const auto emulated = DrawWithEveryDriver(draw);
        SetGL3WidestOwnLine(0);
        const auto straight_cells = [](const TPixmapPtr& p) { return PixmapWindow(p, 0, 100, 320, 80); };
        for (size_t i = 1; i < pictures.size(); ++i) {
            int x = -1, y = -1;
            EXPECT_EQ(gl_scene::Differences(pictures[0].picture, pictures[i].picture, x, y), 0)
                << RendererName(pictures[i].renderer) << " width " << w << ": first at " << x << ", " << y;
            if (std::lround(w) % 2 == 0) continue;
            EXPECT_EQ(gl_scene::Differences(straight_cells(pictures[0].picture), straight_cells(emulated[i].picture),
                                            x, y), 0)
                << RendererName(pictures[i].renderer) << " as WebGL, width " << w << ": first at " << x << ", " << y;
        }
    }
}

// A pixmap wider than the largest texture, its far end on screen.
TEST(ShaderDriverPixmaps, WiderThanTheLargestTextureDrawTheSamePixels) {
    SKIP_WITHOUT_X_SERVER();
    if (!TestingLegacy()) GTEST_SKIP() << "compares every driver in one run already";
    InitRast2DDriver({TRenderer::Legacy});
    ASSERT_NE(Graphics(640, 480, 0, 0, 0), nullptr) << LastGraphicsError();
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    EndGraphics();
    ASSERT_GT(max, 0);
    const int w = max + 300;
    TPixmapPtr p = TPixmap::Create(w, 3, PIXFMT_RGBA8888, 4);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < w; ++x)
            p->WritePixel(x, y, static_cast<int>(0xFF000000u | (x & 255) << 16 | ((x >> 8) & 255) << 8 | (y * 80)));
    const auto pictures = DrawWithEveryDriver([&] {
        DrawPixmap(p, 500 - w, 10);
        DrawPixmap(p, -7, 20);
    });
    ASSERT_FALSE(pictures.empty());
    EXPECT_EQ(pictures[0].picture->ReadPixel(0, 11), p->ReadPixel(w - 500, 1));
    EXPECT_EQ(pictures[0].picture->ReadPixel(499, 12), p->ReadPixel(w - 1, 2));
    EXPECT_EQ(pictures[0].picture->ReadPixel(500, 10) & 0xFFFFFF, 0);
    for (size_t i = 1; i < pictures.size(); ++i) {
        int x = -1, y = -1;
        EXPECT_EQ(gl_scene::Differences(pictures[0].picture, pictures[i].picture, x, y), 0)
            << RendererName(pictures[i].renderer) << ": first at " << x << ", " << y;
    }
}

// Texture names alive in the current context's share group, among the first
// few thousand (Mesa hands names out from 1 up).
int LiveTextures() {
    int n = 0;
    for (GLuint name = 1; name < 8192; ++name) n += glIsTexture(name) == GL_TRUE;
    return n;
}

// Small shareable images between ones wider than a page: the wide ones
// take no room in the page, so all the small ones fit in one.
TEST(ShaderDriverAtlas, EveryDriverPacksThePagesAlike) {
    SKIP_WITHOUT_X_SERVER();
    if (!TestingLegacy()) GTEST_SKIP() << "compares every driver in one run already";
    std::vector<int> made;
    DrawWithEveryDriver([&] {
        const int before = LiveTextures();
        std::vector<TImagePtr> images;
        for (int i = 0; i < 30; ++i) {
            images.push_back(LoadImage(gl_scene::Pattern(10, 10, i, false), IMAGE_SHAREABLE));
            images.push_back(LoadImage(gl_scene::Pattern(300, 10, i, false), IMAGE_SHAREABLE));
        }
        for (const TImagePtr& im : images) ASSERT_NE(im->Frame(0), nullptr);
        made.push_back(LiveTextures() - before);
        images.clear();
        EXPECT_EQ(LiveTextures(), before) << "every texture goes with its images";
    });
    ASSERT_FALSE(made.empty());
    EXPECT_EQ(made[0], 60 + 1) << "an own texture per image and one page";
    for (size_t i = 1; i < made.size(); ++i) EXPECT_EQ(made[i], made[0]) << i;
}

}  // namespace

// Graphics opened and closed again and again leave no OpenGL objects behind
// in the share group: programs, buffers, vertex arrays and textures counted
// in a context of the group after each opening.
TEST(GLObjects, OpeningAndClosingTheGraphicsLeavesNothingBehind) {
    SKIP_WITHOUT_X_SERVER();
    InitTestRast2DDriver();
    using IsFn = GLboolean (*)(GLuint);
    std::vector<int> live;
    for (int cycle = 0; cycle < 6; ++cycle) {
        ASSERT_NE(Graphics(640, 480, 0, 0, 0), nullptr) << LastGraphicsError();
        const IsFn is[] = {reinterpret_cast<IsFn>(SDL_GL_GetProcAddress("glIsProgram")),
                           reinterpret_cast<IsFn>(SDL_GL_GetProcAddress("glIsBuffer")),
                           reinterpret_cast<IsFn>(SDL_GL_GetProcAddress("glIsVertexArray")),
                           reinterpret_cast<IsFn>(SDL_GL_GetProcAddress("glIsTexture"))};
        for (IsFn f : is) ASSERT_NE(f, nullptr);
        // Every program variant, a wide line, a texture.
        TImagePtr image = LoadImage(gl_scene::Pattern(8, 8, 1, true), 0);
        for (int blend : {BLEND_SOLID, BLEND_MASK}) {
            SetBlend(blend);
            DrawRect(0, 0, 10, 10);
            DrawImage(image, 20, 20);
            SetLineWidth(3);
            DrawLine(0, 50, 100, 50);
            SetLineWidth(1);
        }
        Flip(0);
        int n = 0;
        for (GLuint name = 1; name < 8192; ++name)
            for (IsFn f : is) n += f(name) == GL_TRUE;
        live.push_back(n);
        image.reset();
        EndGraphics();
    }
    for (int cycle = 1; cycle < 6; ++cycle) EXPECT_EQ(live[cycle], live[0]) << "after opening " << cycle + 1;
}
