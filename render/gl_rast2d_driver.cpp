#include "render/gl_rast2d_driver.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/gl/gl_graphics.h"
#include "render/gl_image_frame.h"
#include "render/gl_rast2d_state.h"
#include "render/pixmap.h"
#include "render/rast2d.h"
#include "render/rast2d_graphics.h"

namespace {

TGLRast2DState state;

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

void SendColor(const uint8_t rgba[4]) {
    if (state.color_known && std::memcmp(state.color, rgba, 4) == 0) return;
    std::memcpy(state.color, rgba, 4);
    state.color_known = true;
    glColor4ub(rgba[0], rgba[1], rgba[2], rgba[3]);
}

void Vertex(float x, float y, float tx, float ty) {
    glVertex2f(x * state.ix + y * state.iy + tx, x * state.jx + y * state.jy + ty);
}

// Runs f with blending and alpha test off, then puts the blend mode back.
template <class F>
void WithSolidBlend(TGLRast2DDriver* d, F f) {
    const int saved = state.blend;
    d->SetBlend(BLEND_SOLID);
    f();
    if (saved != 0) d->SetBlend(saved);
}

}  // namespace

TGLRast2DState& GLRast2DState() { return state; }

void GLBindTexture(unsigned name) {
    if (state.texture == name) return;
    state.texture = name;
    glBindTexture(GL_TEXTURE_2D, name);
}

void GLEnableTexturing() {
    if (state.texturing) return;
    state.texturing = true;
    glEnable(GL_TEXTURE_2D);
}

void GLDisableTexturing() {
    if (!state.texturing) return;
    state.texturing = false;
    glDisable(GL_TEXTURE_2D);
}

void GLForgetTexture(unsigned name) {
    if (state.texture == name) state.texture = 0;
}

int OvalSegments(float x_radius, float y_radius) {
    // Past a few thousand segments nothing changes on screen; the cap keeps
    // absurd sizes from stalling a frame (or overflowing the count).
    constexpr float kMost = 65536.0f;
    const float sum = std::fabs(x_radius) + std::fabs(y_radius);
    int n = sum >= kMost ? static_cast<int>(kMost) : (sum >= 12.0f ? static_cast<int>(sum) : 12);
    return n & ~3;
}

std::vector<TGraphicsMode> TGLRast2DDriver::GraphicsModes() { return GLGraphicsDriver()->GraphicsModes(); }

TGraphicsPtr TGLRast2DDriver::AttachGraphics(void* widget, int flags) {
    TGraphicsPtr g = GLGraphicsDriver()->AttachGraphics(widget, flags);
    if (!g) return nullptr;
    return TRast2DGraphics::Create(g, this);
}

TGraphicsPtr TGLRast2DDriver::CreateGraphics(int width, int height, int depth, int hertz, int flags) {
    TGraphicsPtr g = GLGraphicsDriver()->CreateGraphics(width, height, depth, hertz, flags);
    if (!g) return nullptr;
    return TRast2DGraphics::Create(g, this);
}

void TGLRast2DDriver::SetGraphics(const TGraphicsPtr& graphics) {
    auto* g = dynamic_cast<TRast2DGraphics*>(graphics.get());
    if (g && g->_graphics) {
        GLGraphicsDriver()->SetGraphics(g->_graphics);
        ResetGLContext(graphics);
        g->MakeCurrent();
        return;
    }
    TRast2DGraphics::ClearCurrent();
    GLGraphicsDriver()->SetGraphics(nullptr);
}

void TGLRast2DDriver::Flip(int sync) { GLGraphicsDriver()->Flip(sync); }

void TGLRast2DDriver::ResetGLContext(const TGraphicsPtr& graphics) {
    int width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
    if (graphics) graphics->GetSettings(width, height, depth, hertz, flags);
    state.blend = 0;
    state.texture = 0;
    state.texturing = false;
    // The new context has its own current colour.
    state.color_known = false;
    glDisable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, height, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glViewport(0, 0, width, height);
}

TImageFramePtr TGLRast2DDriver::CreateFrameFromPixmap(const TPixmapPtr& pixmap, int flags) {
    TGLGraphicsDriver* gl = GLGraphicsDriver();
    gl->SwapSharedContext();
    std::shared_ptr<TGLImageFrame> frame;
    try {
        frame = TGLImageFrame::CreateFromPixmap(pixmap, flags);
    } catch (...) {
        gl->SwapSharedContext();
        throw;
    }
    gl->SwapSharedContext();
    return frame;
}

void ApplyGLBlend(int blend) {
    switch (blend) {
    case BLEND_MASK:
        glDisable(GL_BLEND);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GEQUAL, 0.5f);
        break;
    case BLEND_ALPHA:
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDisable(GL_ALPHA_TEST);
        break;
    case BLEND_LIGHT:
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glDisable(GL_ALPHA_TEST);
        break;
    case BLEND_SHADE:
        glEnable(GL_BLEND);
        glBlendFunc(GL_DST_COLOR, GL_ZERO);
        glDisable(GL_ALPHA_TEST);
        break;
    default:  // BLEND_SOLID and anything unknown
        glDisable(GL_BLEND);
        glDisable(GL_ALPHA_TEST);
        break;
    }
}

void TGLRast2DDriver::SetBlend(int blend) {
    if (blend == state.blend) return;
    state.blend = blend;
    ApplyGLBlend(blend);
}

void TGLRast2DDriver::SetAlpha(float alpha) {
    if (alpha > 1.0f) alpha = 1.0f;
    if (!(alpha >= 0.0f)) alpha = 0.0f;
    uint8_t rgba[4] = {state.color[0], state.color[1], state.color[2], static_cast<uint8_t>(alpha * 255.0f)};
    SendColor(rgba);
}

void TGLRast2DDriver::SetColor(int red, int green, int blue) {
    uint8_t rgba[4] = {static_cast<uint8_t>(Clamp255(red)), static_cast<uint8_t>(Clamp255(green)),
                       static_cast<uint8_t>(Clamp255(blue)), state.color[3]};
    SendColor(rgba);
}

void TGLRast2DDriver::SetClsColor(int red, int green, int blue) {
    glClearColor(Clamp255(red) / 255.0f, Clamp255(green) / 255.0f, Clamp255(blue) / 255.0f, 1.0f);
}

void TGLRast2DDriver::SetViewport(int x, int y, int width, int height) {
    if (x == 0 && y == 0 && width == GraphicsWidth() && height == GraphicsHeight()) {
        glDisable(GL_SCISSOR_TEST);
        return;
    }
    glEnable(GL_SCISSOR_TEST);
    // A negative size is an error to OpenGL; an empty rectangle is what was meant.
    glScissor(x, GraphicsHeight() - y - height, std::max(0, width), std::max(0, height));
}

void TGLRast2DDriver::SetTransform(float ix, float iy, float jx, float jy) {
    state.ix = ix;
    state.iy = iy;
    state.jx = jx;
    state.jy = jy;
}

void TGLRast2DDriver::SetLineWidth(float width) {
    // OpenGL refuses widths that are not positive.
    if (width > 0.0f) glLineWidth(width);
}

void TGLRast2DDriver::Cls() { glClear(GL_COLOR_BUFFER_BIT); }

void TGLRast2DDriver::Plot(float x, float y) {
    GLDisableTexturing();
    glBegin(GL_POINTS);
    glVertex2f(x + 0.5f, y + 0.5f);
    glEnd();
}

void TGLRast2DDriver::DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) {
    GLDisableTexturing();
    glBegin(GL_LINES);
    Vertex(x0, y0, tx + 0.5f, ty + 0.5f);
    Vertex(x1, y1, tx + 0.5f, ty + 0.5f);
    glEnd();
}

void TGLRast2DDriver::DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) {
    GLDisableTexturing();
    glBegin(GL_QUADS);
    Vertex(x0, y0, tx, ty);
    Vertex(x1, y0, tx, ty);
    Vertex(x1, y1, tx, ty);
    Vertex(x0, y1, tx, ty);
    glEnd();
}

void TGLRast2DDriver::DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) {
    const float xr = (x1 - x0) * 0.5f, yr = (y1 - y0) * 0.5f;
    const float cx = x0 + xr, cy = y0 + yr;
    const int n = OvalSegments(xr, yr);
    GLDisableTexturing();
    glBegin(GL_POLYGON);
    for (int i = 0; i < n; ++i) {
        const double th = i * 360.0 / n * 0.017453292519943295;
        Vertex(static_cast<float>(cx + std::cos(th) * xr), static_cast<float>(cy - std::sin(th) * yr), tx, ty);
    }
    glEnd();
}

void TGLRast2DDriver::DrawPoly(const std::vector<float>& xy, float handle_x, float handle_y, float origin_x,
                               float origin_y) {
    if (xy.size() < 6 || (xy.size() & 1)) return;
    GLDisableTexturing();
    glBegin(GL_POLYGON);
    for (size_t k = 0; k < xy.size(); k += 2) Vertex(xy[k] + handle_x, xy[k + 1] + handle_y, origin_x, origin_y);
    glEnd();
}

void TGLRast2DDriver::DrawPixmap(const TPixmapPtr& pixmap, int x, int y) {
    if (!pixmap || pixmap->width <= 0 || pixmap->height <= 0) return;
    TPixmapPtr p = YFlipPixmap(pixmap);
    if (p->format != PIXFMT_RGBA8888) p = p->Convert(PIXFMT_RGBA8888);
    GLDisableTexturing();
    WithSolidBlend(this, [&] {
        glRasterPos2i(0, 0);
        glBitmap(0, 0, 0, 0, static_cast<float>(x), static_cast<float>(-y - p->height), nullptr);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, p->pitch / 4);
        glDrawPixels(p->width, p->height, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    });
}

TPixmapPtr TGLRast2DDriver::GrabPixmap(int x, int y, int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    TPixmapPtr p = TPixmap::Create(width, height, PIXFMT_RGBA8888, 4);
    // Pixels outside the framebuffer are left alone by OpenGL: make them black.
    p->ClearPixels(0);
    WithSolidBlend(this, [&] {
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glPixelStorei(GL_PACK_ROW_LENGTH, p->pitch / 4);
        glReadPixels(x, GraphicsHeight() - height - y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    });
    return YFlipPixmap(p);
}

TGLRast2DDriver* GLRast2DDriver() {
    static TGLRast2DDriver driver;
    return &driver;
}

void InitGLRast2DDriver() { SetGraphicsDriver(GLRast2DDriver(), GFX_BACKBUFFER); }
