// Busy scenes the OpenGL tests draw to compare two ways of drawing the same
// frame: batched against call by call, the shader driver against the
// fixed-function one.
#pragma once

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "kelvora/render/graphics.h"
#include "kelvora/render/image.h"
#include "kelvora/render/image_font.h"
#include "kelvora/render/pixmap.h"
#include "kelvora/render/rast2d.h"

using namespace kelvora;

namespace gl_scene {

inline TPixmapPtr Pattern(int w, int h, unsigned seed, bool round) {
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
inline void DrawScene(const std::vector<TImagePtr>& images, const TImageFontPtr& font) {
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
inline int Differences(const TPixmapPtr& a, const TPixmapPtr& b, int& first_x, int& first_y) {
    int differ = 0;
    for (int y = 0; y < a->height; ++y)
        for (int x = 0; x < a->width; ++x)
            if (a->ReadPixel(x, y) != b->ReadPixel(x, y) && differ++ == 0) {
                first_x = x;
                first_y = y;
            }
    return differ;
}

// Pixels that differ between two grabs and, of those, the ones more than
// one step apart in some channel; where the first is.
struct Difference {
    int pixels = 0, far = 0, first_x = -1, first_y = -1;
};

inline Difference Compare(const TPixmapPtr& a, const TPixmapPtr& b) {
    Difference d;
    for (int y = 0; y < a->height; ++y)
        for (int x = 0; x < a->width; ++x) {
            const unsigned p = a->ReadPixel(x, y), q = b->ReadPixel(x, y);
            if (p == q) continue;
            if (d.pixels++ == 0) {
                d.first_x = x;
                d.first_y = y;
            }
            for (int shift = 0; shift < 32; shift += 8)
                if (std::abs(int(p >> shift & 255) - int(q >> shift & 255)) > 1) {
                    ++d.far;
                    break;
                }
        }
    return d;
}

// Whether the rasteriser rounds each blend's result to the picture's 8
// bits, as OpenGL has it. Softpipe keeps the picture's tiles in floating
// point until it writes them back (at a flush, a read, a tile evicted): a
// pixel blended twice in between is rounded once, so the same draws with
// flushes elsewhere (the drivers flush every so many draws in software)
// differ by one step where blends pile up. Draws on the picture.
inline bool RoundsEachBlend() {
    SetViewport(0, 0, GraphicsWidth(), GraphicsHeight());
    SetTransform(0, 1, 1);
    SetColor(105, 220, 215);
    SetAlpha(1);
    SetBlend(BLEND_SHADE);
    unsigned got[2];
    for (int read_between = 0; read_between < 2; ++read_between) {
        SetClsColor(79, 176, 74);
        Cls();
        DrawRect(0, 0, 4, 4);
        if (read_between) GrabPixmap(0, 0, 1, 1);
        DrawRect(0, 0, 4, 4);
        got[read_between] = GrabPixmap(1, 1, 1, 1)->ReadPixel(0, 0);
    }
    // 79 * (105 / 255)^2 is 13.39: rounded once 13, twice 14.
    return got[0] == got[1];
}

// Every printable character of both fonts in every blend mode over a busy
// background: at whole pixels (the glyph atlas), at fractional positions,
// scaled, mirrored and rotated (each glyph's own texture).
inline void DrawTextScene(const TImagePtr& background, const TImageFontPtr& smooth) {
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
            // Magnified: no pixel centre on a texel's edge, where which of
            // the two texels a nearest sample takes is up to the last bit
            // of the rasteriser's arithmetic.
            SetTransform(0, 1.5f, 1.25f);
            DrawText(all.substr(33, 26), 420.25f, y + 3.125f + font * 30);
            SetTransform(0, -1, 1);
            DrawText(all.substr(60, 12), 600, y + 70 + font);
            SetTransform(12.5f + b * 30, 1, 1);
            DrawText(all.substr(20 + b * 5, 12), 230, y + 20);
        }
    }
    SetTransform(0, 1, 1);
    SetImageFont(nullptr);
}

inline TImageFontPtr SmoothFont() {
    return LoadImageFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 22, FONT_SMOOTH);
}

}  // namespace gl_scene
