#include "render/core2d/core2d.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "render/core2d/held_point_box.h"
#include "render/core2d/image_frame.h"
#include "kelvora/render/pixmap.h"
#include "kelvora/render/rast2d.h"
#include "render/rast2d_graphics.h"
#include "kelvora/runtime/errors.h"

namespace kelvora {

namespace {

// Bounds a software rasteriser's queue to 32 draws' state copies (about
// 200 KB in llvmpipe); waiting that often moves the title's and heavy
// play's frame times by less than they vary from run to run.
constexpr int kSoftwareDrawsPerFinish = 32;

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// Whether [a0, a1] and [b0, b1] share a pixel centre (k + 0.5).
bool ShareCentre(float a0, float a1, float b0, float b1)
{
    const float lo = std::max(a0, b0), hi = std::min(a1, b1);
    return std::floor(hi - 0.5f) >= std::ceil(lo - 0.5f);
}

}  // namespace

int OvalSegments(float x_radius, float y_radius)
{
    // Past a few thousand segments nothing changes on screen; the cap keeps
    // absurd sizes from stalling a frame (or overflowing the count).
    constexpr float kMost = 65536.0f;
    const float sum = std::fabs(x_radius) + std::fabs(y_radius);
    int n = sum >= kMost ? int(kMost) : (sum >= 12.0f ? int(sum) : 12);
    return n & ~3;
}

int WideLinePixels(float width)
{
    // OpenGL caps widths far below this; the cap keeps the quad finite.
    constexpr float kWidest = 4096.0f;
    if (!(width >= 1.5f)) return 1;
    return int(std::lround(std::min(width, kWidest)));
}

int Pow2Size(int n)
{
    int t = 1;
    while (t < n && t < (1 << 30)) t <<= 1;
    return t;
}

TCore2DDriver::TCore2DDriver(TCore2DBackend& backend, TGLProfile profile) : _backend(backend), _profile(profile) {}

void TCore2DDriver::Transform(float x, float y, float tx, float ty, float* out) const
{
    out[0] = x * _state.ix + y * _state.iy + tx;
    out[1] = x * _state.jx + y * _state.jy + ty;
}

// Runs f with blending and the alpha test off, then puts the mode back.
template <class F>
void TCore2DDriver::WithSolidBlend(F f)
{
    const int saved = _state.blend;
    SetBlend(BLEND_SOLID);
    f();
    if (saved != 0) SetBlend(saved);
}

// --- the batch ---

void TCore2DDriver::Send(TCoreKind kind, bool textured, const TCoreVertex* v, size_t n, bool immediate)
{
    if (textured && _state.bound != _state.texture) {
        _backend.BindTexture(_state.texture);
        _state.bound = _state.texture;
    }
    _backend.Draw(kind, textured, v, n, immediate);
    ++_state.batches_sent;
}

void TCore2DDriver::AfterBatch()
{
    if (_state.draws_per_finish && ++_state.draws_since_finish >= _state.draws_per_finish) {
        _backend.Finish();
        _state.draws_since_finish = 0;
        ++_state.finishes;
    }
    // The vertices carried their colour: the backend's current one is unknown.
    _state.color_known = false;
}

void TCore2DDriver::FlushBatch()
{
    if (_state.batch.empty()) return;
    if (!_state.ready) {
        _state.batch.clear();
        _state.held_points.clear();
        return;
    }
    Send(_state.kind, _state.textured, _state.batch.data(), _state.batch.size(), false);
    if (!_state.held_points.empty()) {
        Send(TCoreKind::Points, false, _state.held_points.data(), _state.held_points.size(), false);
        _state.held_points.clear();
    }
    _state.batch.clear();
    AfterBatch();
}

// Room for n more vertices of that kind in the batch, sending what it holds
// first when that is of another kind.
TCoreVertex* TCore2DDriver::Reserve(TCoreKind kind, bool textured, size_t n, const uint8_t* rgba)
{
    if (!_state.batch.empty() && (_state.kind != kind || _state.textured != textured)) FlushBatch();
    _state.kind = kind;
    _state.textured = textured;
    const size_t at = _state.batch.size();
    _state.batch.resize(at + n);
    TCoreVertex* v = &_state.batch[at];
    for (size_t i = 0; i < n; ++i) {
        v[i].u = v[i].v = 0.0f;
        std::memcpy(v[i].rgba, rgba ? rgba : _state.color, 4);
    }
    return v;
}

void TCore2DDriver::Quad(const float xy[8], const float uv[8], unsigned texture, const uint8_t* rgba)
{
    if (uv && _state.texture != texture) {
        // Untextured primitives may keep waiting; textured ones change texture.
        if (_state.textured) FlushBatch();
        _state.texture = texture;
    }
    TCoreVertex* v = Reserve(TCoreKind::Quads, uv != nullptr, 4, rgba);
    for (int i = 0; i < 4; ++i) {
        v[i].x = xy[2 * i];
        v[i].y = xy[2 * i + 1];
        if (uv) {
            v[i].u = uv[2 * i];
            v[i].v = uv[2 * i + 1];
        }
    }
    if (!_state.batching) FlushImmediate();
}

// Whether the line may cover a pixel of a held point. A line covers only
// pixels whose centres lie within half its width plus half a pixel of it;
// half a pixel more is kept for safety.
bool TCore2DDriver::MayTouchHeldPoints(float x0, float y0, float x1, float y1) const
{
    if (_state.held_points.empty()) return false;
    const float r = std::max(_state.line_width, 1.0f) * 0.5f + 1.0f;
    const float* h = _state.held_box;
    return ShareCentre(std::min(x0, x1) - r, std::max(x0, x1) + r, h[0], h[2]) &&
           ShareCentre(std::min(y0, y1) - r, std::max(y0, y1) + r, h[1], h[3]);
}

void TCore2DDriver::Line(float x0, float y0, float x1, float y1)
{
    const int pixels = WideLinePixels(_state.line_width);
    if (pixels > 1 && !_state.backend_lines) {
        // OpenGL's rule: along a line more horizontal than vertical, a
        // column of that many pixels on each pixel the thin line lights,
        // from half the count below it (window coordinates, bottom-up);
        // turned for the others. So: thin lines a whole pixel apart, each
        // lighting exactly the thin line's pixels moved. Which way an exact
        // diagonal counts is the rasteriser's rounding of its ends, so a
        // diagonal of even width may lie a pixel off OpenGL's own.
        const bool across_y = std::fabs(x1 - x0) >= std::fabs(y1 - y0);
        for (int i = 0; i < pixels; ++i) {
            const float off = float(i - pixels / 2);
            const float ox = across_y ? 0.0f : off, oy = across_y ? -off : 0.0f;
            if (_state.batching && MayTouchHeldPoints(x0 + ox, y0 + oy, x1 + ox, y1 + oy)) FlushBatch();
            TCoreVertex* v = Reserve(TCoreKind::Lines, false, 2, nullptr);
            v[0].x = x0 + ox;
            v[0].y = y0 + oy;
            v[1].x = x1 + ox;
            v[1].y = y1 + oy;
            if (!_state.batching) FlushImmediate();
        }
        return;
    }
    if (_state.batching && MayTouchHeldPoints(x0, y0, x1, y1)) FlushBatch();
    TCoreVertex* v = Reserve(TCoreKind::Lines, false, 2, nullptr);
    v[0].x = x0;
    v[0].y = y0;
    v[1].x = x1;
    v[1].y = y1;
    if (!_state.batching) FlushImmediate();
}

void TCore2DDriver::Point(float x, float y)
{
    if (_state.batching && !_state.batch.empty() && _state.kind == TCoreKind::Lines && !_state.textured) {
        GrowHeldPointBox(_state.held_box, _state.held_points.empty(), x, y);
        TCoreVertex p{x, y, 0.0f, 0.0f, {0, 0, 0, 0}};
        std::memcpy(p.rgba, _state.color, 4);
        _state.held_points.push_back(p);
        return;
    }
    TCoreVertex* v = Reserve(TCoreKind::Points, false, 1, nullptr);
    v->x = x;
    v->y = y;
    if (!_state.batching) FlushImmediate();
}

// A filled convex polygon of n corners (x, y pairs): never merged.
void TCore2DDriver::Polygon(const float* xy, size_t n)
{
    FlushBatch();
    TCoreVertex* v = Reserve(TCoreKind::Polygon, false, n, nullptr);
    for (size_t i = 0; i < n; ++i) {
        v[i].x = xy[2 * i];
        v[i].y = xy[2 * i + 1];
    }
    if (_state.batching)
        FlushBatch();
    else
        FlushImmediate();
}

// Not batching: the one primitive just queued, as its own draw.
void TCore2DDriver::FlushImmediate()
{
    if (_state.ready) Send(_state.kind, _state.textured, _state.batch.data(), _state.batch.size(), true);
    _state.batch.clear();
}

void TCore2DDriver::ForgetTexture(unsigned name)
{
    if (_state.texture == name) {
        FlushBatch();
        _state.texture = 0;
    }
    if (_state.bound == name) _state.bound = 0;
}

void TCore2DDriver::SetBatching(bool on)
{
    FlushBatch();
    _state.batching = on;
    // Back to drawing one call at a time: the current colour in force.
    if (!on && _state.ready) {
        _backend.CurrentColor(_state.color);
        _state.color_known = true;
    } else if (!_state.ready) {
        _state.color_known = false;
    }
}

bool TCore2DDriver::Batching() const { return _state.batching; }

// --- contexts ---

std::vector<TGraphicsMode> TCore2DDriver::GraphicsModes() { return GLGraphicsDriver()->GraphicsModes(); }

TGraphicsPtr TCore2DDriver::AttachGraphics(void* widget, int flags)
{
    // A context of this driver's kind, whatever another driver asked for last.
    if (!GLGraphicsDriver()->SetProfile(_profile)) return nullptr;
    TGraphicsPtr g = GLGraphicsDriver()->AttachGraphics(widget, flags);
    if (!g) return nullptr;
    return TRast2DGraphics::Create(g, this);
}

TGraphicsPtr TCore2DDriver::CreateGraphics(int width, int height, int depth, int hertz, int flags)
{
    if (!GLGraphicsDriver()->SetProfile(_profile)) return nullptr;
    TGraphicsPtr g = GLGraphicsDriver()->CreateGraphics(width, height, depth, hertz, flags);
    if (!g) return nullptr;
    if (!_backend.MayRefuse()) return TRast2DGraphics::Create(g, this);
    // A context of the kind asked for may still lack what the backend needs
    // (an entry point, a shader the compiler refuses): tried out now, so
    // that the caller can take another driver.
    FlushBatch();
    GLGraphicsDriver()->SetGraphics(g);
    const bool ok = ResetGLContext(g);
    // Then the 2D state that was current before, set up again as it was.
    TRast2DGraphics* cur = TRast2DGraphics::Current();
    GLGraphicsDriver()->SetGraphics(cur && cur->_graphics ? cur->_graphics : nullptr);
    if (cur && cur->_graphics && cur->_driver == this) {
        ResetGLContext(cur->_graphics);
        cur->Validate();
    } else {
        _backend.End();
        _state.ready = false;
    }
    if (!ok) {
        g->Close();
        return nullptr;
    }
    return TRast2DGraphics::Create(g, this);
}

void TCore2DDriver::SetGraphics(const TGraphicsPtr& graphics)
{
    auto* g = dynamic_cast<TRast2DGraphics*>(graphics.get());
    // What waits belongs to the context being left.
    FlushBatch();
    if (g && g->_graphics) {
        GLGraphicsDriver()->SetGraphics(g->_graphics);
        ResetGLContext(graphics);
        g->MakeCurrent();
        return;
    }
    TRast2DGraphics::ClearCurrent();
    _backend.End();
    _state.ready = false;
    GLGraphicsDriver()->SetGraphics(nullptr);
}

void TCore2DDriver::FlipCleared(int sync)
{
    const bool drawn = !_state.batch.empty() || !_state.held_points.empty();
    Present(sync, drawn ? nullptr : _state.cls_color);
}

void TCore2DDriver::Flip(int sync) { Present(sync, nullptr); }

void TCore2DDriver::Present(int sync, const uint8_t* cleared)
{
    FlushBatch();
    // The present sees the current colour drawing call by call would have left.
    if (!_state.color_known && _state.ready) {
        _backend.CurrentColor(_state.color);
        _state.color_known = true;
    }
    _state.draws_since_finish = 0;
    if (cleared)
        GLGraphicsDriver()->FlipCleared(sync, cleared);
    else
        GLGraphicsDriver()->Flip(sync);
}

bool TCore2DDriver::ResetGLContext(const TGraphicsPtr& graphics)
{
    int width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
    if (graphics) graphics->GetSettings(width, height, depth, hertz, flags);
    TCore2DState& s = _state;
    s.batch.clear();
    s.held_points.clear();
    s.width = width;
    s.height = height;
    s.line_width = 1.0f;
    s.backend_lines = true;
    s.blend = 0;
    s.texture = 0;
    s.bound = 0;
    s.textured = false;
    // The new context has its own current colour.
    s.color_known = false;
    s.draws_per_finish = GLGraphicsDriver()->DrawsInSoftware() ? kSoftwareDrawsPerFinish : 0;
    s.draws_since_finish = 0;
    s.ready = _backend.Begin(width, height);
    return s.ready;
}

TImageFramePtr TCore2DDriver::CreateFrameFromPixmap(const TPixmapPtr& pixmap, int flags)
{
    TGLGraphicsDriver* gl = GLGraphicsDriver();
    FlushBatch();
    gl->SwapSharedContext();
    std::shared_ptr<TCoreImageFrame> frame;
    try {
        frame = TCoreImageFrame::Create(*this, pixmap, flags);
    } catch (...) {
        gl->SwapSharedContext();
        _state.bound = 0;
        throw;
    }
    gl->SwapSharedContext();
    // The shared context may have been current in between: the binding the
    // cache remembers is the one put back, or unknown.
    _state.bound = 0;
    return frame;
}

void TCore2DDriver::DeleteSharedTexture(unsigned name, int seq)
{
    // Gone with an older shared context: the name may be another's now.
    if (!GLGraphicsDriver()->TexturesAlive(seq)) return;
    ForgetTexture(name);
    TGLGraphicsDriver* gl = GLGraphicsDriver();
    gl->SwapSharedContext();
    _backend.DeleteTexture(name);
    gl->SwapSharedContext();
    // Deleting in the shared context leaves the name bound here; unbind it
    // too, or a reused name would draw the old picture.
    if (seq == GraphicsSeq()) _backend.DeleteTexture(name);
    _state.bound = 0;
}

void TCore2DDriver::AdjustTexSize(int& width, int& height)
{
    width = Pow2Size(width);
    height = Pow2Size(height);
    while (!_backend.TextureFits(width, height)) {
        if (width == 1 && height == 1) throw TRuntimeException("Unable to calculate tex size");
        if (width > 1) width /= 2;
        if (height > 1) height /= 2;
    }
}

// --- the render state ---

void TCore2DDriver::SendColor(const uint8_t rgba[4])
{
    if (_state.color_known && std::memcmp(_state.color, rgba, 4) == 0) return;
    std::memcpy(_state.color, rgba, 4);
    // Batched vertices carry their colour; the current colour is set when
    // the batch has gone.
    if (_state.batching || !_state.ready) return;
    _state.color_known = true;
    _backend.CurrentColor(rgba);
}

void TCore2DDriver::SetBlend(int blend)
{
    if (blend == _state.blend) return;
    FlushBatch();
    _state.blend = blend;
    if (_state.ready) _backend.Blend(blend);
}

void TCore2DDriver::SetAlpha(float alpha)
{
    if (alpha > 1.0f) alpha = 1.0f;
    if (!(alpha >= 0.0f)) alpha = 0.0f;
    const uint8_t rgba[4] = {_state.color[0], _state.color[1], _state.color[2], uint8_t(alpha * 255.0f)};
    SendColor(rgba);
}

void TCore2DDriver::SetColor(int red, int green, int blue)
{
    const uint8_t rgba[4] = {uint8_t(Clamp255(red)), uint8_t(Clamp255(green)), uint8_t(Clamp255(blue)),
                             _state.color[3]};
    SendColor(rgba);
}

void TCore2DDriver::SetClsColor(int red, int green, int blue)
{
    uint8_t* c = _state.cls_color;
    c[0] = uint8_t(Clamp255(red)), c[1] = uint8_t(Clamp255(green)), c[2] = uint8_t(Clamp255(blue));
    if (_state.ready) _backend.ClearColor(c[0] / 255.0f, c[1] / 255.0f, c[2] / 255.0f);
}

void TCore2DDriver::SetViewport(int x, int y, int width, int height)
{
    FlushBatch();
    if (!_state.ready) return;
    if (x == 0 && y == 0 && width == GraphicsWidth() && height == GraphicsHeight()) {
        _backend.Scissor(false, 0, 0, 0, 0);
        return;
    }
    // A negative size is an error to OpenGL; an empty rectangle is what was meant.
    _backend.Scissor(true, x, GraphicsHeight() - y - height, std::max(0, width), std::max(0, height));
}

void TCore2DDriver::SetTransform(float ix, float iy, float jx, float jy)
{
    _state.ix = ix;
    _state.iy = iy;
    _state.jx = jx;
    _state.jy = jy;
}

void TCore2DDriver::SetLineWidth(float width)
{
    // OpenGL refuses widths that are not positive.
    if (!(width > 0.0f)) return;
    // Lines waiting were drawn at the width before.
    if (!_state.batch.empty() && _state.kind == TCoreKind::Lines && width != _state.line_width) FlushBatch();
    _state.line_width = width;
    if (_state.ready) _state.backend_lines = _backend.LineWidth(width);
}

void TCore2DDriver::Cls()
{
    FlushBatch();
    if (_state.ready) _backend.Clear();
}

// --- primitives ---

void TCore2DDriver::Plot(float x, float y) { Point(x + 0.5f, y + 0.5f); }

void TCore2DDriver::DrawLine(float x0, float y0, float x1, float y1, float tx, float ty)
{
    float a[2], b[2];
    Transform(x0, y0, tx + 0.5f, ty + 0.5f, a);
    Transform(x1, y1, tx + 0.5f, ty + 0.5f, b);
    Line(a[0], a[1], b[0], b[1]);
}

void TCore2DDriver::DrawRect(float x0, float y0, float x1, float y1, float tx, float ty)
{
    float xy[8];
    Transform(x0, y0, tx, ty, xy);
    Transform(x1, y0, tx, ty, xy + 2);
    Transform(x1, y1, tx, ty, xy + 4);
    Transform(x0, y1, tx, ty, xy + 6);
    Quad(xy, nullptr, 0);
}

void TCore2DDriver::DrawOval(float x0, float y0, float x1, float y1, float tx, float ty)
{
    const float xr = (x1 - x0) * 0.5f, yr = (y1 - y0) * 0.5f;
    const float cx = x0 + xr, cy = y0 + yr;
    const int n = OvalSegments(xr, yr);
    std::vector<float> xy(2 * size_t(n));
    for (int i = 0; i < n; ++i) {
        const double th = i * 360.0 / n * 0.017453292519943295;
        Transform(float(cx + std::cos(th) * xr), float(cy - std::sin(th) * yr), tx, ty, &xy[2 * size_t(i)]);
    }
    Polygon(xy.data(), size_t(n));
}

void TCore2DDriver::DrawPoly(const std::vector<float>& xy, float handle_x, float handle_y, float origin_x,
                             float origin_y)
{
    if (xy.size() < 6 || (xy.size() & 1)) return;
    std::vector<float> out(xy.size());
    for (size_t k = 0; k < xy.size(); k += 2)
        Transform(xy[k] + handle_x, xy[k + 1] + handle_y, origin_x, origin_y, &out[k]);
    Polygon(out.data(), out.size() / 2);
}

// --- pixels ---

// One tile no larger than the largest texture, at whole pixels: the
// backend's own copy, or the tile as a texture of its size drawn 1:1, where
// every pixel centre samples its texel's centre exactly, unfiltered, and
// white leaves the texels as they are. No transform applies.
void TCore2DDriver::DrawPixmapTile(const TPixmap& tile, int x, int y)
{
    if (_backend.DrawPixels(tile, x, y)) return;
    const unsigned tex = _backend.CreateTexture(tile.width, tile.height, 1, false);
    if (!tex) return;
    _state.bound = tex;
    if (_backend.Upload(0, 0, 0, tile.width, tile.height, tile.pixels, tile.pitch / 4)) {
        const float x0 = float(x), y0 = float(y), x1 = float(x + tile.width), y1 = float(y + tile.height);
        const float xy[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
        const float uv[8] = {0, 0, 1, 0, 1, 1, 0, 1};
        const uint8_t white[4] = {255, 255, 255, 255};
        const unsigned saved = _state.texture;
        Quad(xy, uv, tex, white);
        FlushBatch();
        _state.texture = saved;
    }
    ForgetTexture(tex);
    _backend.DeleteTexture(tex);
}

void TCore2DDriver::DrawPixmap(const TPixmapPtr& pixmap, int x, int y)
{
    if (!pixmap || pixmap->width <= 0 || pixmap->height <= 0 || !_state.ready) return;
    TPixmapPtr p = pixmap->format == PIXFMT_RGBA8888 ? pixmap : pixmap->Convert(PIXFMT_RGBA8888);
    if (!p) return;
    FlushBatch();
    // Tiles no larger than the largest texture: OpenGL refuses larger ones
    // (and draws nothing), and only what lands on the picture is sent.
    const int most = std::max(1, _backend.MaxTextureSize());
    const int gw = GraphicsWidth(), gh = GraphicsHeight();
    WithSolidBlend([&] {
        for (int ty = 0; ty < p->height; ty += most) {
            const int th = std::min(most, p->height - ty);
            if (y + ty >= gh || y + ty + th <= 0) continue;
            for (int tx = 0; tx < p->width; tx += most) {
                const int tw = std::min(most, p->width - tx);
                if (x + tx >= gw || x + tx + tw <= 0) continue;
                // A window on the pixels: rows keep the whole pixmap's pitch.
                DrawPixmapTile(*PixmapWindow(p, tx, ty, tw, th), x + tx, y + ty);
            }
        }
    });
}

TPixmapPtr TCore2DDriver::GrabPixmap(int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0) return nullptr;
    TPixmapPtr p = TPixmap::Create(width, height, PIXFMT_RGBA8888, 4);
    p->ClearPixels(0);
    FlushBatch();
    if (!_state.ready) return p;
    // Only what lies inside the picture is read; the rest stays black.
    const int gh = GraphicsHeight();
    const int x0 = std::max(x, 0), x1 = std::min(x + width, GraphicsWidth());
    const int y0 = std::max(y, 0), y1 = std::min(y + height, gh);
    if (x0 < x1 && y0 < y1) {
        WithSolidBlend([&] {
            // Bottom-up rows: the last row of the rectangle is read first.
            uint8_t* at = p->PixelPtr(x0 - x, height - 1 - (y1 - 1 - y));
            _backend.ReadPixels(x0, gh - y1, x1 - x0, y1 - y0, at, p->pitch / 4);
        });
    }
    OpaqueUnlessAlphaBuffer(*p, GraphicsFlags());
    YFlipPixmapInPlace(*p);
    return p;
}

}  // namespace kelvora
