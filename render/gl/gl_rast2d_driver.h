// The 2D driver on fixed-function OpenGL. It wraps the OpenGL graphics
// driver: every context it opens comes with a 2D render state.
#pragma once

#include "render/rast2d_driver.h"

class TGLRast2DDriver : public TRast2DDriver {
public:
    std::vector<TGraphicsMode> GraphicsModes() override;
    TGraphicsPtr AttachGraphics(void* widget, int flags) override;
    TGraphicsPtr CreateGraphics(int width, int height, int depth, int hertz, int flags) override;
    void SetGraphics(const TGraphicsPtr& graphics) override;
    void Flip(int sync) override;

    TImageFramePtr CreateFrameFromPixmap(const TPixmapPtr& pixmap, int flags) override;
    void SetBlend(int blend) override;
    void SetAlpha(float alpha) override;
    void SetColor(int red, int green, int blue) override;
    void SetClsColor(int red, int green, int blue) override;
    void SetViewport(int x, int y, int width, int height) override;
    void SetTransform(float ix, float iy, float jx, float jy) override;
    void SetLineWidth(float width) override;
    void Cls() override;
    void Plot(float x, float y) override;
    void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawPoly(const std::vector<float>& xy, float handle_x, float handle_y,
                  float origin_x, float origin_y) override;
    void DrawPixmap(const TPixmapPtr& pixmap, int x, int y) override;
    TPixmapPtr GrabPixmap(int x, int y, int width, int height) override;

    // Sets up the current OpenGL context for 2D drawing at the graphics'
    // size and forgets the cached state of the previous one.
    void ResetGLContext(const TGraphicsPtr& graphics);

    std::string ToString() const { return "OpenGL"; }

    // Batching on: quads, lines and points wait and go out together in
    // client-side vertex arrays when a state, texture or primitive change,
    // a read-back or Flip needs them; the pixels are the same as drawn one
    // call at a time (off), only fewer calls reach OpenGL. On by default.
    void SetBatching(bool on);
    bool Batching() const;
};

// Issues the OpenGL blend and alpha-test settings of a blend mode
// (BLEND_MASK ... BLEND_SHADE; anything else is solid), without caching.
void ApplyGLBlend(int blend);

// Segments DrawOval uses for these half-axes: their sum, at least 12,
// rounded down to a multiple of 4.
int OvalSegments(float x_radius, float y_radius);

// The one instance.
TGLRast2DDriver* GLRast2DDriver();
// Installs the OpenGL 2D driver as the current graphics driver
// (default flags GFX_BACKBUFFER), batching.
void InitGLRast2DDriver();
