#include "render/held_point_box.h"
#include "render/gl/gl_rast2d_driver.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "render/gl/gl_graphics.h"
#include "render/gl/gl_image_frame.h"
#include "render/gl/gl_rast2d_state.h"
#include "render/pixmap.h"
#include "render/rast2d.h"
#include "render/rast2d_graphics.h"

namespace {

TGLRast2DState state;

// Bounds a software rasteriser's queue to about 2 MB of state copies while
// a heavy play frame (about 150 state changes) costs no measurable time.
constexpr int kSoftwareDrawsPerFlush = 32;

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

void SendColor(const uint8_t rgba[4]) {
    if (state.color_known && std::memcmp(state.color, rgba, 4) == 0) return;
    std::memcpy(state.color, rgba, 4);
    // Batched vertices carry their colour; the current colour is set when
    // the batch has gone.
    if (state.batching) return;
    state.color_known = true;
    glColor4ub(rgba[0], rgba[1], rgba[2], rgba[3]);
}

// A local point through the matrix, moved by (tx, ty).
void Transform(float x, float y, float tx, float ty, float* out) {
    out[0] = x * state.ix + y * state.iy + tx;
    out[1] = x * state.jx + y * state.jy + ty;
}

// Runs f with blending and alpha test off, then puts the blend mode back.
template <class F>
void WithSolidBlend(TGLRast2DDriver* d, F f) {
    const int saved = state.blend;
    d->SetBlend(BLEND_SOLID);
    f();
    if (saved != 0) d->SetBlend(saved);
}

// Room for n more vertices of that primitive in the batch, sending what it
// holds first when that is of another kind.
TGLVertex* Reserve(unsigned primitive, bool textured, size_t n) {
    if (!state.batch.empty() && (state.batch_primitive != primitive || state.batch_textured != textured)) {
        GLFlushBatch();
    }
    state.batch_primitive = primitive;
    state.batch_textured = textured;
    const size_t at = state.batch.size();
    state.batch.resize(at + n);
    TGLVertex* v = &state.batch[at];
    for (size_t i = 0; i < n; ++i) std::memcpy(v[i].rgba, state.color, 4);
    return v;
}

}  // namespace

TGLRast2DState& GLRast2DState() { return state; }

// The vertex, colour and texture-coordinate arrays stay enabled while the
// driver batches: enabling them per draw would cost more than it saves.
void EnableArrays(bool on) {
    if (state.arrays_on == on) return;
    state.arrays_on = on;
    if (on) {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    } else {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
    }
}

namespace {

// Whether [a0, a1] and [b0, b1] share a pixel centre (k + 0.5).
bool ShareCentre(float a0, float a1, float b0, float b1) {
    const float lo = std::max(a0, b0), hi = std::min(a1, b1);
    return std::floor(hi - 0.5f) >= std::ceil(lo - 0.5f);
}

// Whether the line may cover a pixel of a held point. A line covers only
// pixels whose centres lie within half its width plus half a pixel of it;
// half a pixel more is kept for safety.
bool MayTouchHeldPoints(float x0, float y0, float x1, float y1) {
    if (state.held_points.empty()) return false;
    const float r = std::max(state.line_width, 1.0f) * 0.5f + 1.0f;
    const float* h = state.held_box;
    return ShareCentre(std::min(x0, x1) - r, std::max(x0, x1) + r, h[0], h[2]) &&
           ShareCentre(std::min(y0, y1) - r, std::max(y0, y1) + r, h[1], h[3]);
}

// The points held beside the batch of lines just sent.
void SendHeldPoints() {
    if (state.held_points.empty()) return;
    const TGLVertex* v = state.held_points.data();
    glVertexPointer(2, GL_FLOAT, sizeof(TGLVertex), &v->x);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(TGLVertex), v->rgba);
    glTexCoordPointer(2, GL_FLOAT, sizeof(TGLVertex), &v->u);
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(state.held_points.size()));
    ++state.batches_sent;
    state.held_points.clear();
}

}  // namespace

void GLFlushBatch() {
    if (state.batch.empty()) return;
    const TGLVertex* v = state.batch.data();
    EnableArrays(true);
    glVertexPointer(2, GL_FLOAT, sizeof(TGLVertex), &v->x);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(TGLVertex), v->rgba);
    glTexCoordPointer(2, GL_FLOAT, sizeof(TGLVertex), &v->u);
    glDrawArrays(state.batch_primitive, 0, static_cast<GLsizei>(state.batch.size()));
    ++state.batches_sent;
    SendHeldPoints();
    state.batch.clear();
    if (state.draws_per_flush && ++state.draws_since_flush >= state.draws_per_flush) {
        glFlush();
        state.draws_since_flush = 0;
    }
    // A colour array leaves the current colour undefined.
    state.color_known = false;
}

void GLQuad(const float xy[8], const float uv[8]) {
    if (state.batching) {
        TGLVertex* v = Reserve(GL_QUADS, uv != nullptr, 4);
        for (int i = 0; i < 4; ++i) {
            v[i].x = xy[2 * i];
            v[i].y = xy[2 * i + 1];
            v[i].u = uv ? uv[2 * i] : 0.0f;
            v[i].v = uv ? uv[2 * i + 1] : 0.0f;
        }
        return;
    }
    glBegin(GL_QUADS);
    for (int i = 0; i < 4; ++i) {
        if (uv) glTexCoord2f(uv[2 * i], uv[2 * i + 1]);
        glVertex2f(xy[2 * i], xy[2 * i + 1]);
    }
    glEnd();
}

void GLLine(float x0, float y0, float x1, float y1) {
    if (state.batching) {
        if (MayTouchHeldPoints(x0, y0, x1, y1)) GLFlushBatch();
        TGLVertex* v = Reserve(GL_LINES, false, 2);
        v[0].x = x0;
        v[0].y = y0;
        v[1].x = x1;
        v[1].y = y1;
        return;
    }
    glBegin(GL_LINES);
    glVertex2f(x0, y0);
    glVertex2f(x1, y1);
    glEnd();
}

void GLPoint(float x, float y) {
    if (state.batching) {
        if (!state.batch.empty() && state.batch_primitive == GL_LINES && !state.batch_textured) {
            GrowHeldPointBox(state.held_box, state.held_points.empty(), x, y);
            TGLVertex p{x, y, 0.0f, 0.0f, {0, 0, 0, 0}};
            std::memcpy(p.rgba, state.color, 4);
            state.held_points.push_back(p);
            return;
        }
        TGLVertex* v = Reserve(GL_POINTS, false, 1);
        v->x = x;
        v->y = y;
        return;
    }
    glBegin(GL_POINTS);
    glVertex2f(x, y);
    glEnd();
}

void GLPolygon(const float* xy, size_t n) {
    if (state.batching) {
        GLFlushBatch();
        TGLVertex* v = Reserve(GL_POLYGON, false, n);
        for (size_t i = 0; i < n; ++i) {
            v[i].x = xy[2 * i];
            v[i].y = xy[2 * i + 1];
        }
        GLFlushBatch();
        return;
    }
    glBegin(GL_POLYGON);
    for (size_t i = 0; i < n; ++i) glVertex2f(xy[2 * i], xy[2 * i + 1]);
    glEnd();
}

void GLBindTexture(unsigned name) {
    if (state.texture == name) return;
    GLFlushBatch();
    state.texture = name;
    glBindTexture(GL_TEXTURE_2D, name);
}

void GLEnableTexturing() {
    if (state.texturing) return;
    GLFlushBatch();
    state.texturing = true;
    glEnable(GL_TEXTURE_2D);
}

void GLDisableTexturing() {
    if (!state.texturing) return;
    GLFlushBatch();
    state.texturing = false;
    glDisable(GL_TEXTURE_2D);
}

void GLForgetTexture(unsigned name) {
    GLFlushBatch();
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
    // A compatibility context, whatever kind another driver asked for last.
    if (!GLGraphicsDriver()->SetProfile(TGLProfile::Legacy)) return nullptr;
    TGraphicsPtr g = GLGraphicsDriver()->AttachGraphics(widget, flags);
    if (!g) return nullptr;
    return TRast2DGraphics::Create(g, this);
}

TGraphicsPtr TGLRast2DDriver::CreateGraphics(int width, int height, int depth, int hertz, int flags) {
    if (!GLGraphicsDriver()->SetProfile(TGLProfile::Legacy)) return nullptr;
    TGraphicsPtr g = GLGraphicsDriver()->CreateGraphics(width, height, depth, hertz, flags);
    if (!g) return nullptr;
    return TRast2DGraphics::Create(g, this);
}

void TGLRast2DDriver::SetGraphics(const TGraphicsPtr& graphics) {
    auto* g = dynamic_cast<TRast2DGraphics*>(graphics.get());
    // What waits belongs to the context being left.
    GLFlushBatch();
    if (g && g->_graphics) {
        GLGraphicsDriver()->SetGraphics(g->_graphics);
        ResetGLContext(graphics);
        g->MakeCurrent();
        return;
    }
    TRast2DGraphics::ClearCurrent();
    GLGraphicsDriver()->SetGraphics(nullptr);
}

void TGLRast2DDriver::Flip(int sync) {
    GLFlushBatch();
    // The present sees the current colour immediate mode would have left.
    if (!state.color_known) {
        glColor4ub(state.color[0], state.color[1], state.color[2], state.color[3]);
        state.color_known = true;
    }
    state.draws_since_flush = 0;
    GLGraphicsDriver()->Flip(sync);
}

void TGLRast2DDriver::SetBatching(bool on) {
    if (!TRast2DGraphics::Current()) {
        state.batching = on;
        state.color_known = false;
        return;
    }
    GLFlushBatch();
    state.batching = on;
    if (on) return;
    // Back to immediate mode: no arrays, and the current colour in force.
    EnableArrays(false);
    glColor4ub(state.color[0], state.color[1], state.color[2], state.color[3]);
    state.color_known = true;
}

bool TGLRast2DDriver::Batching() const { return state.batching; }

void TGLRast2DDriver::ResetGLContext(const TGraphicsPtr& graphics) {
    int width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
    if (graphics) graphics->GetSettings(width, height, depth, hertz, flags);
    state.batch.clear();
    state.held_points.clear();
    state.line_width = 1.0f;
    // A new context starts with its client arrays off.
    state.arrays_on = false;
    state.blend = 0;
    state.texture = 0;
    state.texturing = false;
    // The new context has its own current colour.
    state.color_known = false;
    state.draws_per_flush = GLGraphicsDriver()->DrawsInSoftware() ? kSoftwareDrawsPerFlush : 0;
    state.draws_since_flush = 0;
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
    GLFlushBatch();
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
    GLFlushBatch();
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
    GLFlushBatch();
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
    if (!(width > 0.0f)) return;
    GLFlushBatch();
    glLineWidth(width);
    state.line_width = width;
}

void TGLRast2DDriver::Cls() {
    GLFlushBatch();
    glClear(GL_COLOR_BUFFER_BIT);
}

void TGLRast2DDriver::Plot(float x, float y) {
    GLDisableTexturing();
    GLPoint(x + 0.5f, y + 0.5f);
}

void TGLRast2DDriver::DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) {
    GLDisableTexturing();
    float a[2], b[2];
    Transform(x0, y0, tx + 0.5f, ty + 0.5f, a);
    Transform(x1, y1, tx + 0.5f, ty + 0.5f, b);
    GLLine(a[0], a[1], b[0], b[1]);
}

void TGLRast2DDriver::DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) {
    GLDisableTexturing();
    float xy[8];
    Transform(x0, y0, tx, ty, xy);
    Transform(x1, y0, tx, ty, xy + 2);
    Transform(x1, y1, tx, ty, xy + 4);
    Transform(x0, y1, tx, ty, xy + 6);
    GLQuad(xy, nullptr);
}

void TGLRast2DDriver::DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) {
    const float xr = (x1 - x0) * 0.5f, yr = (y1 - y0) * 0.5f;
    const float cx = x0 + xr, cy = y0 + yr;
    const int n = OvalSegments(xr, yr);
    GLDisableTexturing();
    std::vector<float> xy(2 * static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double th = i * 360.0 / n * 0.017453292519943295;
        Transform(static_cast<float>(cx + std::cos(th) * xr), static_cast<float>(cy - std::sin(th) * yr), tx, ty,
                  &xy[2 * static_cast<size_t>(i)]);
    }
    GLPolygon(xy.data(), static_cast<size_t>(n));
}

void TGLRast2DDriver::DrawPoly(const std::vector<float>& xy, float handle_x, float handle_y, float origin_x,
                               float origin_y) {
    if (xy.size() < 6 || (xy.size() & 1)) return;
    GLDisableTexturing();
    std::vector<float> out(xy.size());
    for (size_t k = 0; k < xy.size(); k += 2) Transform(xy[k] + handle_x, xy[k + 1] + handle_y, origin_x, origin_y, &out[k]);
    GLPolygon(out.data(), out.size() / 2);
}

void TGLRast2DDriver::DrawPixmap(const TPixmapPtr& pixmap, int x, int y) {
    if (!pixmap || pixmap->width <= 0 || pixmap->height <= 0) return;
    TPixmapPtr p = YFlipPixmap(pixmap);
    if (p->format != PIXFMT_RGBA8888) p = p->Convert(PIXFMT_RGBA8888);
    GLDisableTexturing();
    GLFlushBatch();
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
    GLFlushBatch();
    WithSolidBlend(this, [&] {
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glPixelStorei(GL_PACK_ROW_LENGTH, p->pitch / 4);
        glReadPixels(x, GraphicsHeight() - height - y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    });
    OpaqueUnlessAlphaBuffer(*p, GraphicsFlags());
    YFlipPixmapInPlace(*p);  // OpenGL reads bottom-up
    return p;
}

TGLRast2DDriver* GLRast2DDriver() {
    static TGLRast2DDriver driver;
    return &driver;
}

void InitGLRast2DDriver() {
    GLRast2DDriver()->SetBatching(true);
    SetGraphicsDriver(GLRast2DDriver(), GFX_BACKBUFFER);
}
