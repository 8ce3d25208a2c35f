#include "kelvora/render/image_font.h"

#include <algorithm>
#include <cmath>

#include "render/builtin_font.h"
#include "kelvora/render/image.h"
#include "kelvora/render/pixmap.h"
#include "render/rast2d_graphics.h"

namespace kelvora {

namespace {

constexpr int kBuiltinFirst = 32;
constexpr int kBuiltinCount = 96;

// Lives for the whole run: never torn down after the graphics driver at exit.
TImageFontPtr* default_font = nullptr;

}  // namespace

void TImageGlyph::GetRect(int& x, int& y, int& width, int& height) {
    x = _x;
    y = _y;
    width = _w;
    height = _h;
}

int TImageFont::Style() { return _src_font ? _src_font->Style() : 0; }

int TImageFont::Height() { return _src_font ? _src_font->Height() : 16; }

int TImageFont::CountGlyphs() { return static_cast<int>(_glyphs.size()); }

int TImageFont::CharToGlyph(int ch) {
    if (_src_font) return _src_font->CharToGlyph(ch);
    return ch >= kBuiltinFirst && ch < kBuiltinFirst + kBuiltinCount ? ch - kBuiltinFirst : -1;
}

TImageGlyphPtr TImageFont::LoadGlyph(int index) {
    if (index < 0 || index >= static_cast<int>(_glyphs.size())) return nullptr;
    if (_glyphs[index]) return _glyphs[index];
    auto glyph = std::make_shared<TImageGlyph>();
    if (_src_font) {
        TGlyphPtr src = _src_font->LoadGlyph(index);
        // A source font that hands out absurd glyphs gets them refused
        // here too (2 for a smooth glyph's border).
        const int limit = GlyphSizeLimit(std::max(_src_font->Height(), 16)) + 2;
        TPixmapPtr pixels = src ? src->Pixels() : nullptr;
        const bool fits = src && std::fabs(src->Advance()) <= static_cast<float>(limit) &&
                          (!pixels || (pixels->width <= limit && pixels->height <= limit));
        if (fits) {
            glyph->_advance = src->Advance();
            src->GetRect(glyph->_x, glyph->_y, glyph->_w, glyph->_h);
            if (pixels) glyph->_image = TImage::Load(pixels->Copy(), _imageFlags | IMAGE_SHAREABLE, 0, 0, 0);
        }
    }
    _glyphs[index] = glyph;
    return glyph;
}

void TImageFont::Draw(const std::string& text, float x, float y, float ix, float iy, float jx, float jy) {
    for (unsigned char ch : text) {
        const int i = CharToGlyph(ch);
        if (i < 0) continue;
        TImageGlyphPtr g = LoadGlyph(i);
        if (!g) continue;
        if (g->_image) {
            if (TImageFramePtr frame = g->_image->Frame(0)) {
                const float gx = static_cast<float>(g->_x), gy = static_cast<float>(g->_y);
                frame->Draw(0.0f, 0.0f, static_cast<float>(g->_image->width), static_cast<float>(g->_image->height),
                            x + gx * ix + gy * iy, y + gx * jx + gy * jy);
            }
        }
        x += ix * g->_advance;
        y += jx * g->_advance;
    }
}

TImageFontPtr TImageFont::Load(const TUrl& source, int size, int style) {
    TFontPtr src = LoadFont(source, size, style);
    if (!src) return nullptr;
    auto font = std::make_shared<TImageFont>();
    font->_src_font = src;
    font->_glyphs.resize(static_cast<size_t>(std::max(0, src->CountGlyphs())));
    font->_imageFlags = (style & FONT_SMOOTH) ? (IMAGE_FILTERED | IMAGE_MIPMAPPED) : 0;
    return font;
}

TImageFontPtr TImageFont::CreateDefault() {
    TPixmapPtr sheet = BuiltinFontPixmap();
    auto font = std::make_shared<TImageFont>();
    font->_glyphs.resize(kBuiltinCount);
    for (int j = 0; j < kBuiltinCount; ++j) {
        auto g = std::make_shared<TImageGlyph>();
        g->_advance = 8.0f;
        g->_w = 8;
        g->_h = 16;
        g->_image = TImage::Load(sheet->Window(8 * j, 0, 8, 16)->Copy(), IMAGE_SHAREABLE, 0, 0, 0);
        font->_glyphs[j] = g;
    }
    return font;
}

TImageFontPtr DefaultImageFont() {
    if (!default_font) default_font = new TImageFontPtr(TImageFont::CreateDefault());
    return *default_font;
}

TImageFontPtr LoadImageFont(const TUrl& source, int size, int style) { return TImageFont::Load(source, size, style); }

void SetImageFont(const TImageFontPtr& font) {
    TRast2DGraphics* g = TRast2DGraphics::Drawing("SetImageFont");
    if (!g) return;
    g->image_font = font ? font : DefaultImageFont();
}

TImageFontPtr GetImageFont() {
    TRast2DGraphics* g = TRast2DGraphics::Current();
    return g ? g->image_font : DefaultImageFont();
}

void DrawText(const std::string& text, float x, float y) {
    TRast2DGraphics* g = TRast2DGraphics::Drawing("DrawText");
    if (!g) return;
    TImageFontPtr font = g->image_font ? g->image_font : DefaultImageFont();
    const float hx = g->handle_x, hy = g->handle_y;
    font->Draw(text, x + g->origin_x + hx * g->tform_ix + hy * g->tform_iy,
               y + g->origin_y + hx * g->tform_jx + hy * g->tform_jy, g->tform_ix, g->tform_iy, g->tform_jx,
               g->tform_jy);
}

int TextWidth(const std::string& text) {
    TRast2DGraphics* g = TRast2DGraphics::Current();
    TImageFontPtr font = g && g->image_font ? g->image_font : DefaultImageFont();
    int w = 0;
    for (unsigned char ch : text) {
        const int i = font->CharToGlyph(ch);
        if (i < 0) continue;
        if (TImageGlyphPtr glyph = font->LoadGlyph(i)) w = static_cast<int>(w + glyph->_advance);
    }
    return w;
}

int TextHeight() {
    TRast2DGraphics* g = TRast2DGraphics::Current();
    TImageFontPtr font = g && g->image_font ? g->image_font : DefaultImageFont();
    return font->Height();
}

}  // namespace kelvora
