// A drawable frame on OpenGL: one texture in the shared context, padded to
// powers of two, with the texture coordinates of the image's corners.
#pragma once

#include <memory>

#include "render/gl/gl_glyph_atlas.h"
#include "render/image_frame.h"

class TPixmap;
using TPixmapPtr = std::shared_ptr<TPixmap>;

class TGLImageFrame : public TImageFrame {
public:
    float u0 = 0.0f, v0 = 0.0f, u1 = 1.0f, v1 = 1.0f;
    int name = 0;  // the OpenGL texture name
    int seq = 0;   // GraphicsSeq when it was made; 0 once released
    // IMAGE_SHAREABLE: the image again in a shared page, used where that
    // gives the same pixels (see gl_glyph_atlas.h).
    TGLAtlasCell cell;

    ~TGLImageFrame() override;
    void Draw(float x0, float y0, float x1, float y1, float tx, float ty) override;
    // Deletes the texture; later draws draw nothing.
    void Release();
    // Whether the quad at these screen corners samples the cell exactly as
    // it would the own texture.
    bool CellMatches(const float xy[8]) const;

    // Needs a current OpenGL context whose textures the frame may own
    // (the driver makes the shared one current around this call).
    static std::shared_ptr<TGLImageFrame> CreateFromPixmap(const TPixmapPtr& pixmap, int flags);
};

// Deletes a texture of the shared context made in graphics sequence seq,
// from wherever it is still bound as well.
void GLDeleteSharedTexture(unsigned name, int seq);

// Smallest power of two >= n, from 1.
int Pow2Size(int n);
// Rounds both sizes up to powers of two and halves them while OpenGL refuses
// an RGBA texture of that size. Raises "Unable to calculate tex size" when
// even 1x1 is refused.
void AdjustTexSize(int& width, int& height);
