// A drawable frame of either OpenGL driver: one texture in the shared
// context, padded to powers of two with the image's last column and row
// smeared into the padding (so neither filtering at the edges nor the
// smaller mipmap levels mix in foreign texels), with the texture
// coordinates of the image's corners. Small shareable images also get a
// cell in a glyph atlas page, used where it gives the same pixels.
#pragma once

#include <memory>

#include "render/core2d/atlas.h"
#include "kelvora/render/image_frame.h"

namespace kelvora {

class TCore2DDriver;

class TCoreImageFrame : public TImageFrame {
public:
    float u0 = 0.0f, v0 = 0.0f, u1 = 1.0f, v1 = 1.0f;
    int name = 0;  // the texture name
    int seq = 0;   // GraphicsSeq when it was made; 0 once released
    TAtlasCell cell;
    TCore2DDriver* driver = nullptr;  // that made it

    ~TCoreImageFrame() override;
    void Draw(float x0, float y0, float x1, float y1, float tx, float ty) override;
    // Deletes the texture; later draws draw nothing.
    void Release();
    // Whether the quad at these screen corners samples the cell exactly as
    // it would the own texture.
    bool CellMatches(const float xy[8]) const;

    // Needs a current context whose textures the frame may own (the driver
    // makes the shared one current around this call). Null for a pixmap
    // with nothing to draw, or when the texture could not be made (then
    // LastGraphicsError says why).
    static std::shared_ptr<TCoreImageFrame> Create(TCore2DDriver& driver, const TPixmapPtr& pixmap, int flags);
};

// The image at the top-left of a texture-sized RGBA pixmap, its last column
// and row repeated over the padding.
TPixmapPtr PadToTexture(const TPixmapPtr& src, int tw, int th);

}  // namespace kelvora
