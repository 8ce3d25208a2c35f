// The abstract 2D driver: a graphics driver that also draws. The render
// state (rast2d_graphics.h) turns its settings and primitives into these
// calls; the OpenGL driver and the recording test driver implement them.
#pragma once

#include <memory>
#include <vector>

#include "kelvora/render/graphics.h"
#include "kelvora/render/image_frame.h"

namespace kelvora {

class TPixmap;
using TPixmapPtr = std::shared_ptr<TPixmap>;
using TGraphicsPtr = std::shared_ptr<TGraphics>;

class TRast2DDriver : public TGraphicsDriver {
public:
    // Image flags as in image.h (IMAGE_FILTERED, IMAGE_MIPMAPPED ...).
    virtual TImageFramePtr CreateFrameFromPixmap(const TPixmapPtr& pixmap, int flags) = 0;

    virtual void SetBlend(int blend) = 0;
    virtual void SetAlpha(float alpha) = 0;
    // Values arrive unclamped; the driver clamps them to 0..255.
    virtual void SetColor(int red, int green, int blue) = 0;
    virtual void SetClsColor(int red, int green, int blue) = 0;
    virtual void SetViewport(int x, int y, int width, int height) = 0;
    // The matrix for every later vertex: local (x, y) goes to
    // (x*ix + y*iy + tx, x*jx + y*jy + ty).
    virtual void SetTransform(float ix, float iy, float jx, float jy) = 0;
    virtual void SetLineWidth(float width) = 0;

    virtual void Cls() = 0;
    // Flip, for a picture the caller has just cleared whole with Cls and
    // not drawn on since: a driver may show the clear colour without
    // copying the picture.
    virtual void FlipCleared(int sync) { Flip(sync); }
    // Screen position, already offset by the origin; no matrix applies.
    virtual void Plot(float x, float y) = 0;
    virtual void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
    virtual void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
    virtual void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
    // xy holds x and y alternating; vertex k is ((xk + hx)*ix + (yk + hy)*iy + ox, ...).
    virtual void DrawPoly(const std::vector<float>& xy, float handle_x, float handle_y,
                          float origin_x, float origin_y) = 0;
    // Pixels copied as they are: no origin, matrix, colour or blend applies.
    virtual void DrawPixmap(const TPixmapPtr& pixmap, int x, int y) = 0;
    // The rectangle of the picture being drawn, row 0 at screen row y,
    // as PIXFMT_RGBA8888; null when nothing can be read.
    virtual TPixmapPtr GrabPixmap(int x, int y, int width, int height) = 0;
};

using TRast2DDriverPtr = std::shared_ptr<TRast2DDriver>;

// Grabbed pixels read opaque unless the graphics asked for an alpha buffer
// (GFX_ALPHABUFFER): a picture drawn translucently keeps alpha below 255
// that its user never asked for, and an unmasked grab would then vanish
// under BLEND_MASK.
void OpaqueUnlessAlphaBuffer(TPixmap& grabbed, int graphics_flags);

}  // namespace kelvora
