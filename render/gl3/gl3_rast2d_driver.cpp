#include "render/held_point_box.h"
#include "render/gl3/gl3_rast2d_driver.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "render/gl/gl_rast2d_driver.h"
#include "render/gl3/gl3_api.h"
#include "render/gl3/gl3_image_frame.h"
#include "render/gl3/gl3_rast2d_state.h"
#include "render/pixmap.h"
#include "render/rast2d.h"
#include "render/rast2d_graphics.h"

namespace {

TGL3Rast2DState state;
// One set per context made; a set whose context is gone is remade when a
// new context gets its address (its names are then unknown there).
std::vector<std::unique_ptr<TGL3ContextObjects>> context_objects;

constexpr int kSoftwareDrawsPerFlush = 32;

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

void Transform(float x, float y, float tx, float ty, float* out)
{
    out[0] = x * state.ix + y * state.iy + tx;
    out[1] = x * state.jx + y * state.jy + ty;
}

TGL3Vertex* Reserve(TGL3Kind kind, bool textured, size_t n, const uint8_t* rgba)
{
    if (!state.batch.empty() && (state.kind != kind || state.textured != textured)) GL3FlushBatch();
    state.kind = kind;
    state.textured = textured;
    const size_t at = state.batch.size();
    state.batch.resize(at + n);
    TGL3Vertex* v = &state.batch[at];
    for (size_t i = 0; i < n; ++i) std::memcpy(v[i].rgba, rgba ? rgba : state.color, 4);
    return v;
}

// The vertices into a fresh store in one call: the old store is orphaned,
// so the draws still reading it need not wait, and nothing is copied twice.
void Stream(const std::vector<TGL3Vertex>& v)
{
    GL3().BufferData(GL_ARRAY_BUFFER, GLsizeiptr(v.size() * sizeof(TGL3Vertex)), v.data(), GL_STREAM_DRAW);
}

// Two triangles per quad, (0, 1, 2) and (0, 2, 3), as Mesa splits GL_QUADS:
// the same inner edge, so its rounding falls on the same pixels.
void EnsureQuadIndices(size_t quads)
{
    TGL3ContextObjects& o = *state.objects;
    if (quads <= o.ibo_quads) return;
    size_t n = std::max<size_t>(1024, o.ibo_quads);
    while (n < quads) n *= 2;
    std::vector<GLuint> idx(n * 6);
    for (size_t q = 0; q < n; ++q) {
        const GLuint b = GLuint(q * 4);
        const GLuint tri[6] = {b, b + 1, b + 2, b, b + 2, b + 3};
        std::memcpy(&idx[q * 6], tri, sizeof tri);
    }
    GL3().BufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(idx.size() * sizeof(GLuint)), idx.data(), GL_STATIC_DRAW);
    o.ibo_quads = n;
}

// Uniforms and the texture of what is about to be drawn.
void PrepareDraw(bool textured)
{
    const TGL3Api& gl = GL3();
    const int variant = (textured ? kGL3Textured : 0) | (state.blend == BLEND_MASK ? kGL3AlphaTest : 0);
    if (variant != state.used_variant) {
        TGL3Program& program = state.objects->programs[variant];
        if (!program.name) {
            std::string error;
            if (BuildGL3Program(state.es, variant, program, error))
                gl.UniformMatrix4fv(program.projection, 1, GL_FALSE, state.projection);
            else
                SetLastGraphicsError("The shader driver cannot run here: " + error);
        }
        gl.UseProgram(program.name);
        state.used_variant = variant;
    }
    if (textured && state.bound != state.texture) {
        gl.BindTexture(GL_TEXTURE_2D, state.texture);
        state.bound = state.texture;
    }
}

void AfterDraw()
{
    ++state.batches_sent;
    if (state.draws_per_flush && ++state.draws_since_flush >= state.draws_per_flush) {
        GL3().Flush();
        state.draws_since_flush = 0;
    }
}

bool ShareCentre(float a0, float a1, float b0, float b1)
{
    const float lo = std::max(a0, b0), hi = std::min(a1, b1);
    return std::floor(hi - 0.5f) >= std::ceil(lo - 0.5f);
}

// Whether a line may cover a pixel of a held point (see the legacy driver).
bool MayTouchHeldPoints(float x0, float y0, float x1, float y1)
{
    if (state.held_points.empty()) return false;
    const float r = std::max(state.line_width, 1.0f) * 0.5f + 1.0f;
    const float* h = state.held_box;
    return ShareCentre(std::min(x0, x1) - r, std::max(x0, x1) + r, h[0], h[2]) &&
           ShareCentre(std::min(y0, y1) - r, std::max(y0, y1) + r, h[1], h[3]);
}

// OpenGL's wide line as the quad that covers its pixels: for a line more
// horizontal than vertical, the column of width pixels centred on each
// pixel the thin line covers, so a parallelogram with vertical ends moved
// half a pixel back along the line (the start pixel in, the end pixel out,
// as the thin line's diamond rule has it); likewise turned for the others.
// A small bias keeps even widths from landing on pixel centres.
void WideLine(float x0, float y0, float x1, float y1, float width)
{
    const float h = width * 0.5f, bias = 0.125f;
    float xy[8];
    if (std::fabs(x1 - x0) > std::fabs(y1 - y0)) {
        const float s = x0 < x1 ? -0.5f : 0.5f;
        const float q[8] = {x0 + s, y0 - h - bias, x1 + s, y1 - h - bias, x1 + s, y1 + h - bias, x0 + s, y0 + h - bias};
        std::memcpy(xy, q, sizeof q);
    } else {
        const float s = y0 < y1 ? -0.5f : 0.5f;
        const float q[8] = {x0 - h + bias, y0 + s, x1 - h + bias, y1 + s, x1 + h + bias, y1 + s, x0 + h + bias, y0 + s};
        std::memcpy(xy, q, sizeof q);
    }
    GL3Quad(xy, nullptr);
}

TGL3ContextObjects* ObjectsFor(void* context)
{
    for (auto& o : context_objects)
        if (o->context == context) return o.get();
    context_objects.push_back(std::make_unique<TGL3ContextObjects>());
    context_objects.back()->context = context;
    return context_objects.back().get();
}

// Program, vertex array and buffers of the current context, made where
// missing. The program and buffers are shared between contexts, the vertex
// array is not; names another context of the group made are reused.
bool PrepareObjects(TGL3ContextObjects& o, bool es)
{
    const TGL3Api& gl = GL3();
    // The plain variant now, so that a compiler that refuses the source is
    // known when the context is made; the others on first use (start-up
    // pays for one).
    for (int variant = kGL3Variants - 1; variant >= 0; --variant) {
        TGL3Program& program = o.programs[variant];
        if (program.name && gl.IsProgram(program.name)) continue;
        program = TGL3Program{};
        if (variant != 0) continue;
        std::string error;
        if (!BuildGL3Program(es, variant, program, error)) {
            SetLastGraphicsError("The shader driver cannot run here: " + error);
            return false;
        }
        o.vao = 0;
    }
    if (o.vao && gl.IsVertexArray(o.vao)) {
        gl.BindVertexArray(o.vao);
        gl.BindBuffer(GL_ARRAY_BUFFER, o.vbo);
        return true;
    }
    gl.GenVertexArrays(1, &o.vao);
    gl.BindVertexArray(o.vao);
    gl.GenBuffers(1, &o.vbo);
    gl.GenBuffers(1, &o.ibo);
    o.ibo_quads = 0;
    gl.BindBuffer(GL_ARRAY_BUFFER, o.vbo);
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, o.ibo);
    const GLsizei stride = sizeof(TGL3Vertex);
    gl.EnableVertexAttribArray(kGL3Position);
    gl.VertexAttribPointer(kGL3Position, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(TGL3Vertex, x)));
    gl.EnableVertexAttribArray(kGL3TexCoord);
    gl.VertexAttribPointer(kGL3TexCoord, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(TGL3Vertex, u)));
    gl.EnableVertexAttribArray(kGL3Color);
    gl.VertexAttribPointer(kGL3Color, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                           reinterpret_cast<void*>(offsetof(TGL3Vertex, rgba)));
    return true;
}

std::string ContextVersion()
{
    const char* v = reinterpret_cast<const char*>(GL3().GetString(GL_VERSION));
    return v ? v : "";
}

// "3.3 ..." for desktop OpenGL, "OpenGL ES 3.0 ..." for ES and WebGL 2.
bool VersionAtLeast(const std::string& version, bool es)
{
    const char* prefix = "OpenGL ES ";
    const char* at = version.c_str();
    if (es) {
        if (version.compare(0, std::strlen(prefix), prefix) != 0) return false;
        at += std::strlen(prefix);
    }
    int major = 0, minor = 0;
    if (std::sscanf(at, "%d.%d", &major, &minor) != 2) return false;
    return major * 10 + minor >= (es ? 30 : 33);
}

// Runs f with blending and the alpha test off, then puts the mode back.
template <class F>
void WithSolidBlend(TGL3Rast2DDriver* d, F f)
{
    const int saved = state.blend;
    d->SetBlend(BLEND_SOLID);
    f();
    if (saved != 0) d->SetBlend(saved);
}

}  // namespace

TGL3Rast2DState& GL3Rast2DState() { return state; }

void GL3FlushBatch()
{
    if (state.batch.empty() || !state.objects) {
        state.batch.clear();
        state.held_points.clear();
        return;
    }
    const TGL3Api& gl = GL3();
    PrepareDraw(state.textured);
    const GLsizei n = GLsizei(state.batch.size());
    // Held points ride in the same store, after the batch.
    state.batch.insert(state.batch.end(), state.held_points.begin(), state.held_points.end());
    Stream(state.batch);
    switch (state.kind) {
    case TGL3Kind::Quads:
        EnsureQuadIndices(state.batch.size() / 4);
        gl.DrawElements(GL_TRIANGLES, n / 4 * 6, GL_UNSIGNED_INT, nullptr);
        break;
    case TGL3Kind::Lines:
        gl.DrawArrays(GL_LINES, 0, n);
        break;
    case TGL3Kind::Points:
        gl.DrawArrays(GL_POINTS, 0, n);
        break;
    }
    AfterDraw();
    if (!state.held_points.empty()) {
        gl.DrawArrays(GL_POINTS, n, GLsizei(state.held_points.size()));
        ++state.batches_sent;
        state.held_points.clear();
    }
    state.batch.clear();
}

void GL3UseTexture(unsigned name)
{
    if (state.texture == name) return;
    // Untextured primitives may keep waiting; textured ones change texture.
    if (state.textured) GL3FlushBatch();
    state.texture = name;
}

void GL3ForgetTexture(unsigned name)
{
    if (state.texture == name) {
        GL3FlushBatch();
        state.texture = 0;
    }
    if (state.bound == name) state.bound = 0;
}

void GL3Quad(const float xy[8], const float uv[8], const uint8_t* rgba)
{
    TGL3Vertex* v = Reserve(TGL3Kind::Quads, uv != nullptr, 4, rgba);
    for (int i = 0; i < 4; ++i) {
        v[i].x = xy[2 * i];
        v[i].y = xy[2 * i + 1];
        v[i].u = uv ? uv[2 * i] : 0.0f;
        v[i].v = uv ? uv[2 * i + 1] : 0.0f;
    }
}

void GL3Line(float x0, float y0, float x1, float y1)
{
    if (state.line_width > 1.0f) {
        WideLine(x0, y0, x1, y1, state.line_width);
        return;
    }
    if (MayTouchHeldPoints(x0, y0, x1, y1)) GL3FlushBatch();
    TGL3Vertex* v = Reserve(TGL3Kind::Lines, false, 2, nullptr);
    v[0].x = x0;
    v[0].y = y0;
    v[1].x = x1;
    v[1].y = y1;
    v[0].u = v[0].v = v[1].u = v[1].v = 0.0f;
}

void GL3Point(float x, float y)
{
    if (!state.batch.empty() && state.kind == TGL3Kind::Lines) {
        GrowHeldPointBox(state.held_box, state.held_points.empty(), x, y);
        TGL3Vertex p{x, y, 0.0f, 0.0f, {0, 0, 0, 0}};
        std::memcpy(p.rgba, state.color, 4);
        state.held_points.push_back(p);
        return;
    }
    TGL3Vertex* v = Reserve(TGL3Kind::Points, false, 1, nullptr);
    v->x = x;
    v->y = y;
    v->u = v->v = 0.0f;
}

void GL3Polygon(const float* xy, size_t n)
{
    GL3FlushBatch();
    if (!state.objects) return;
    std::vector<TGL3Vertex>& fan = state.batch;  // empty now; its room is kept
    fan.resize(n);
    for (size_t i = 0; i < n; ++i) {
        fan[i] = TGL3Vertex{xy[2 * i], xy[2 * i + 1], 0.0f, 0.0f, {0, 0, 0, 0}};
        std::memcpy(fan[i].rgba, state.color, 4);
    }
    PrepareDraw(false);
    Stream(fan);
    fan.clear();
    GL3().DrawArrays(GL_TRIANGLE_FAN, 0, GLsizei(n));
    AfterDraw();
}

std::string TGL3Rast2DDriver::ToString() const
{
    return _profile == TGLProfile::ES ? "OpenGL ES 3.0" : "OpenGL 3.3 core";
}

unsigned long TGL3Rast2DDriver::BatchesSent() const { return state.batches_sent; }

std::vector<TGraphicsMode> TGL3Rast2DDriver::GraphicsModes() { return GLGraphicsDriver()->GraphicsModes(); }

namespace {

// The 2D state that was current before a context was tried out, set up
// again as it was.
void PutBackCurrent(TGL3Rast2DDriver* self)
{
    TRast2DGraphics* cur = TRast2DGraphics::Current();
    GLGraphicsDriver()->SetGraphics(cur && cur->_graphics ? cur->_graphics : nullptr);
    if (cur && cur->_graphics && cur->_driver == self) {
        self->ResetGLContext(cur->_graphics);
        cur->Validate();
    } else {
        state.objects = nullptr;
    }
}

}  // namespace

TGraphicsPtr TGL3Rast2DDriver::AttachGraphics(void* widget, int flags)
{
    if (!GLGraphicsDriver()->SetProfile(_profile)) return nullptr;
    TGraphicsPtr g = GLGraphicsDriver()->AttachGraphics(widget, flags);
    if (!g) return nullptr;
    return TRast2DGraphics::Create(g, this);
}

TGraphicsPtr TGL3Rast2DDriver::CreateGraphics(int width, int height, int depth, int hertz, int flags)
{
    if (!GLGraphicsDriver()->SetProfile(_profile)) return nullptr;
    TGraphicsPtr g = GLGraphicsDriver()->CreateGraphics(width, height, depth, hertz, flags);
    if (!g) return nullptr;
    // A context of the kind asked for may still lack what the driver needs
    // (an entry point, a shader the compiler refuses): tried out now, so
    // that the caller can take another driver.
    GL3FlushBatch();
    GLGraphicsDriver()->SetGraphics(g);
    const bool ok = ResetGLContext(g);
    PutBackCurrent(this);
    if (!ok) {
        g->Close();
        return nullptr;
    }
    return TRast2DGraphics::Create(g, this);
}

void TGL3Rast2DDriver::SetGraphics(const TGraphicsPtr& graphics)
{
    auto* g = dynamic_cast<TRast2DGraphics*>(graphics.get());
    GL3FlushBatch();
    if (g && g->_graphics) {
        GLGraphicsDriver()->SetGraphics(g->_graphics);
        ResetGLContext(graphics);
        g->MakeCurrent();
        return;
    }
    TRast2DGraphics::ClearCurrent();
    state.objects = nullptr;
    GLGraphicsDriver()->SetGraphics(nullptr);
}

void TGL3Rast2DDriver::Flip(int sync)
{
    GL3FlushBatch();
    state.draws_since_flush = 0;
    GLGraphicsDriver()->Flip(sync);
}

bool TGL3Rast2DDriver::ResetGLContext(const TGraphicsPtr& graphics)
{
    int width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
    if (graphics) graphics->GetSettings(width, height, depth, hertz, flags);
    state.batch.clear();
    state.held_points.clear();
    state.objects = nullptr;
    TGL3Api api{};
    if (!SDL_GL_GetCurrentContext() || !LoadGL3Api(api)) {
        SetLastGraphicsError("The shader driver cannot run here: OpenGL entry points are missing");
        return false;
    }
    SetGL3(api);
    state.es = _profile == TGLProfile::ES;
    // A context of a lower version than asked for (Mesa gives ES 2.0 where
    // an extension override leaves it short of 3.0) lacks what the driver
    // uses, though the entry points may all be there.
    const std::string version = ContextVersion();
    if (!VersionAtLeast(version, state.es)) {
        SetLastGraphicsError("The shader driver cannot run here: the context offers " +
                             (version.empty() ? std::string("no version") : version) + ", below " +
                             (state.es ? "OpenGL ES 3.0" : "OpenGL 3.3"));
        return false;
    }
    TGL3ContextObjects* o = ObjectsFor(SDL_GL_GetCurrentContext());
    if (!PrepareObjects(*o, state.es)) return false;
    state.objects = o;
    state.width = width;
    state.height = height;
    state.line_width = 1.0f;
    state.blend = 0;
    state.texture = 0;
    state.bound = 0;
    state.textured = false;
    state.used_variant = -1;
    state.draws_per_flush = GLGraphicsDriver()->DrawsInSoftware() ? kSoftwareDrawsPerFlush : 0;
    state.draws_since_flush = 0;

    const TGL3Api& gl = GL3();
    gl.ActiveTexture(GL_TEXTURE0);
    // glOrtho(0, width, height, 0, -1, 1) as OpenGL computes it.
    float* m = state.projection;
    std::fill(m, m + 16, 0.0f);
    if (width > 0 && height > 0) {
        m[0] = 2.0f / float(width);
        m[5] = 2.0f / (0.0f - float(height));
        m[10] = -2.0f / 2.0f;
        m[12] = -float(width) / float(width);
        m[13] = -float(height) / (0.0f - float(height));
        m[14] = 0.0f;
        m[15] = 1.0f;
    }
    for (const TGL3Program& program : o->programs) {
        if (!program.name) continue;
        gl.UseProgram(program.name);
        gl.UniformMatrix4fv(program.projection, 1, GL_FALSE, m);
    }
    gl.Viewport(0, 0, width, height);
    return true;
}

TImageFramePtr TGL3Rast2DDriver::CreateFrameFromPixmap(const TPixmapPtr& pixmap, int flags)
{
    TGLGraphicsDriver* gl = GLGraphicsDriver();
    GL3FlushBatch();
    gl->SwapSharedContext();
    std::shared_ptr<TGL3ImageFrame> frame;
    try {
        frame = TGL3ImageFrame::CreateFromPixmap(pixmap, flags);
    } catch (...) {
        gl->SwapSharedContext();
        throw;
    }
    gl->SwapSharedContext();
    // The shared context may have been current in between: the binding the
    // cache remembers is the one put back, or unknown.
    state.bound = 0;
    return frame;
}

void TGL3Rast2DDriver::SetBlend(int blend)
{
    if (blend == state.blend) return;
    GL3FlushBatch();
    state.blend = blend;
    const TGL3Api& gl = GL3();
    switch (blend) {
    case BLEND_ALPHA:
        gl.Enable(GL_BLEND);
        gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        break;
    case BLEND_LIGHT:
        gl.Enable(GL_BLEND);
        gl.BlendFunc(GL_SRC_ALPHA, GL_ONE);
        break;
    case BLEND_SHADE:
        gl.Enable(GL_BLEND);
        gl.BlendFunc(GL_DST_COLOR, GL_ZERO);
        break;
    default:  // BLEND_MASK (its alpha test is the program's), BLEND_SOLID, anything unknown
        gl.Disable(GL_BLEND);
        break;
    }
}

void TGL3Rast2DDriver::SetAlpha(float alpha)
{
    if (alpha > 1.0f) alpha = 1.0f;
    if (!(alpha >= 0.0f)) alpha = 0.0f;
    state.color[3] = static_cast<uint8_t>(alpha * 255.0f);
}

void TGL3Rast2DDriver::SetColor(int red, int green, int blue)
{
    state.color[0] = static_cast<uint8_t>(Clamp255(red));
    state.color[1] = static_cast<uint8_t>(Clamp255(green));
    state.color[2] = static_cast<uint8_t>(Clamp255(blue));
}

void TGL3Rast2DDriver::SetClsColor(int red, int green, int blue)
{
    GL3().ClearColor(Clamp255(red) / 255.0f, Clamp255(green) / 255.0f, Clamp255(blue) / 255.0f, 1.0f);
}

void TGL3Rast2DDriver::SetViewport(int x, int y, int width, int height)
{
    GL3FlushBatch();
    const TGL3Api& gl = GL3();
    if (x == 0 && y == 0 && width == GraphicsWidth() && height == GraphicsHeight()) {
        gl.Disable(GL_SCISSOR_TEST);
        return;
    }
    gl.Enable(GL_SCISSOR_TEST);
    gl.Scissor(x, GraphicsHeight() - y - height, std::max(0, width), std::max(0, height));
}

void TGL3Rast2DDriver::SetTransform(float ix, float iy, float jx, float jy)
{
    state.ix = ix;
    state.iy = iy;
    state.jx = jx;
    state.jy = jy;
}

void TGL3Rast2DDriver::SetLineWidth(float width)
{
    // As OpenGL: widths that are not positive are refused.
    if (!(width > 0.0f)) return;
    if (width != state.line_width && state.kind == TGL3Kind::Lines) GL3FlushBatch();
    state.line_width = width;
}

void TGL3Rast2DDriver::Cls()
{
    GL3FlushBatch();
    GL3().Clear(GL_COLOR_BUFFER_BIT);
}

void TGL3Rast2DDriver::Plot(float x, float y) { GL3Point(x + 0.5f, y + 0.5f); }

void TGL3Rast2DDriver::DrawLine(float x0, float y0, float x1, float y1, float tx, float ty)
{
    float a[2], b[2];
    Transform(x0, y0, tx + 0.5f, ty + 0.5f, a);
    Transform(x1, y1, tx + 0.5f, ty + 0.5f, b);
    GL3Line(a[0], a[1], b[0], b[1]);
}

void TGL3Rast2DDriver::DrawRect(float x0, float y0, float x1, float y1, float tx, float ty)
{
    float xy[8];
    Transform(x0, y0, tx, ty, xy);
    Transform(x1, y0, tx, ty, xy + 2);
    Transform(x1, y1, tx, ty, xy + 4);
    Transform(x0, y1, tx, ty, xy + 6);
    GL3Quad(xy, nullptr);
}

void TGL3Rast2DDriver::DrawOval(float x0, float y0, float x1, float y1, float tx, float ty)
{
    const float xr = (x1 - x0) * 0.5f, yr = (y1 - y0) * 0.5f;
    const float cx = x0 + xr, cy = y0 + yr;
    const int n = OvalSegments(xr, yr);
    std::vector<float> xy(2 * static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double th = i * 360.0 / n * 0.017453292519943295;
        Transform(static_cast<float>(cx + std::cos(th) * xr), static_cast<float>(cy - std::sin(th) * yr), tx, ty,
                  &xy[2 * static_cast<size_t>(i)]);
    }
    GL3Polygon(xy.data(), static_cast<size_t>(n));
}

void TGL3Rast2DDriver::DrawPoly(const std::vector<float>& xy, float handle_x, float handle_y, float origin_x,
                                float origin_y)
{
    if (xy.size() < 6 || (xy.size() & 1)) return;
    std::vector<float> out(xy.size());
    for (size_t k = 0; k < xy.size(); k += 2)
        Transform(xy[k] + handle_x, xy[k + 1] + handle_y, origin_x, origin_y, &out[k]);
    GL3Polygon(out.data(), out.size() / 2);
}

void TGL3Rast2DDriver::DrawPixmap(const TPixmapPtr& pixmap, int x, int y)
{
    if (!pixmap || pixmap->width <= 0 || pixmap->height <= 0 || !state.objects) return;
    TPixmapPtr p = pixmap->format == PIXFMT_RGBA8888 ? pixmap : pixmap->Convert(PIXFMT_RGBA8888);
    if (!p) return;
    GL3FlushBatch();
    // The pixels as a texture of their own size drawn 1:1 at whole pixels:
    // every pixel centre samples its texel's centre exactly, unfiltered, and
    // white leaves the texels as they are. No transform applies.
    const TGL3Api& gl = GL3();
    GLuint tex = 0;
    gl.GenTextures(1, &tex);
    gl.BindTexture(GL_TEXTURE_2D, tex);
    state.bound = tex;
    for (GLenum param : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER}) gl.TexParameteri(GL_TEXTURE_2D, param, GL_NEAREST);
    for (GLenum param : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T}) gl.TexParameteri(GL_TEXTURE_2D, param, GL_CLAMP_TO_EDGE);
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, p->pitch / 4);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, p->width, p->height, 0, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    const unsigned saved_texture = state.texture;
    WithSolidBlend(this, [&] {
        const float x0 = float(x), y0 = float(y), x1 = float(x + p->width), y1 = float(y + p->height);
        const float xy[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
        const float uv[8] = {0, 0, 1, 0, 1, 1, 0, 1};
        const uint8_t white[4] = {255, 255, 255, 255};
        state.texture = tex;
        GL3Quad(xy, uv, white);
        GL3FlushBatch();
    });
    state.texture = saved_texture;
    GL3ForgetTexture(tex);
    gl.DeleteTextures(1, &tex);
}

TPixmapPtr TGL3Rast2DDriver::GrabPixmap(int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0) return nullptr;
    TPixmapPtr p = TPixmap::Create(width, height, PIXFMT_RGBA8888, 4);
    p->ClearPixels(0);
    GL3FlushBatch();
    if (!state.objects) return p;
    // Only what lies inside the picture is read; the rest stays black.
    const int gh = GraphicsHeight();
    const int x0 = std::max(x, 0), x1 = std::min(x + width, GraphicsWidth());
    const int y0 = std::max(y, 0), y1 = std::min(y + height, gh);
    if (x0 < x1 && y0 < y1) {
        const TGL3Api& gl = GL3();
        gl.PixelStorei(GL_PACK_ALIGNMENT, 4);
        gl.PixelStorei(GL_PACK_ROW_LENGTH, p->pitch / 4);
        // Bottom-up rows: the last row of the rectangle is read first.
        uint8_t* at = p->PixelPtr(x0 - x, height - 1 - (y1 - 1 - y));
        gl.ReadPixels(x0, gh - y1, x1 - x0, y1 - y0, GL_RGBA, GL_UNSIGNED_BYTE, at);
        gl.PixelStorei(GL_PACK_ROW_LENGTH, 0);
    }
    OpaqueUnlessAlphaBuffer(*p, GraphicsFlags());
    YFlipPixmapInPlace(*p);
    return p;
}

TGL3Rast2DDriver* GL3CoreRast2DDriver()
{
    static TGL3Rast2DDriver driver(TGLProfile::Core);
    return &driver;
}

TGL3Rast2DDriver* GL3ESRast2DDriver()
{
    static TGL3Rast2DDriver driver(TGLProfile::ES);
    return &driver;
}
