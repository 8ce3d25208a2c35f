#include "kelvora/render/rast2d.h"

#include <cmath>

#include "kelvora/render/pixmap.h"
#include "render/rast2d_graphics.h"
#include "runtime/trig.h"

namespace kelvora {

namespace {

TTransformListener transform_listener = nullptr;

// Degrees to radians with the same factor everywhere, in extended precision
// so that whole right angles come out (nearly) exact.
constexpr long double kDegToRad = 0.017453292519943295L;

TRast2DGraphics& State() { return *TRast2DGraphics::Current(); }
TRast2DDriver& Drv() { return *State()._driver; }

}  // namespace

TMatrix2D TransformMatrix(float degrees, float scale_x, float scale_y) {
    long double s = SinExtended(degrees * kDegToRad);
    long double c = CosExtended(degrees * kDegToRad);
    TMatrix2D m;
    m.ix = static_cast<float>(c * scale_x);
    m.iy = static_cast<float>(-s * scale_y);
    m.jx = static_cast<float>(s * scale_x);
    m.jy = static_cast<float>(c * scale_y);
    return m;
}

TTransformListener SetTransformListener(TTransformListener listener)
{
    const TTransformListener previous = transform_listener;
    transform_listener = listener;
    return previous;
}

void TRast2DGraphics::UpdateTransform() {
    TMatrix2D m = TransformMatrix(tform_rot, tform_scale_x, tform_scale_y);
    tform_ix = m.ix;
    tform_iy = m.iy;
    tform_jx = m.jx;
    tform_jy = m.jy;
    if (_driver) _driver->SetTransform(m.ix, m.iy, m.jx, m.jy);
    if (transform_listener) transform_listener(m);
}

void SetColor(int red, int green, int blue) {
    TRast2DGraphics& g = State();
    g.color_red = red;
    g.color_green = green;
    g.color_blue = blue;
    Drv().SetColor(red, green, blue);
}

void GetColor(int& red, int& green, int& blue) {
    TRast2DGraphics& g = State();
    red = g.color_red;
    green = g.color_green;
    blue = g.color_blue;
}

void SetClsColor(int red, int green, int blue) {
    TRast2DGraphics& g = State();
    g.clscolor_red = red;
    g.clscolor_green = green;
    g.clscolor_blue = blue;
    Drv().SetClsColor(red, green, blue);
}

void GetClsColor(int& red, int& green, int& blue) {
    TRast2DGraphics& g = State();
    red = g.clscolor_red;
    green = g.clscolor_green;
    blue = g.clscolor_blue;
}

void SetAlpha(float alpha) {
    State().color_alpha = alpha;
    Drv().SetAlpha(alpha);
}

float GetAlpha() { return State().color_alpha; }

void SetBlend(int blend) {
    State().blend_mode = blend;
    Drv().SetBlend(blend);
}

int GetBlend() { return State().blend_mode; }

void SetLineWidth(float width) {
    State().line_width = width;
    Drv().SetLineWidth(width);
}

float GetLineWidth() { return State().line_width; }

void SetViewport(int x, int y, int width, int height) {
    TRast2DGraphics& g = State();
    g.viewport_x = x;
    g.viewport_y = y;
    g.viewport_w = width;
    g.viewport_h = height;
    Drv().SetViewport(x, y, width, height);
}

void GetViewport(int& x, int& y, int& width, int& height) {
    TRast2DGraphics& g = State();
    x = g.viewport_x;
    y = g.viewport_y;
    width = g.viewport_w;
    height = g.viewport_h;
}

void SetOrigin(float x, float y) {
    State().origin_x = x;
    State().origin_y = y;
}

void GetOrigin(float& x, float& y) {
    x = State().origin_x;
    y = State().origin_y;
}

void SetHandle(float x, float y) {
    State().handle_x = -x;
    State().handle_y = -y;
}

void GetHandle(float& x, float& y) {
    x = -State().handle_x;
    y = -State().handle_y;
}

void SetRotation(float degrees) {
    State().tform_rot = degrees;
    State().UpdateTransform();
}

float GetRotation() { return State().tform_rot; }

void SetScale(float scale_x, float scale_y) {
    State().tform_scale_x = scale_x;
    State().tform_scale_y = scale_y;
    State().UpdateTransform();
}

void GetScale(float& scale_x, float& scale_y) {
    scale_x = State().tform_scale_x;
    scale_y = State().tform_scale_y;
}

void SetTransform(float degrees, float scale_x, float scale_y) {
    TRast2DGraphics& g = State();
    g.tform_rot = degrees;
    g.tform_scale_x = scale_x;
    g.tform_scale_y = scale_y;
    g.UpdateTransform();
}

void Cls() { Drv().Cls(); }

void Plot(float x, float y) {
    TRast2DGraphics& g = State();
    Drv().Plot(x + g.origin_x, y + g.origin_y);
}

void DrawLine(float x, float y, float x2, float y2, int draw_last_pixel) {
    TRast2DGraphics& g = State();
    float hx = g.handle_x, hy = g.handle_y;
    float tx = x + g.origin_x, ty = y + g.origin_y;
    float px = hx + x2 - x, py = hy + y2 - y;
    Drv().DrawLine(hx, hy, px, py, tx, ty);
    if (draw_last_pixel) {
        Drv().Plot(px * g.tform_ix + py * g.tform_iy + tx, px * g.tform_jx + py * g.tform_jy + ty);
    }
}

void DrawRect(float x, float y, float width, float height) {
    TRast2DGraphics& g = State();
    Drv().DrawRect(g.handle_x, g.handle_y, g.handle_x + width, g.handle_y + height,
                   x + g.origin_x, y + g.origin_y);
}

void DrawOval(float x, float y, float width, float height) {
    TRast2DGraphics& g = State();
    Drv().DrawOval(g.handle_x, g.handle_y, g.handle_x + width, g.handle_y + height,
                   x + g.origin_x, y + g.origin_y);
}

void DrawPoly(const std::vector<float>& xy) {
    TRast2DGraphics& g = State();
    Drv().DrawPoly(xy, g.handle_x, g.handle_y, g.origin_x, g.origin_y);
}

void DrawPixmap(const TPixmapPtr& pixmap, int x, int y) {
    if (!pixmap) return;
    Drv().DrawPixmap(pixmap, x, y);
}

TPixmapPtr GrabPixmap(int x, int y, int width, int height) {
    return Drv().GrabPixmap(x, y, width, height);
}

void OpaqueUnlessAlphaBuffer(TPixmap& grabbed, int graphics_flags) {
    if ((graphics_flags & GFX_ALPHABUFFER) || grabbed.format != PIXFMT_RGBA8888) return;
    for (int y = 0; y < grabbed.height; ++y) {
        uint8_t* p = grabbed.PixelPtr(0, y);
        for (int x = 0; x < grabbed.width; ++x) p[x * 4 + 3] = 255;
    }
}

}  // namespace kelvora
