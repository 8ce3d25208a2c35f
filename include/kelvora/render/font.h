/// @file
/// Source fonts: where glyph pixels come from before image fonts turn them
/// into images. Loaders form a chain; the newest is asked first.
#pragma once

#include <memory>
#include <string>

#include "kelvora/io/stream.h"

namespace kelvora {

class TPixmap;
/// A pixmap, shared by whoever holds it.
using TPixmapPtr = std::shared_ptr<TPixmap>;

/// @name Font style bits
/// Only FONT_SMOOTH changes anything; the others are kept and reported by
/// Style.
/// @{
constexpr int FONT_BOLD = 1;    ///< Kept, not applied
constexpr int FONT_ITALIC = 2;  ///< Kept, not applied
constexpr int FONT_SMOOTH = 4;  ///< Glyph images drawn filtered: smooth when scaled or rotated
/// @}

/// The longest side, in pixels, a glyph of a font of that pixel size may have
/// (its bitmap, and how far it moves the pen). Real fonts stay within about
/// 4.5 em (a math font's big operators); a glyph past 8 em is damage, and
/// rendering one can take gigabytes. Such a glyph is refused: it draws
/// nothing and takes no width, like a character the font lacks.
inline int GlyphSizeLimit(int pixel_size) { return 8 * (pixel_size > 0 ? pixel_size : 0) + 8; }

/// One glyph of a source font.
class TGlyph {
public:
    virtual ~TGlyph() = default;
    /// The glyph's pixels; null for a glyph that draws nothing (a space).
    virtual TPixmapPtr Pixels() = 0;
    /// How far the pen moves, in pixels.
    virtual float Advance() = 0;
    /// The pixels' rectangle relative to the pen at the top of the line.
    virtual void GetRect(int& x, int& y, int& width, int& height) = 0;
};
/// A glyph, shared by whoever holds it.
using TGlyphPtr = std::shared_ptr<TGlyph>;

/// A font at one pixel size, as a loader opened it.
class TFont {
public:
    virtual ~TFont() = default;
    /// The FONT_ style bits it was loaded with.
    virtual int Style() = 0;
    /// Line height in pixels.
    virtual int Height() = 0;
    /// How many glyphs the font has.
    virtual int CountGlyphs() = 0;
    /// The glyph index of character ch; -1 when the font has none.
    virtual int CharToGlyph(int ch) = 0;
    /// The glyph numbered index; null when it cannot be made.
    virtual TGlyphPtr LoadGlyph(int index) = 0;
};
/// A font, shared by whoever holds it.
using TFontPtr = std::shared_ptr<TFont>;

/// A reader of one kind of font file. Loaders are linked by address and meant
/// to live for the whole run (a static object); one that is destroyed unlinks
/// itself.
class TFontLoader {
public:
    /// Joins the chain at its head unless it is already linked.
    TFontLoader();
    /// Unlinks it.
    virtual ~TFontLoader();
    TFontLoader(const TFontLoader&) = delete;             ///< Linked by address: not copied
    TFontLoader& operator=(const TFontLoader&) = delete;  ///< Linked by address: not copied

    /// The font at source in size pixels per line, or null to decline.
    virtual TFontPtr LoadFont(const TUrl& source, int size, int style) = 0;

    TFontLoader* _succ = nullptr;  ///< The next (older) loader; the chain's own
};

/// Asks each loader in the chain, newest first; the first font wins. Null
/// when none loads it. Init adds the FreeType loader; before it the chain is
/// empty.
TFontPtr LoadFont(const TUrl& source, int size, int style);

}  // namespace kelvora
