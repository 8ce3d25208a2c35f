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

// Drawing and settings need graphics: without them a call does nothing
// (the first says so); getters read the defaults.
TRast2DGraphics* Target(const char* call) { return TRast2DGraphics::Drawing(call); }

const TRast2DGraphics& Settings()
{
    if (const TRast2DGraphics* g = TRast2DGraphics::Current()) return *g;
    static const TRast2DGraphics& defaults = *new TRast2DGraphics(nullptr, nullptr);
    return defaults;
}

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
    TRast2DGraphics* g = Target("SetColor");
    if (!g) return;
    g->color_red = red;
    g->color_green = green;
    g->color_blue = blue;
    g->_driver->SetColor(red, green, blue);
}

void GetColor(int& red, int& green, int& blue) {
    const TRast2DGraphics& g = Settings();
    red = g.color_red;
    green = g.color_green;
    blue = g.color_blue;
}

void SetClsColor(int red, int green, int blue) {
    TRast2DGraphics* g = Target("SetClsColor");
    if (!g) return;
    g->clscolor_red = red;
    g->clscolor_green = green;
    g->clscolor_blue = blue;
    g->_driver->SetClsColor(red, green, blue);
}

void GetClsColor(int& red, int& green, int& blue) {
    const TRast2DGraphics& g = Settings();
    red = g.clscolor_red;
    green = g.clscolor_green;
    blue = g.clscolor_blue;
}

void SetAlpha(float alpha) {
    TRast2DGraphics* g = Target("SetAlpha");
    if (!g) return;
    g->color_alpha = alpha;
    g->_driver->SetAlpha(alpha);
}

float GetAlpha() { return Settings().color_alpha; }

void SetBlend(int blend) {
    TRast2DGraphics* g = Target("SetBlend");
    if (!g) return;
    g->blend_mode = blend;
    g->_driver->SetBlend(blend);
}

int GetBlend() { return Settings().blend_mode; }

void SetLineWidth(float width) {
    TRast2DGraphics* g = Target("SetLineWidth");
    if (!g) return;
    g->line_width = width;
    g->_driver->SetLineWidth(width);
}

float GetLineWidth() { return Settings().line_width; }

void SetViewport(int x, int y, int width, int height) {
    TRast2DGraphics* g = Target("SetViewport");
    if (!g) return;
    g->viewport_x = x;
    g->viewport_y = y;
    g->viewport_w = width;
    g->viewport_h = height;
    g->_driver->SetViewport(x, y, width, height);
}

void GetViewport(int& x, int& y, int& width, int& height) {
    const TRast2DGraphics& g = Settings();
    x = g.viewport_x;
    y = g.viewport_y;
    width = g.viewport_w;
    height = g.viewport_h;
}

void SetOrigin(float x, float y) {
    TRast2DGraphics* g = Target("SetOrigin");
    if (!g) return;
    g->origin_x = x;
    g->origin_y = y;
}

void GetOrigin(float& x, float& y) {
    x = Settings().origin_x;
    y = Settings().origin_y;
}

void SetHandle(float x, float y) {
    TRast2DGraphics* g = Target("SetHandle");
    if (!g) return;
    g->handle_x = -x;
    g->handle_y = -y;
}

void GetHandle(float& x, float& y) {
    x = -Settings().handle_x;
    y = -Settings().handle_y;
}

void SetRotation(float degrees) {
    TRast2DGraphics* g = Target("SetRotation");
    if (!g) return;
    g->tform_rot = degrees;
    g->UpdateTransform();
}

float GetRotation() { return Settings().tform_rot; }

void SetScale(float scale_x, float scale_y) {
    TRast2DGraphics* g = Target("SetScale");
    if (!g) return;
    g->tform_scale_x = scale_x;
    g->tform_scale_y = scale_y;
    g->UpdateTransform();
}

void GetScale(float& scale_x, float& scale_y) {
    scale_x = Settings().tform_scale_x;
    scale_y = Settings().tform_scale_y;
}

void SetTransform(float degrees, float scale_x, float scale_y) {
    TRast2DGraphics* g = Target("SetTransform");
    if (!g) return;
    g->tform_rot = degrees;
    g->tform_scale_x = scale_x;
    g->tform_scale_y = scale_y;
    g->UpdateTransform();
}

void Cls() {
    if (TRast2DGraphics* g = Target("Cls")) g->_driver->Cls();
}

void Plot(float x, float y) {
    TRast2DGraphics* g = Target("Plot");
    if (!g) return;
    g->_driver->Plot(x + g->origin_x, y + g->origin_y);
}

void DrawLine(float x, float y, float x2, float y2, int draw_last_pixel) {
    TRast2DGraphics* g = Target("DrawLine");
    if (!g) return;
    float hx = g->handle_x, hy = g->handle_y;
    float tx = x + g->origin_x, ty = y + g->origin_y;
    float px = hx + x2 - x, py = hy + y2 - y;
    g->_driver->DrawLine(hx, hy, px, py, tx, ty);
    if (draw_last_pixel) {
        g->_driver->Plot(px * g->tform_ix + py * g->tform_iy + tx, px * g->tform_jx + py * g->tform_jy + ty);
    }
}

void DrawRect(float x, float y, float width, float height) {
    TRast2DGraphics* g = Target("DrawRect");
    if (!g) return;
    g->_driver->DrawRect(g->handle_x, g->handle_y, g->handle_x + width, g->handle_y + height,
                         x + g->origin_x, y + g->origin_y);
}

void DrawOval(float x, float y, float width, float height) {
    TRast2DGraphics* g = Target("DrawOval");
    if (!g) return;
    g->_driver->DrawOval(g->handle_x, g->handle_y, g->handle_x + width, g->handle_y + height,
                         x + g->origin_x, y + g->origin_y);
}

void DrawPoly(const std::vector<float>& xy) {
    TRast2DGraphics* g = Target("DrawPoly");
    if (!g) return;
    g->_driver->DrawPoly(xy, g->handle_x, g->handle_y, g->origin_x, g->origin_y);
}

void DrawPixmap(const TPixmapPtr& pixmap, int x, int y) {
    TRast2DGraphics* g = Target("DrawPixmap");
    if (!g || !pixmap) return;
    g->_driver->DrawPixmap(pixmap, x, y);
}

TPixmapPtr GrabPixmap(int x, int y, int width, int height) {
    TRast2DGraphics* g = Target("GrabPixmap");
    return g ? g->_driver->GrabPixmap(x, y, width, height) : nullptr;
}

void OpaqueUnlessAlphaBuffer(TPixmap& grabbed, int graphics_flags) {
    if ((graphics_flags & GFX_ALPHABUFFER) || grabbed.format != PIXFMT_RGBA8888) return;
    for (int y = 0; y < grabbed.height; ++y) {
        uint8_t* p = grabbed.PixelPtr(0, y);
        for (int x = 0; x < grabbed.width; ++x) p[x * 4 + 3] = 255;
    }
}

}  // namespace kelvora
