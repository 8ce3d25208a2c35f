#include "render/gl3/gl3_rast2d_driver.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "render/gl3/gl3_api.h"
#include "render/gl3/gl3_program.h"
#include "kelvora/render/graphics.h"
#include "kelvora/render/rast2d.h"

namespace kelvora {

namespace {

// The objects one context needs: containers (vertex arrays) are not shared
// between contexts, so each has its own set, deleted when the context ends.
struct TGL3ContextObjects {
    void* context = nullptr;  // the SDL context they belong to
    GLuint vao = 0, vbo = 0, ibo = 0;
    size_t ibo_quads = 0;  // quads the index buffer has room for
    TGL3Program programs[kGL3Variants];
    bool failed[kGL3Variants] = {};  // refused by the compiler: not tried again
};

std::vector<std::unique_ptr<TGL3ContextObjects>> context_objects;
int widest_own_line = 0;  // SetGL3WidestOwnLine

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

// Errors left by earlier calls are not the next call's.
void ClearErrors()
{
    for (int i = 0; i < 16 && GL3().GetError() != GL_NO_ERROR; ++i) {
    }
}

void SetParameters(bool filtered, bool mipmapped)
{
    const TGL3Api& gl = GL3();
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    const GLint mag = filtered ? GL_LINEAR : GL_NEAREST;
    const GLint min = !mipmapped ? mag : (filtered ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min);
}

class TGL3Backend;
TGL3Backend* backends[2];  // core, ES

class TGL3Backend : public TCore2DBackend {
public:
    explicit TGL3Backend(bool es) : _es(es) { backends[es] = this; }

    void Draw(TCoreKind kind, bool textured, const TCoreVertex* v, size_t n, bool) override
    {
        if (!_objects) return;
        const TGL3Api& gl = GL3();
        UseProgram(textured);
        // The vertices into a fresh store in one call: the old store is
        // orphaned, so the draws still reading it need not wait.
        gl.BufferData(GL_ARRAY_BUFFER, GLsizeiptr(n * sizeof(TCoreVertex)), v, GL_STREAM_DRAW);
        switch (kind) {
        case TCoreKind::Quads:
            EnsureQuadIndices(n / 4);
            gl.DrawElements(GL_TRIANGLES, GLsizei(n / 4 * 6), GL_UNSIGNED_INT, nullptr);
            break;
        case TCoreKind::Lines:
            gl.DrawArrays(GL_LINES, 0, GLsizei(n));
            break;
        case TCoreKind::Points:
            gl.DrawArrays(GL_POINTS, 0, GLsizei(n));
            break;
        case TCoreKind::Polygon:
            gl.DrawArrays(GL_TRIANGLE_FAN, 0, GLsizei(n));
            break;
        }
    }
    void BindTexture(unsigned name) override { GL3().BindTexture(GL_TEXTURE_2D, name); }
    void CurrentColor(const uint8_t*) override {}
    void Blend(int blend) override
    {
        _blend = blend;
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
    // OpenGL's own wide lines where the context draws them that wide (Mesa
    // does, on core and ES): then the rasteriser that draws the legacy
    // driver's lines draws these, to the pixel. WebGL stops at 1.
    bool LineWidth(float width) override
    {
        const bool own = WideLinePixels(width) <= _widest_line;
        GL3().LineWidth(own ? width : 1.0f);
        return own;
    }
    void Scissor(bool on, int x, int y, int width, int height) override
    {
        const TGL3Api& gl = GL3();
        if (!on) {
            gl.Disable(GL_SCISSOR_TEST);
            return;
        }
        gl.Enable(GL_SCISSOR_TEST);
        gl.Scissor(x, y, width, height);
    }
    void ClearColor(float red, float green, float blue) override { GL3().ClearColor(red, green, blue, 1.0f); }
    void Clear() override { GL3().Clear(GL_COLOR_BUFFER_BIT); }
    void ReadPixels(int x, int y, int width, int height, uint8_t* pixels, int row_length) override
    {
        const TGL3Api& gl = GL3();
        gl.PixelStorei(GL_PACK_ALIGNMENT, 4);
        gl.PixelStorei(GL_PACK_ROW_LENGTH, row_length);
        gl.ReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        gl.PixelStorei(GL_PACK_ROW_LENGTH, 0);
    }
    bool DrawPixels(const TPixmap&, int, int) override { return false; }
    void Flush() override
    {
#ifndef __EMSCRIPTEN__
        // A page has one context, where a flush only makes the browser wait.
        GL3().Flush();
#endif
    }
    void Finish() override { GL3().Finish(); }

    unsigned CreateTexture(int width, int height, int levels, bool filtered) override
    {
        const TGL3Api& gl = GL3();
        ClearErrors();
        GLuint tex = 0;
        gl.GenTextures(1, &tex);
        gl.BindTexture(GL_TEXTURE_2D, tex);
        SetParameters(filtered, levels > 1);
        for (int level = 0; level < levels; ++level) {
            gl.TexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            width = width > 1 ? width / 2 : 1;
            height = height > 1 ? height / 2 : 1;
        }
        if (gl.GetError() == GL_NO_ERROR) return tex;
        gl.DeleteTextures(1, &tex);
        return 0;
    }
    bool Upload(int level, int x, int y, int width, int height, const uint8_t* rgba, int row_length) override
    {
        const TGL3Api& gl = GL3();
        gl.PixelStorei(GL_UNPACK_ALIGNMENT, 4);
        gl.PixelStorei(GL_UNPACK_ROW_LENGTH, row_length);
        gl.TexSubImage2D(GL_TEXTURE_2D, level, x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        gl.PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        return gl.GetError() == GL_NO_ERROR;
    }
    void DeleteTexture(unsigned name) override
    {
        // No context of this kind was ever made: nothing to delete.
        if (!GL3().DeleteTextures) return;
        GLuint tex = name;
        GL3().DeleteTextures(1, &tex);
    }
    // Core and ES have no proxy textures: the largest size says it all.
    bool TextureFits(int width, int height) override
    {
        const int most = MaxTextureSize();
        return width <= most && height <= most;
    }
    int MaxTextureSize() override
    {
        GLint most = 0;
        GL3().GetIntegerv(GL_MAX_TEXTURE_SIZE, &most);
        return most;
    }

    bool Begin(int width, int height) override;
    void End() override { _objects = nullptr; }
    bool MayRefuse() const override { return true; }

    // The context ends (or lost its objects): its set goes.
    void Forget(const TGL3ContextObjects* o)
    {
        if (_objects == o) _objects = nullptr;
    }

private:
    bool PrepareObjects();
    void UseProgram(bool textured);
    void EnsureQuadIndices(size_t quads);

    bool _es;
    int _blend = 0;
    int _used_variant = -1;  // program in use; -1: not known
    float _projection[16] = {};  // glOrtho of the picture, for programs built later
    TGL3ContextObjects* _objects = nullptr;  // of the current context
    bool _reported = false;  // a program the compiler refused, said once
    int _widest_line = 1;  // the widest aliased line the context draws
};

// Two triangles per quad, (0, 1, 2) and (0, 2, 3), as Mesa splits GL_QUADS:
// the same inner edge, so its rounding falls on the same pixels.
void TGL3Backend::EnsureQuadIndices(size_t quads)
{
    TGL3ContextObjects& o = *_objects;
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

// The program of what is about to be drawn, built on first use. One the
// compiler refused stays refused (said once): nothing draws with it.
void TGL3Backend::UseProgram(bool textured)
{
    const int variant = (textured ? kGL3Textured : 0) | (_blend == BLEND_MASK ? kGL3AlphaTest : 0);
    if (variant == _used_variant) return;
    TGL3Program& program = _objects->programs[variant];
    if (!program.name && !_objects->failed[variant]) {
        std::string error;
        if (BuildGL3Program(_es, variant, program, error)) {
            GL3().UniformMatrix4fv(program.projection, 1, GL_FALSE, _projection);
        } else {
            _objects->failed[variant] = true;
            SetLastGraphicsError("The shader driver cannot run here: " + error);
            if (!_reported) std::fprintf(stderr, "The shader driver cannot run here: %s\n", error.c_str());
            _reported = true;
        }
    }
    GL3().UseProgram(program.name);
    _used_variant = variant;
}

void ContextEnds(void* context, bool lost)
{
    for (auto it = context_objects.begin(); it != context_objects.end(); ++it) {
        TGL3ContextObjects* o = it->get();
        if (o->context != context) continue;
        // Current and about to go: its objects go with it. Lost: the names
        // mean nothing any more.
        if (!lost) {
            const TGL3Api& gl = GL3();
            for (const TGL3Program& p : o->programs)
                if (p.name) gl.DeleteProgram(p.name);
            gl.DeleteVertexArrays(1, &o->vao);
            const GLuint buffers[2] = {o->vbo, o->ibo};
            gl.DeleteBuffers(2, buffers);
        }
        for (TGL3Backend* b : backends)
            if (b) b->Forget(o);
        context_objects.erase(it);
        return;
    }
}

// Program, vertex array and buffers of the current context, made on its
// first use. The plain variant is built now, so that a compiler that
// refuses the source is known when the context is made; the others on
// first use (start-up pays for one).
bool TGL3Backend::PrepareObjects()
{
    const TGL3Api& gl = GL3();
    void* context = SDL_GL_GetCurrentContext();
    for (auto& o : context_objects) {
        if (o->context != context) continue;
        _objects = o.get();
        gl.BindVertexArray(o->vao);
        gl.BindBuffer(GL_ARRAY_BUFFER, o->vbo);
        return true;
    }
    static bool hooked = false;
    if (!hooked) AddGLContextHook(ContextEnds);
    hooked = true;
    auto o = std::make_unique<TGL3ContextObjects>();
    o->context = context;
    std::string error;
    if (!BuildGL3Program(_es, 0, o->programs[0], error)) {
        SetLastGraphicsError("The shader driver cannot run here: " + error);
        return false;
    }
    gl.GenVertexArrays(1, &o->vao);
    gl.BindVertexArray(o->vao);
    gl.GenBuffers(1, &o->vbo);
    gl.GenBuffers(1, &o->ibo);
    gl.BindBuffer(GL_ARRAY_BUFFER, o->vbo);
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, o->ibo);
    const GLsizei stride = sizeof(TCoreVertex);
    gl.EnableVertexAttribArray(kGL3Position);
    gl.VertexAttribPointer(kGL3Position, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(TCoreVertex, x)));
    gl.EnableVertexAttribArray(kGL3TexCoord);
    gl.VertexAttribPointer(kGL3TexCoord, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(TCoreVertex, u)));
    gl.EnableVertexAttribArray(kGL3Color);
    gl.VertexAttribPointer(kGL3Color, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                           reinterpret_cast<void*>(offsetof(TCoreVertex, rgba)));
    _objects = o.get();
    context_objects.push_back(std::move(o));
    return true;
}

bool TGL3Backend::Begin(int width, int height)
{
    _objects = nullptr;
    TGL3Api api{};
    if (!SDL_GL_GetCurrentContext() || !LoadGL3Api(api)) {
        SetLastGraphicsError("The shader driver cannot run here: OpenGL entry points are missing");
        return false;
    }
    SetGL3(api);
    // A context of a lower version than asked for (Mesa gives ES 2.0 where
    // an extension override leaves it short of 3.0) lacks what the driver
    // uses, though the entry points may all be there.
    const std::string version = ContextVersion();
    if (!VersionAtLeast(version, _es)) {
        SetLastGraphicsError("The shader driver cannot run here: the context offers " +
                             (version.empty() ? std::string("no version") : version) + ", below " +
                             (_es ? "OpenGL ES 3.0" : "OpenGL 3.3"));
        return false;
    }
    if (!PrepareObjects()) return false;
    _blend = 0;
    _used_variant = -1;

    const TGL3Api& gl = GL3();
    gl.ActiveTexture(GL_TEXTURE0);
    // glOrtho(0, width, height, 0, -1, 1) as OpenGL computes it.
    float* m = _projection;
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
    for (const TGL3Program& program : _objects->programs) {
        if (!program.name) continue;
        gl.UseProgram(program.name);
        gl.UniformMatrix4fv(program.projection, 1, GL_FALSE, m);
    }
    gl.Viewport(0, 0, width, height);
    GLfloat range[2] = {1.0f, 1.0f};
    gl.GetFloatv(GL_ALIASED_LINE_WIDTH_RANGE, range);
    _widest_line = std::max(1, int(range[1]));
    if (widest_own_line > 0) _widest_line = std::min(_widest_line, widest_own_line);
    return true;
}

}  // namespace

void SetGL3WidestOwnLine(int pixels) { widest_own_line = pixels; }

// The backends live as long as their drivers, which are never destroyed.
TGL3Rast2DDriver::TGL3Rast2DDriver(TGLProfile profile)
    : TCore2DDriver(*new TGL3Backend(profile == TGLProfile::ES), profile)
{
}

std::string TGL3Rast2DDriver::ToString() const
{
    return Profile() == TGLProfile::ES ? "OpenGL ES 3.0" : "OpenGL 3.3 core";
}

TGL3Rast2DDriver* GL3CoreRast2DDriver()
{
    static TGL3Rast2DDriver* driver = new TGL3Rast2DDriver(TGLProfile::Core);
    return driver;
}

TGL3Rast2DDriver* GL3ESRast2DDriver()
{
    static TGL3Rast2DDriver* driver = new TGL3Rast2DDriver(TGLProfile::ES);
    return driver;
}

}  // namespace kelvora
