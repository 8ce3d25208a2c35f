// The batching OpenGL 2D driver: a frame sent in batches gives exactly the
// pixels of the same frame drawn one call at a time.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "render/freetype_font.h"
#include "render/core2d/atlas.h"
#include "render/core2d/image_frame.h"
#include "render/gl/gl_rast2d_driver.h"
#include "kelvora/render/graphics.h"
#include "kelvora/render/image.h"
#include "kelvora/render/image_font.h"
#include "kelvora/render/pixmap.h"
#include "kelvora/render/rast2d.h"
#include "tests/render/gl_scene.h"
#include "tests/render/test_renderer.h"

using namespace kelvora;

namespace {

using namespace gl_scene;

// The GL driver and its 640x480 picture, as the game opens them.
void OpenGraphics() {
    InitTestRast2DDriver();
    InitFreeTypeFontLoader();
    ASSERT_NE(Graphics(640, 480, 0, 0, 0), nullptr) << LastGraphicsError();
}

TEST(GLBatching, TextFromTheGlyphAtlasHasThePixelsOfPerGlyphTexturesAndALineIsOneDraw) {
    SKIP_WITHOUT_X_SERVER();
    ASSERT_NO_FATAL_FAILURE(OpenGraphics());
    const bool exact = RoundsEachBlend();
    TImageFontPtr smooth = SmoothFont();
    ASSERT_NE(smooth, nullptr);
    TImagePtr background = LoadImage(Pattern(640, 480, 5, false), 0);

    // The atlas drawn in a graphics opened after the first one closed: its
    // pages, like textures, belong to one graphics sequence.
    DrawTextScene(background, smooth);
    SetGLGlyphAtlas(false);
    DrawTextScene(background, smooth);
    TPixmapPtr own = GrabPixmap(0, 0, 640, 480);
    EndGraphics();
    ASSERT_NE(Graphics(640, 480, 0, 0, 0), nullptr) << LastGraphicsError();
    SetGLGlyphAtlas(true);
    DrawTextScene(background, smooth);
    TPixmapPtr atlas = GrabPixmap(0, 0, 640, 480);
    SetTransform(0, 1, 1);
    SetBlend(BLEND_SOLID);
    DrawImage(background, 0, 0);
    TPixmapPtr bare = GrabPixmap(0, 0, 640, 480);
    // Where the rasteriser rounds every blend, the same pixels. Where it
    // does not (softpipe), a line in one draw instead of one per glyph
    // moves the flushes, and with them the rounding of pixels blended more
    // than once (neighbouring glyphs' borders overlap): one step apart at
    // most, in 180 pixels there.
    const Difference d = Compare(own, atlas);
    EXPECT_EQ(d.far, 0) << "first at " << d.first_x << ", " << d.first_y;
    EXPECT_LE(d.pixels, exact ? 0 : 600) << "first at " << d.first_x << ", " << d.first_y;
    int x = -1, y = -1;
    EXPECT_GT(Differences(bare, atlas, x, y), 30000) << "the text shows";

    // A line at whole pixels: one texture, one draw; from own textures, a
    // draw per glyph.
    const std::string line = "Score: 1250  Best: 98760";
    auto draws_for_line = [&](const TImageFontPtr& font) {
        SetImageFont(font);
        SetBlend(BLEND_ALPHA);
        GrabPixmap(0, 0, 1, 1);  // sends what waits
        const unsigned long before = BatchesSent();
        DrawText(line, 20, 30);
        GrabPixmap(0, 0, 1, 1);
        return BatchesSent() - before;
    };
    for (const TImageFontPtr& font : {smooth, TImageFontPtr()}) {
        EXPECT_EQ(draws_for_line(font), 1u);
        SetGLGlyphAtlas(false);
        EXPECT_GT(draws_for_line(font), 15u);
        SetGLGlyphAtlas(true);
    }
    EndGraphics();
}

TEST(GLBatching, ShareableImagesLargerThanAPageOrBeyondAFullPageDrawTheirOwnPixels) {
    SKIP_WITHOUT_X_SERVER();
    ASSERT_NO_FATAL_FAILURE(OpenGraphics());
    // Wider and taller than a page; then more cells than one page holds.
    std::vector<TImagePtr> images = {LoadImage(Pattern(300, 40, 7, false), IMAGE_SHAREABLE),
                                     LoadImage(Pattern(40, 300, 8, false), IMAGE_SHAREABLE)};
    for (unsigned i = 0; i < 24; ++i) images.push_back(LoadImage(Pattern(60, 60, 10 + i, true), IMAGE_SHAREABLE));
    auto draw = [&] {
        SetTransform(0, 1, 1);
        SetBlend(BLEND_ALPHA);
        SetColor(255, 255, 255);
        SetAlpha(1);
        SetClsColor(0, 0, 0);
        Cls();
        DrawImage(images[0], 10, 10, 0);
        DrawImage(images[1], 590, 60, 0);
        for (size_t i = 2; i < images.size(); ++i)
            DrawImage(images[i], static_cast<float>(10 + (i - 2) % 8 * 70), static_cast<float>(60 + (i - 2) / 8 * 70));
        return GrabPixmap(0, 0, 640, 480);
    };
    SetGLGlyphAtlas(false);
    TPixmapPtr own = draw();
    SetGLGlyphAtlas(true);
    TPixmapPtr atlas = draw();
    int x = -1, y = -1, lit = 0;
    EXPECT_EQ(Differences(own, atlas, x, y), 0) << "first at " << x << ", " << y;
    for (y = 10; y < 50; ++y)
        for (x = 10; x < 310; ++x) lit += (atlas->ReadPixel(x, y) & 0xFFFFFF) != 0;
    EXPECT_EQ(lit, 300 * 40);

    // The atlas page of an image's cell, null where it keeps its own texture.
    auto page = [&](size_t i) -> const void* {
        if (TestingLegacy()) return std::dynamic_pointer_cast<TCoreImageFrame>(images[i]->Frame(0))->cell.page.get();
        return std::dynamic_pointer_cast<TCoreImageFrame>(images[i]->Frame(0))->cell.page.get();
    };
    EXPECT_EQ(page(0), nullptr);
    EXPECT_EQ(page(1), nullptr);
    ASSERT_NE(page(2), nullptr);
    ASSERT_NE(page(images.size() - 1), nullptr);
    EXPECT_NE(page(2), page(images.size() - 1)) << "a full page opens another";
    EndGraphics();
}

TEST(GLBatching, ABatchedFrameHasThePixelsOfTheFrameDrawnCallByCall) {
    SKIP_WITHOUT_X_SERVER();
    ASSERT_NO_FATAL_FAILURE(OpenGraphics());
    const bool exact = RoundsEachBlend();
    TImageFontPtr font = SmoothFont();
    ASSERT_NE(font, nullptr);
    std::vector<TImagePtr> images = {LoadImage(Pattern(640, 480, 1, false), IMAGE_FILTERED),
                                     LoadImage(Pattern(24, 24, 2, true), IMAGE_MASKED | IMAGE_FILTERED),
                                     LoadImage(Pattern(16, 16, 3, true), IMAGE_FILTERED | IMAGE_MIPMAPPED),
                                     LoadImage(Pattern(9, 5, 4, false), 0)};
    for (const auto& im : images) ASSERT_NE(im, nullptr);

    // The shader driver always batches; its pixels are held against the
    // legacy driver's elsewhere.
    if (TestingLegacy()) GLRast2DDriver()->SetBatching(false);
    DrawScene(images, font);
    TPixmapPtr one_by_one = GrabPixmap(0, 0, 640, 480);
    if (TestingLegacy()) GLRast2DDriver()->SetBatching(true);
    DrawScene(images, font);
    TPixmapPtr batched = GrabPixmap(0, 0, 640, 480);
    ASSERT_TRUE(one_by_one && batched);

    // Where the rasteriser rounds every blend, the same pixels. Where it
    // does not (softpipe), batches flush at other points than single draws
    // (which only a read flushes here): pixels blended more than once
    // between two flushes are one step apart at most, 2084 of them there
    // (736 from the shader driver, whose flushes fall elsewhere the second
    // time).
    const Difference d = Compare(one_by_one, batched);
    EXPECT_EQ(d.far, 0) << "first at " << d.first_x << ", " << d.first_y;
    EXPECT_LE(d.pixels, exact ? 0 : 4000) << "first at " << d.first_x << ", " << d.first_y;
    int lit = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) lit += (one_by_one->ReadPixel(x, y) & 0xFFFFFF) != 0;
    EXPECT_GT(lit, 200000) << "the scene covers the screen";

    // Retro Line FX as the game draws it: its rows and their last pixels
    // go out as one draw of lines and one of points.
    SetBlend(BLEND_SHADE);
    GrabPixmap(0, 0, 1, 1);  // sends what waits
    const unsigned long before = BatchesSent();
    for (int y = 1; y < 480; y += 2) DrawLine(0, static_cast<float>(y), 639, static_cast<float>(y), 1);
    GrabPixmap(0, 0, 1, 1);
    EXPECT_EQ(BatchesSent() - before, 2u);
    EndGraphics();
}

// A software rasteriser keeps a copy of the pipeline state for every draw
// until it has drawn it, and its threads queue flush after flush: the
// driver waits for it every 32 draws, so that a frame of many texture
// changes (the title's 3D text) cannot pile up megabytes of them.
TEST(GLBatching, ASoftwareRasteriserIsWaitedForEvery32Draws) {
    SKIP_WITHOUT_X_SERVER();
    ASSERT_NO_FATAL_FAILURE(OpenGraphics());
    TImagePtr a = LoadImage(Pattern(8, 8, 1, false), 0), b = LoadImage(Pattern(8, 8, 2, false), 0);
    ASSERT_TRUE(a && b);
    Flip(0);  // a frame of its own
    const unsigned long before = Finishes();
    for (int i = 0; i < 100; ++i) DrawImage(i % 2 ? a : b, static_cast<float>(i), 0, 0);
    GrabPixmap(0, 0, 1, 1);
    EXPECT_EQ(Finishes() - before, GLGraphicsDriver()->DrawsInSoftware() ? 3u : 0u);
    EndGraphics();
}

}  // namespace
