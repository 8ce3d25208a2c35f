// The batching OpenGL 2D driver: a frame sent in batches gives exactly the
// pixels of the same frame drawn one call at a time.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "render/freetype_font.h"
#include "render/gl/gl_glyph_atlas.h"
#include "render/gl/gl_image_frame.h"
#include "render/gl/gl_rast2d_driver.h"
#include "render/gl/gl_rast2d_state.h"
#include "render/graphics.h"
#include "render/image.h"
#include "render/image_font.h"
#include "render/pixmap.h"
#include "render/rast2d.h"

namespace {

TPixmapPtr Pattern(int w, int h, unsigned seed, bool round) {
    TPixmapPtr p = TPixmap::Create(w, h, PIXFMT_RGBA8888, 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned v = (x * 7 + y * 13 + seed * 31) & 255;
            const float dx = x - w / 2.0f + 0.5f, dy = y - h / 2.0f + 0.5f;
            const unsigned a = !round ? 255u : (dx * dx + dy * dy < w * w / 4.0f ? 200u : 0u);
            p->WritePixel(x, y, static_cast<int>(a << 24 | v << 16 | (255 - v) << 8 | (v ^ seed)));
        }
    return p;
}

// A busy frame like the game's heaviest: full-screen layers, rotated, scaled
// and tinted sprites in every blend mode, smoothed and built-in text, Retro
// Line FX rows of lines and points, shapes, a viewport and line widths.
void DrawScene(const std::vector<TImagePtr>& images, const TImageFontPtr& font) {
    SetViewport(0, 0, 640, 480);
    SetClsColor(20, 10, 40);
    Cls();
    SetTransform(0, 1, 1);
    SetColor(255, 255, 255);
    SetAlpha(1);
    SetBlend(BLEND_SOLID);
    DrawImage(images[0], 0, 0);
    SetBlend(BLEND_LIGHT);
    SetAlpha(0.3f);
    DrawImage(images[0], 3.5f, -2.25f);
    for (int i = 0; i < 300; ++i) {
        SetBlend(1 + i % 6);  // 6: an unknown mode draws solid
        SetColor(128 + i % 128, 255 - i % 200, 60 + i % 190);
        SetAlpha(0.2f + (i % 9) * 0.1f);
        SetTransform(i * 7.3f, 0.5f + (i % 5) * 0.4f, (i % 3 == 0 ? -1.0f : 1.0f) * (0.6f + (i % 4) * 0.3f));
        DrawImage(images[1 + i % 3], 13.7f + (i * 37) % 610, 7.1f + (i * 53) % 460, 0);
    }
    SetTransform(0, 1, 1);
    SetBlend(BLEND_ALPHA);
    SetColor(250, 220, 90);
    SetAlpha(0.9f);
    SetImageFont(font);
    DrawText("Chance of Survival: 87%", 40, 20);
    SetTransform(15, 1.5f, 1.5f);
    DrawText("+250", 300.5f, 200.25f);
    SetTransform(0, 1, 1);
    SetImageFont(nullptr);
    SetBlend(BLEND_MASK);
    DrawText("Kelvora 3D ~ built-in font", 60, 420);
    // Retro Line FX: darker rows, each line with its last pixel plotted,
    // now and then a point beside the next row; then points that lines
    // drawn after them cross.
    SetBlend(BLEND_SHADE);
    SetColor(180, 180, 180);
    for (int y = 0; y < 480; y += 2) {
        DrawLine(0, static_cast<float>(y), 639, static_cast<float>(y), 1);
        if (y % 8 == 0) Plot(static_cast<float>((y * 11) % 640), static_cast<float>(y + 1));
    }
    SetBlend(BLEND_ALPHA);
    SetAlpha(0.5f);
    for (int i = 0; i < 20; ++i) {
        const float x = 40.0f + i * 29, y = 150.0f + (i % 7) * 11;
        SetColor(255, 40 + i * 10, 90);
        Plot(x, y);
        SetColor(30, 255 - i * 10, 200);
        DrawLine(x - 6, y - 6 + i % 3, x + 6, y + 6 - i % 3, 0);
    }
    SetBlend(BLEND_ALPHA);
    SetAlpha(0.6f);
    SetColor(40, 200, 255);
    SetLineWidth(3);
    DrawLine(10, 470, 630, 300, 1);
    SetLineWidth(1);
    DrawRect(500, 50, 80, 30);
    DrawOval(520, 100, 100, 60);
    DrawPoly({300, 300, 360, 320, 340, 380, 290, 350});
    SetViewport(100, 100, 200, 150);
    SetBlend(BLEND_LIGHT);
    for (int i = 0; i < 40; ++i) DrawImage(images[2], 90.0f + i * 7, 95.0f + i * 4, 0);
    SetClsColor(0, 90, 0);
    SetViewport(600, 400, 30, 30);
    Cls();
    SetViewport(0, 0, 640, 480);
    SetBlend(BLEND_MASK);
    SetColor(255, 255, 255);
    SetAlpha(1);
}

// Pixels that differ between two grabs of the screen; where the first is.
int Differences(const TPixmapPtr& a, const TPixmapPtr& b, int& first_x, int& first_y) {
    int differ = 0;
    for (int y = 0; y < a->height; ++y)
        for (int x = 0; x < a->width; ++x)
            if (a->ReadPixel(x, y) != b->ReadPixel(x, y) && differ++ == 0) {
                first_x = x;
                first_y = y;
            }
    return differ;
}

// Every printable character of both fonts in every blend mode over a busy
// background: at whole pixels (the glyph atlas), at fractional positions,
// scaled, mirrored and rotated (each glyph's own texture).
void DrawTextScene(const TImagePtr& background, const TImageFontPtr& smooth) {
    std::string all;
    for (int ch = 32; ch < 127; ++ch) all += static_cast<char>(ch);
    SetTransform(0, 1, 1);
    SetBlend(BLEND_SOLID);
    SetColor(255, 255, 255);
    SetAlpha(1);
    DrawImage(background, 0, 0);
    for (int b = 1; b <= 5; ++b) {
        SetBlend(b);
        SetColor(255 - b * 30, 120 + b * 20, 90 + b * 25);
        SetAlpha(0.45f + b * 0.1f);
        const float y = (b - 1) * 92.0f;
        for (int font = 0; font < 2; ++font) {
            SetImageFont(font ? nullptr : smooth);
            SetTransform(0, 1, 1);
            DrawText(all.substr(0, 48), -3, y + font * 22);
            DrawText(all.substr(48), 7, y + 44 + font * 12);
            DrawText(all.substr(10, 30), 330.5f, y + 60.25f + font * 3);
            SetTransform(0, 1.5f, 1.25f);
            DrawText(all.substr(33, 26), 420, y + 3 + font * 30);
            SetTransform(0, -1, 1);
            DrawText(all.substr(60, 12), 600, y + 70 + font);
            SetTransform(12.5f + b * 30, 1, 1);
            DrawText(all.substr(20 + b * 5, 12), 230, y + 20);
        }
    }
    SetTransform(0, 1, 1);
    SetImageFont(nullptr);
}

// The GL driver and its 640x480 picture, as the game opens them.
void OpenGraphics() {
    InitGLRast2DDriver();
    InitFreeTypeFontLoader();
    ASSERT_NE(Graphics(640, 480, 0, 0, 0), nullptr) << LastGraphicsError();
}

TImageFontPtr SmoothFont() {
    return LoadImageFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 22, FONT_SMOOTH);
}

TEST(GLBatching, TextFromTheGlyphAtlasHasThePixelsOfPerGlyphTexturesAndALineIsOneDraw) {
    ASSERT_NO_FATAL_FAILURE(OpenGraphics());
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
    int x = -1, y = -1;
    EXPECT_EQ(Differences(own, atlas, x, y), 0) << "first at " << x << ", " << y;
    EXPECT_GT(Differences(bare, atlas, x, y), 30000) << "the text shows";

    // A line at whole pixels: one texture, one draw; from own textures, a
    // draw per glyph.
    const std::string line = "Score: 1250  Best: 98760";
    auto draws_for_line = [&](const TImageFontPtr& font) {
        SetImageFont(font);
        SetBlend(BLEND_ALPHA);
        GrabPixmap(0, 0, 1, 1);  // sends what waits
        const unsigned long before = GLRast2DState().batches_sent;
        DrawText(line, 20, 30);
        GrabPixmap(0, 0, 1, 1);
        return GLRast2DState().batches_sent - before;
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

    auto page = [&](size_t i) { return std::dynamic_pointer_cast<TGLImageFrame>(images[i]->Frame(0))->cell.page; };
    EXPECT_EQ(page(0), nullptr);
    EXPECT_EQ(page(1), nullptr);
    ASSERT_NE(page(2), nullptr);
    ASSERT_NE(page(images.size() - 1), nullptr);
    EXPECT_NE(page(2), page(images.size() - 1)) << "a full page opens another";
    EndGraphics();
}

TEST(GLBatching, ABatchedFrameHasThePixelsOfTheFrameDrawnCallByCall) {
    ASSERT_NO_FATAL_FAILURE(OpenGraphics());
    TImageFontPtr font = SmoothFont();
    ASSERT_NE(font, nullptr);
    std::vector<TImagePtr> images = {LoadImage(Pattern(640, 480, 1, false), IMAGE_FILTERED),
                                     LoadImage(Pattern(24, 24, 2, true), IMAGE_MASKED | IMAGE_FILTERED),
                                     LoadImage(Pattern(16, 16, 3, true), IMAGE_FILTERED | IMAGE_MIPMAPPED),
                                     LoadImage(Pattern(9, 5, 4, false), 0)};
    for (const auto& im : images) ASSERT_NE(im, nullptr);

    GLRast2DDriver()->SetBatching(false);
    DrawScene(images, font);
    TPixmapPtr one_by_one = GrabPixmap(0, 0, 640, 480);
    GLRast2DDriver()->SetBatching(true);
    DrawScene(images, font);
    TPixmapPtr batched = GrabPixmap(0, 0, 640, 480);
    ASSERT_TRUE(one_by_one && batched);

    int differ = 0, first_x = -1, first_y = -1, lit = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const int a = one_by_one->ReadPixel(x, y), b = batched->ReadPixel(x, y);
            lit += (a & 0xFFFFFF) != 0;
            if (a != b && differ++ == 0) {
                first_x = x;
                first_y = y;
            }
        }
    EXPECT_EQ(differ, 0) << "first at " << first_x << ", " << first_y;
    EXPECT_GT(lit, 200000) << "the scene covers the screen";

    // Retro Line FX as the game draws it: its rows and their last pixels
    // go out as one draw of lines and one of points.
    SetBlend(BLEND_SHADE);
    GrabPixmap(0, 0, 1, 1);  // sends what waits
    const unsigned long before = GLRast2DState().batches_sent;
    for (int y = 1; y < 480; y += 2) DrawLine(0, static_cast<float>(y), 639, static_cast<float>(y), 1);
    GrabPixmap(0, 0, 1, 1);
    EXPECT_EQ(GLRast2DState().batches_sent - before, 2u);
    EndGraphics();
}

}  // namespace
