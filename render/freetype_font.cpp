#include "render/freetype_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cstring>
#include <vector>

#include "kelvora/io/stream.h"
#include "kelvora/render/pixmap.h"

namespace kelvora {

namespace {

FT_Library ft_library = nullptr;
bool ft_failed = false;

FT_Library Library() {
    if (!ft_library && !ft_failed && FT_Init_FreeType(&ft_library) != 0) {
        ft_library = nullptr;
        ft_failed = true;
    }
    return ft_library;
}

class TFreeTypeGlyph : public TGlyph {
public:
    TPixmapPtr _pixmap;
    float _advance = 0.0f;
    int _x = 0, _y = 0, _w = 0, _h = 0;

    TPixmapPtr Pixels() override { return _pixmap; }
    float Advance() override { return _advance; }
    void GetRect(int& x, int& y, int& width, int& height) override {
        x = _x;
        y = _y;
        width = _w;
        height = _h;
    }
};

// Row r of a FreeType bitmap, whichever way its rows flow.
const uint8_t* BitmapRow(const FT_Bitmap& bm, int r) {
    if (bm.pitch >= 0) return bm.buffer + static_cast<size_t>(r) * bm.pitch;
    return bm.buffer + static_cast<size_t>(bm.rows - 1 - r) * static_cast<size_t>(-bm.pitch);
}

// Coverage as an A8 pixmap; null for pixel modes other than grey and mono.
TPixmapPtr BitmapToPixmap(const FT_Bitmap& bm) {
    const int w = static_cast<int>(bm.width), h = static_cast<int>(bm.rows);
    if (bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.pixel_mode != FT_PIXEL_MODE_MONO) return nullptr;
    TPixmapPtr p = TPixmap::Create(w, h, PIXFMT_A8, 4);
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = BitmapRow(bm, y);
        uint8_t* dst = p->PixelPtr(0, y);
        if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
            if (bm.num_grays == 256) {
                std::memcpy(dst, src, w);
            } else {
                // Fewer grey levels: stretch the top level to 255.
                const int top = bm.num_grays > 1 ? bm.num_grays - 1 : 1;
                for (int x = 0; x < w; ++x) dst[x] = static_cast<uint8_t>(src[x] * 255 / top);
            }
        } else {
            for (int x = 0; x < w; ++x) dst[x] = (src[x / 8] & (0x80 >> (x % 8))) ? 255 : 0;
        }
    }
    return p;
}

// Whether a loaded, not yet rendered glyph stays within the limit: an
// outline is measured by its box, a bitmap by its size.
bool GlyphWithinLimit(FT_GlyphSlot slot, int limit) {
    const FT_Pos most = static_cast<FT_Pos>(limit);
    if (slot->advance.x / 64 > most || slot->advance.x / 64 < -most) return false;
    if (slot->format == FT_GLYPH_FORMAT_BITMAP) {
        return slot->bitmap.width <= static_cast<unsigned>(limit) && slot->bitmap.rows <= static_cast<unsigned>(limit);
    }
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return false;
    FT_BBox box;
    FT_Outline_Get_CBox(&slot->outline, &box);
    // The box rounded out to whole pixels, as the rasteriser sizes its bitmap
    // (26.6 values from 16-bit font units: no overflow).
    const FT_Pos w = ((box.xMax + 63) & -64) - (box.xMin & -64), h = ((box.yMax + 63) & -64) - (box.yMin & -64);
    return w / 64 <= most && h / 64 <= most;
}

class TFreeTypeFont : public TFont {
public:
    FT_Face _ft_face = nullptr;
    int _style = 0, _height = 0, _ascend = 0, _descend = 0;
    int _size = 0;  // the pixel size FreeType accepted
    std::vector<std::shared_ptr<TFreeTypeGlyph>> _glyphs;
    std::vector<uint8_t> _buf;  // the font file when it came from memory

    ~TFreeTypeFont() override {
        if (_ft_face) FT_Done_Face(_ft_face);
    }

    int Style() override { return _style; }
    int Height() override { return _height; }
    int CountGlyphs() override { return static_cast<int>(_glyphs.size()); }
    int CharToGlyph(int ch) override {
        if (ch < 0) return -1;
        return static_cast<int>(FT_Get_Char_Index(_ft_face, static_cast<FT_ULong>(ch))) - 1;
    }
    TGlyphPtr LoadGlyph(int index) override;

    static std::shared_ptr<TFreeTypeFont> Load(const std::string& source, int size, int style);
};

TGlyphPtr TFreeTypeFont::LoadGlyph(int index) {
    if (index < 0 || index >= static_cast<int>(_glyphs.size())) return nullptr;
    if (_glyphs[index]) return _glyphs[index];

    auto g = std::make_shared<TFreeTypeGlyph>();
    _glyphs[index] = g;
    // Measured before it is rendered: a damaged glyph must not get its
    // bitmap at all.
    if (FT_Load_Glyph(_ft_face, static_cast<FT_UInt>(index + 1), FT_LOAD_DEFAULT) != 0) return g;
    FT_GlyphSlot slot = _ft_face->glyph;
    if (!GlyphWithinLimit(slot, GlyphSizeLimit(_size))) return g;
    if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return g;

    const FT_Bitmap& bm = slot->bitmap;
    g->_x = slot->bitmap_left;
    g->_y = _ascend - slot->bitmap_top;
    g->_w = static_cast<int>(bm.width);
    g->_h = static_cast<int>(bm.rows);
    g->_advance = static_cast<float>(slot->advance.x >> 6);
    if (bm.width == 0 || bm.rows == 0) return g;

    g->_pixmap = BitmapToPixmap(bm);
    if (g->_pixmap && (_style & FONT_SMOOTH)) {
        // A transparent border for filtering to blend into.
        TPixmapPtr framed = TPixmap::Create(g->_w + 2, g->_h + 2, PIXFMT_A8, 4);
        framed->ClearPixels(0);
        framed->Paste(*g->_pixmap, 1, 1);
        g->_pixmap = framed;
        g->_x -= 1;
        g->_y -= 1;
        g->_w += 2;
        g->_h += 2;
    }
    return g;
}

std::shared_ptr<TFreeTypeFont> TFreeTypeFont::Load(const std::string& source, int size, int style) {
    FT_Library lib = Library();
    if (!lib) return nullptr;

    auto font = std::make_shared<TFreeTypeFont>();
    FT_Face face = nullptr;
    if (source.find("::", 1) != std::string::npos) {
        font->_buf = LoadBytes(source);
        if (font->_buf.empty()) return nullptr;
        if (FT_New_Memory_Face(lib, font->_buf.data(), static_cast<FT_Long>(font->_buf.size()), 0, &face) != 0) {
            return nullptr;
        }
    } else if (FT_New_Face(lib, source.c_str(), 0, &face) != 0) {
        return nullptr;
    }
    font->_ft_face = face;

    // Bitmap fonts accept only the sizes they carry: take the largest one
    // not above the request.
    while (size > 0 && FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size)) != 0) --size;
    if (size <= 0) return nullptr;

    const FT_Size_Metrics& m = face->size->metrics;
    // A face whose own line metrics are absurd is damaged as a whole.
    const FT_Pos limit = GlyphSizeLimit(size);
    if (m.height < 0 || (m.height >> 6) > limit || (m.ascender >> 6) > limit || (m.ascender >> 6) < -limit ||
        (m.descender >> 6) > limit || (m.descender >> 6) < -limit) {
        return nullptr;
    }
    font->_size = size;
    font->_height = static_cast<int>(m.height >> 6);
    font->_ascend = static_cast<int>(m.ascender >> 6);
    font->_descend = static_cast<int>(m.descender >> 6);
    font->_glyphs.resize(face->num_glyphs > 0 ? static_cast<size_t>(face->num_glyphs) : 0);
    font->_style = style;
    return font;
}

class TFreeTypeFontLoader : public TFontLoader {
public:
    TFontPtr LoadFont(const TUrl& source, int size, int style) override {
        if (source.stream || source.text.empty()) return nullptr;
        return TFreeTypeFont::Load(source.text, size, style);
    }
};

}  // namespace

void InitFreeTypeFontLoader() {
    // Joining, the loader has the chain link its built-in loader first,
    // which is this one: that call returns at once.
    static bool called = false;
    if (called) return;
    called = true;
    static TFreeTypeFontLoader loader;
}

}  // namespace kelvora
