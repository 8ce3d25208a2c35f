// Glyph atlas: small images that may share a texture (the glyphs of the
// image fonts) get, besides their own texture, a cell in a page shared with
// others, so that a line of text binds one texture and goes out in one batch.
//
// A cell gives the same pixels as the own texture only where both sample
// texel centres exactly: the quad drawn one texel per pixel with the
// identity matrix at whole-pixel corners, in a power-of-two page (every
// coordinate exact, no mipmap level but the first). Frames use their cell
// there and their own texture everywhere else. Each cell carries a ring of
// its edge texels, as clamping and the padding give the own texture.
// Internal to the OpenGL 2D driver.
#pragma once

#include <memory>

class TPixmap;
using TPixmapPtr = std::shared_ptr<TPixmap>;

// One page: a power-of-two texture without mipmaps in the shared context,
// filled shelf by shelf. Freed when the last cell in it goes.
class TGLAtlasPage {
public:
    unsigned name = 0;  // the OpenGL texture name
    int size = 0;       // width and height in texels
    int seq = 0;        // GraphicsSeq when it was made
    bool filtered = false;
    int shelf_x = 0, shelf_y = 0, shelf_height = 0;

    ~TGLAtlasPage();
};

struct TGLAtlasCell {
    std::shared_ptr<TGLAtlasPage> page;  // null: no cell
    int width = 0, height = 0;           // the image's size in texels
    float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
};

// A cell holding the RGBA image, in an open page of its filter mode (a new
// page when it is full or was made under another GraphicsSeq; cells already
// placed are never written over). No cell for an image wider or taller than
// a page: it draws from its own texture. Needs the shared context current.
TGLAtlasCell GLAtlasPlace(const TPixmapPtr& rgba, bool filtered);

// On by default. Off, frames draw from their own textures only: the pixels
// must be the same either way, which is what tests compare.
void SetGLGlyphAtlas(bool on);
bool GLGlyphAtlas();
