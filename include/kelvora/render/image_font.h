/// @file
/// Image fonts: each glyph of a source font rasterised once into an image
/// and drawn as one, so text takes the current colour, alpha, blend,
/// rotation and scale.
///
/// Text is bytes, one character each (ISO 8859-1, the first 256 Unicode code
/// points); UTF-8 is not decoded. Characters the font lacks draw nothing and
/// take no width.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kelvora/io/stream.h"
#include "kelvora/render/font.h"

namespace kelvora {

class TImage;
/// An image, shared by whoever holds it.
using TImagePtr = std::shared_ptr<TImage>;

/// One glyph as an image, placed relative to the pen.
class TImageGlyph {
public:
    TImagePtr _image;        ///< The glyph's pixels; null: nothing to draw
    float _advance = 0.0f;   ///< How far the pen moves, in pixels
    /// @{
    int _x = 0, _y = 0, _w = 0, _h = 0;  ///< The image's rectangle relative to the pen at the top of the line
    /// @}

    /// The glyph's image; null for a glyph that draws nothing.
    TImagePtr Pixels() { return _image; }
    /// How far the pen moves, in pixels.
    float Advance() { return _advance; }
    /// The image's rectangle relative to the pen at the top of the line.
    void GetRect(int& x, int& y, int& width, int& height);
};
/// A glyph, shared by its font and whoever asked for it.
using TImageGlyphPtr = std::shared_ptr<TImageGlyph>;

class TImageFont;
/// An image font, shared by whoever holds it and the render state while it
/// is the current font.
using TImageFontPtr = std::shared_ptr<TImageFont>;

/// A font whose glyphs are images, made from a source font as they are
/// first needed.
class TImageFont {
public:
    TFontPtr _src_font;  ///< Where glyphs come from; null for the built-in font
    std::vector<TImageGlyphPtr> _glyphs;  ///< Glyphs made so far, by index; null until needed
    int _imageFlags = 0;  ///< IMAGE_ flags of the glyph images

    virtual ~TImageFont() = default;
    /// The source font's FONT_ style bits; 0 for the built-in font.
    virtual int Style();
    /// Line height in pixels (16 for the built-in font).
    virtual int Height();
    /// How many glyphs the font has.
    virtual int CountGlyphs();
    /// The glyph index of character ch; -1 when the font has none.
    virtual int CharToGlyph(int ch);
    /// The cached glyph, made on first use; null for an index out of range.
    virtual TImageGlyphPtr LoadGlyph(int index);
    /// Draws text with the pen starting at (x, y) and moving along (ix, jx);
    /// (ix, iy, jx, jy) is the matrix glyphs are drawn with.
    virtual void Draw(const std::string& text, float x, float y, float ix, float iy, float jx, float jy);

    /// A font from the font loaders (see LoadImageFont); null when none loads.
    static TImageFontPtr Load(const TUrl& source, int size, int style);
    /// The built-in 8x16 font for codes 32 to 127.
    static TImageFontPtr CreateDefault();
};

/// The built-in font, made on first use and kept for the whole run.
TImageFontPtr DefaultImageFont();
/// A font at size pixels per line, from a TrueType, OpenType or other font
/// file FreeType reads (a path or "incbin::name"; not a stream), its glyphs
/// antialiased. style: FONT_SMOOTH to draw them filtered (best when scaled
/// or rotated); 0 to draw them pixel for pixel. A bitmap font gives its
/// largest size not above size. Null when no loader could open the source at
/// any usable size. FreeType is built in (asked after any loader a program
/// adds), so fonts load before Init and before Graphics too.
TImageFontPtr LoadImageFont(const TUrl& source, int size, int style);
/// The font DrawText uses on the current display; null selects the built-in
/// font. The display keeps it: a new Graphics starts with the built-in font
/// again, and nothing happens while no display is open.
void SetImageFont(const TImageFontPtr& font);
/// The current display's font; the built-in one while no display is open.
TImageFontPtr GetImageFont();
// <windows.h> makes DrawText a macro for DrawTextA or DrawTextW: the declaration is
// kept from it and both of those names lead here too, so a call reaches
// the engine whichever header came first.
#pragma push_macro("DrawText")
#undef DrawText
/// Draws a line of text in the current font and colour. (x, y) is the
/// top-left of the text, moved by handle and origin; the line turns and
/// scales about that point. Nothing is drawn while no display is open.
void DrawText(const std::string& text, float x, float y);
#ifdef _WIN32
inline void DrawTextA(const std::string& text, float x, float y) { DrawText(text, x, y); }
inline void DrawTextW(const std::string& text, float x, float y) { DrawText(text, x, y); }
#endif
#pragma pop_macro("DrawText")

/// The width of the line in pixels, unscaled, in the current font.
int TextWidth(const std::string& text);
/// The current font's line height in pixels, unscaled.
int TextHeight();

}  // namespace kelvora
