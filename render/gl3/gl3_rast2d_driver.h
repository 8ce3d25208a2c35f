// The 2D driver on shaders: OpenGL 3.3 core profile and OpenGL ES 3.0 (so
// WebGL 2) from one source, with the pixels of the fixed-function driver
// wherever OpenGL's rules fix them. It wraps the OpenGL graphics driver,
// asking it for contexts of its kind.
//
// Like the legacy driver it batches: quads, lines and points wait in memory
// and are streamed into a vertex buffer in one draw when a state, texture
// or primitive change, a read-back or Flip needs them. Lines wider than one
// pixel are drawn as quads covering the pixels of OpenGL's wide-line rule
// (core and ES cap line widths, WebGL at 1); points are 1 pixel.
#pragma once

#include <string>

#include "render/gl/gl_graphics.h"
#include "render/rast2d_driver.h"

class TGL3Rast2DDriver : public TRast2DDriver {
public:
    explicit TGL3Rast2DDriver(TGLProfile profile) : _profile(profile) {}

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

    // Sets up the current context for 2D drawing at the graphics' size
    // (its program, vertex array and buffers made on first use) and forgets
    // the cached state of the previous one. False when the context cannot
    // run the driver (LastGraphicsError says why).
    bool ResetGLContext(const TGraphicsPtr& graphics);

    TGLProfile Profile() const { return _profile; }
    std::string ToString() const;
    // Draw calls sent so far (batches; tests count them).
    unsigned long BatchesSent() const;

private:
    TGLProfile _profile;
};

// The two instances.
TGL3Rast2DDriver* GL3CoreRast2DDriver();
TGL3Rast2DDriver* GL3ESRast2DDriver();
