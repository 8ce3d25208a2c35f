#include "render/gl/gl_rast2d_driver.h"

#include <GL/gl.h>

#include <cstring>
#include <vector>

#include "kelvora/render/pixmap.h"
#include "kelvora/render/rast2d.h"

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif

namespace kelvora {

namespace {

// OpenGL 1.x: client-side vertex arrays while batching, glBegin/glEnd for
// a primitive drawn on its own; texturing switched on and off as needed.
class TGLBackend : public TCore2DBackend {
public:
    void Draw(TCoreKind kind, bool textured, const TCoreVertex* v, size_t n, bool immediate) override {
        Texturing(textured);
        const GLenum mode = Mode(kind);
        if (immediate) {
            glBegin(mode);
            for (size_t i = 0; i < n; ++i) {
                if (textured) glTexCoord2f(v[i].u, v[i].v);
                glVertex2f(v[i].x, v[i].y);
            }
            glEnd();
            return;
        }
        EnableArrays();
        glVertexPointer(2, GL_FLOAT, sizeof(TCoreVertex), &v->x);
        glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(TCoreVertex), v->rgba);
        glTexCoordPointer(2, GL_FLOAT, sizeof(TCoreVertex), &v->u);
        glDrawArrays(mode, 0, static_cast<GLsizei>(n));
    }
    void BindTexture(unsigned name) override { glBindTexture(GL_TEXTURE_2D, name); }
    void CurrentColor(const uint8_t rgba[4]) override { glColor4ub(rgba[0], rgba[1], rgba[2], rgba[3]); }
    void Blend(int blend) override { ApplyGLBlend(blend); }
    bool LineWidth(float width) override {
        glLineWidth(width);
        return true;
    }
    void Scissor(bool on, int x, int y, int width, int height) override {
        if (!on) {
            glDisable(GL_SCISSOR_TEST);
            return;
        }
        glEnable(GL_SCISSOR_TEST);
        glScissor(x, y, width, height);
    }
    void ClearColor(float red, float green, float blue) override { glClearColor(red, green, blue, 1.0f); }
    void Clear() override { glClear(GL_COLOR_BUFFER_BIT); }
    void ReadPixels(int x, int y, int width, int height, uint8_t* pixels, int row_length) override {
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glPixelStorei(GL_PACK_ROW_LENGTH, row_length);
        glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    }
    bool DrawPixels(const TPixmap& rgba, int x, int y) override {
        Texturing(false);
        // OpenGL copies bottom-up from the raster position, moved from the
        // top-left corner to the picture's bottom-left.
        TPixmapPtr p = TPixmap::Create(rgba.width, rgba.height, PIXFMT_RGBA8888, 4);
        for (int row = 0; row < rgba.height; ++row)
            std::memcpy(p->PixelPtr(0, rgba.height - 1 - row), rgba.PixelPtr(0, row), size_t(rgba.width) * 4);
        glRasterPos2i(0, 0);
        glBitmap(0, 0, 0, 0, static_cast<float>(x), static_cast<float>(-y - p->height), nullptr);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, p->pitch / 4);
        glDrawPixels(p->width, p->height, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        return true;
    }
    void Flush() override { glFlush(); }
    void Finish() override { glFinish(); }

    unsigned CreateTexture(int width, int height, int levels, bool filtered) override {
        ClearErrors();
        GLuint tex = 0;
        glGenTextures(1, &tex);
        glBindTexture(GL_TEXTURE_2D, tex);
        const bool mipmapped = levels > 1;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        const GLint mag = filtered ? GL_LINEAR : GL_NEAREST;
        const GLint min = !mipmapped ? mag : (filtered ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min);
        for (int level = 0; level < levels; ++level) {
            glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            width = width > 1 ? width / 2 : 1;
            height = height > 1 ? height / 2 : 1;
        }
        if (glGetError() == GL_NO_ERROR) return tex;
        glDeleteTextures(1, &tex);
        return 0;
    }
    bool Upload(int level, int x, int y, int width, int height, const uint8_t* rgba, int row_length) override {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, row_length);
        glTexSubImage2D(GL_TEXTURE_2D, level, x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        return glGetError() == GL_NO_ERROR;
    }
    void DeleteTexture(unsigned name) override {
        GLuint tex = name;
        glDeleteTextures(1, &tex);
    }
    bool TextureFits(int width, int height) override {
        GLint got = 0;
        glTexImage2D(GL_PROXY_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &got);
        return got != 0;
    }
    int MaxTextureSize() override {
        GLint most = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &most);
        return most;
    }

    bool Begin(int width, int height) override {
        // A new context starts with its client arrays and texturing off.
        arrays_on_ = false;
        texturing_ = false;
        glDisable(GL_TEXTURE_2D);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, width, height, 0, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glViewport(0, 0, width, height);
        return true;
    }
    void End() override {}
    bool MayRefuse() const override { return false; }

private:
    static GLenum Mode(TCoreKind kind) {
        switch (kind) {
        case TCoreKind::Lines:
            return GL_LINES;
        case TCoreKind::Points:
            return GL_POINTS;
        case TCoreKind::Polygon:
            return GL_POLYGON;
        default:
            return GL_QUADS;
        }
    }
    // The vertex, colour and texture-coordinate arrays stay enabled once
    // batching used them: enabling them per draw would cost more than it saves.
    void EnableArrays() {
        if (arrays_on_) return;
        arrays_on_ = true;
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    void Texturing(bool on) {
        if (texturing_ == on) return;
        texturing_ = on;
        if (on)
            glEnable(GL_TEXTURE_2D);
        else
            glDisable(GL_TEXTURE_2D);
    }
    // Errors left by earlier calls are not the upload's.
    static void ClearErrors() {
        for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
        }
    }

    bool arrays_on_ = false;
    bool texturing_ = false;
};

}  // namespace

// The backend lives as long as the driver, which is never destroyed.
TGLRast2DDriver::TGLRast2DDriver() : TCore2DDriver(*new TGLBackend, TGLProfile::Legacy) {}

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

TGLRast2DDriver* GLRast2DDriver() {
    // Never destroyed: frames released at exit still reach it.
    static TGLRast2DDriver* driver = new TGLRast2DDriver;
    return driver;
}

void InitGLRast2DDriver() {
    GLRast2DDriver()->SetBatching(true);
    SetGraphicsDriver(GLRast2DDriver(), GFX_BACKBUFFER);
}

}  // namespace kelvora
