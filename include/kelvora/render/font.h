// Source fonts: where glyph pixels come from before image fonts turn them
// into images. Loaders form a chain; the newest is asked first.
#pragma once

#include <memory>
#include <string>

#include "kelvora/io/stream.h"

namespace kelvora {

class TPixmap;
using TPixmapPtr = std::shared_ptr<TPixmap>;

// Style bits of a font. Only FONT_SMOOTH changes anything; the others are
// kept and reported by Style.
constexpr int FONT_BOLD = 1;
constexpr int FONT_ITALIC = 2;
constexpr int FONT_SMOOTH = 4;

// The longest side, in pixels, a glyph of a font of that pixel size may have
// (its bitmap, and how far it moves the pen). Real fonts stay within about
// 4.5 em (a math font's big operators); a glyph past 8 em is damage, and
// rendering one can take gigabytes. Such a glyph is refused: it draws
// nothing and takes no width, like a character the font lacks.
inline int GlyphSizeLimit(int pixel_size) { return 8 * (pixel_size > 0 ? pixel_size : 0) + 8; }

class TGlyph {
public:
    virtual ~TGlyph() = default;
    // The glyph's pixels; null for a glyph that draws nothing (a space).
    virtual TPixmapPtr Pixels() = 0;
    // How far the pen moves, in pixels.
    virtual float Advance() = 0;
    // The pixels' rectangle relative to the pen at the top of the line.
    virtual void GetRect(int& x, int& y, int& width, int& height) = 0;
};
using TGlyphPtr = std::shared_ptr<TGlyph>;

class TFont {
public:
    virtual ~TFont() = default;
    virtual int Style() = 0;
    virtual int Height() = 0;  // line height in pixels
    virtual int CountGlyphs() = 0;
    virtual int CharToGlyph(int ch) = 0;  // -1: no glyph for ch
    virtual TGlyphPtr LoadGlyph(int index) = 0;
};
using TFontPtr = std::shared_ptr<TFont>;

class TFontLoader {
public:
    // Joins the chain at its head unless it is already linked.
    TFontLoader();
    virtual ~TFontLoader();
    TFontLoader(const TFontLoader&) = delete;
    TFontLoader& operator=(const TFontLoader&) = delete;

    virtual TFontPtr LoadFont(const TUrl& source, int size, int style) = 0;

    TFontLoader* _succ = nullptr;
};

// Asks each loader in the chain, newest first; the first font wins.
TFontPtr LoadFont(const TUrl& source, int size, int style);

}  // namespace kelvora
