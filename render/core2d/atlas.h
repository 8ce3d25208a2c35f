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
#pragma once

#include <memory>

namespace kelvora {

class TCore2DDriver;
class TPixmap;
using TPixmapPtr = std::shared_ptr<TPixmap>;

// Shelf packing: blocks left to right along a shelf, a new shelf below the
// tallest block when the next does not fit beside.
struct TAtlasShelves {
    int size = 0;  // width and height of the square
    int x = 0, y = 0, height = 0;

    // Where a w x h block goes; false (nothing changed) when it is larger
    // than the square or no room is left.
    bool Reserve(int w, int h, int& at_x, int& at_y);
};

// One page: a power-of-two texture without mipmaps in the shared context.
// Freed when the last cell in it goes.
class TAtlasPage {
public:
    TCore2DDriver* driver = nullptr;  // that made it
    unsigned name = 0;  // the texture name
    int seq = 0;        // GraphicsSeq when it was made
    bool filtered = false;
    TAtlasShelves shelves;

    ~TAtlasPage();
};

struct TAtlasCell {
    std::shared_ptr<TAtlasPage> page;  // null: no cell
    int width = 0, height = 0;         // the image's size in texels
    float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
};

class TCoreAtlas {
public:
    // Room for the printable set of a 22-pixel font (about 100 cells of up
    // to 26x26 texels) in one page of 256 KB.
    static constexpr int kPageSize = 256;

    // A cell holding the RGBA image, in the open page of its filter mode (a
    // new page when it is full or was made under another GraphicsSeq; cells
    // already placed are never written over). No cell for an image that
    // does not fit a page with its ring: it draws from its own texture.
    // Needs the shared context current.
    TAtlasCell Place(TCore2DDriver& driver, const TPixmapPtr& rgba, bool filtered);

private:
    std::weak_ptr<TAtlasPage> _open[2];  // per filter mode
};

// On by default. Off, frames draw from their own textures only: the pixels
// must be the same either way, which is what tests compare.
void SetGLGlyphAtlas(bool on);
bool GLGlyphAtlas();

}  // namespace kelvora
