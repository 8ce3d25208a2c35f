// Image fonts: each glyph of a source font rasterised once into an image
// and drawn as one, so text takes the current colour, alpha, blend,
// rotation and scale.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kelvora/io/stream.h"
#include "kelvora/render/font.h"

namespace kelvora {

class TImage;
using TImagePtr = std::shared_ptr<TImage>;

class TImageGlyph {
public:
    TImagePtr _image;  // null: nothing to draw
    float _advance = 0.0f;
    int _x = 0, _y = 0, _w = 0, _h = 0;

    TImagePtr Pixels() { return _image; }
    float Advance() { return _advance; }
    void GetRect(int& x, int& y, int& width, int& height);
};
using TImageGlyphPtr = std::shared_ptr<TImageGlyph>;

class TImageFont;
using TImageFontPtr = std::shared_ptr<TImageFont>;

class TImageFont {
public:
    TFontPtr _src_font;  // null for the built-in font
    std::vector<TImageGlyphPtr> _glyphs;
    int _imageFlags = 0;

    virtual ~TImageFont() = default;
    virtual int Style();
    virtual int Height();
    virtual int CountGlyphs();
    virtual int CharToGlyph(int ch);
    // The cached glyph, made on first use; null for an index out of range.
    virtual TImageGlyphPtr LoadGlyph(int index);
    // Draws text with the pen starting at (x, y) and moving along (ix, jx);
    // (ix, iy, jx, jy) is the matrix glyphs are drawn with.
    virtual void Draw(const std::string& text, float x, float y, float ix, float iy, float jx, float jy);

    static TImageFontPtr Load(const TUrl& source, int size, int style);
    // The built-in 8x16 font for codes 32 to 127.
    static TImageFontPtr CreateDefault();
};

// The built-in font, made on first use and kept.
TImageFontPtr DefaultImageFont();
// Null when no loader could open the source at any usable size.
TImageFontPtr LoadImageFont(const TUrl& source, int size, int style);
// Null selects the built-in font.
void SetImageFont(const TImageFontPtr& font);
TImageFontPtr GetImageFont();
// <windows.h> makes DrawText a macro for DrawTextA or DrawTextW: the declaration is
// kept from it and both of those names lead here too, so a call reaches
// the engine whichever header came first.
#pragma push_macro("DrawText")
#undef DrawText
// (x, y) is the top-left of the text, moved by handle and origin; the line
// turns and scales about that point.
void DrawText(const std::string& text, float x, float y);
#ifdef _WIN32
inline void DrawTextA(const std::string& text, float x, float y) { DrawText(text, x, y); }
inline void DrawTextW(const std::string& text, float x, float y) { DrawText(text, x, y); }
#endif
#pragma pop_macro("DrawText")

int TextWidth(const std::string& text);
int TextHeight();

}  // namespace kelvora
