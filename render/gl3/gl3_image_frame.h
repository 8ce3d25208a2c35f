// A drawable frame of the shader driver: one texture in the shared context,
// padded to powers of two with the image's last column and row smeared into
// the padding, and mipmaps made as the legacy driver makes them, so both
// sample the same texels. Small shareable images also get a cell in a glyph
// atlas page, used where it gives the same pixels.
#pragma once

#include <memory>

#include "render/image_frame.h"

class TPixmap;
using TPixmapPtr = std::shared_ptr<TPixmap>;

// One page of the atlas: a power-of-two texture without mipmaps, filled
// shelf by shelf, freed when its last cell goes.
class TGL3AtlasPage {
public:
    unsigned name = 0;
    int size = 0;
    int seq = 0;  // GraphicsSeq when it was made
    int shelf_x = 0, shelf_y = 0, shelf_height = 0;
    ~TGL3AtlasPage();
};

struct TGL3AtlasCell {
    std::shared_ptr<TGL3AtlasPage> page;  // null: no cell
    int width = 0, height = 0;
    float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
};

class TGL3ImageFrame : public TImageFrame {
public:
    float u0 = 0.0f, v0 = 0.0f, u1 = 1.0f, v1 = 1.0f;
    int name = 0;  // texture name
    int seq = 0;   // GraphicsSeq when it was made; 0 once released
    TGL3AtlasCell cell;

    ~TGL3ImageFrame() override;
    void Draw(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void Release();

    // Needs a current context of the shader driver's share group.
    static std::shared_ptr<TGL3ImageFrame> CreateFromPixmap(const TPixmapPtr& pixmap, int flags);
};

// Rounds both sizes up to powers of two, halved while larger than the
// context's largest texture. Raises "Unable to calculate tex size" when the
// context reports no usable size.
void GL3AdjustTexSize(int& width, int& height);
