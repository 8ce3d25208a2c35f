#include "render/gl/gl_image_frame.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "render/gl/gl_graphics.h"
#include "render/gl/gl_rast2d_state.h"
#include "render/graphics.h"
#include "render/image.h"
#include "render/pixmap.h"
#include "runtime/errors.h"

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif

int Pow2Size(int n) {
    int t = 1;
    while (t < n && t < (1 << 30)) t <<= 1;
    return t;
}

void AdjustTexSize(int& width, int& height) {
    width = Pow2Size(width);
    height = Pow2Size(height);
    for (;;) {
        GLint got = 0;
        glTexImage2D(GL_PROXY_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &got);
        if (got != 0) return;
        if (width == 1 && height == 1) throw TRuntimeException("Unable to calculate tex size");
        if (width > 1) width /= 2;
        if (height > 1) height /= 2;
    }
}

namespace {

// The image at the top-left of a texture-sized RGBA pixmap, its last column
// and row repeated over the padding so that neither filtering at the edges
// nor the smaller mipmap levels mix in foreign texels.
TPixmapPtr PadToTexture(const TPixmapPtr& src, int tw, int th) {
    TPixmapPtr dst = TPixmap::Create(tw, th, PIXFMT_RGBA8888, 4);
    dst->Paste(*src, 0, 0);
    const int w = src->width, h = src->height;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = dst->PixelPtr(0, y);
        const uint8_t* last = row + (w - 1) * 4;
        for (int x = w; x < tw; ++x) std::memcpy(row + x * 4, last, 4);
    }
    const uint8_t* last_row = dst->PixelPtr(0, h - 1);
    for (int y = h; y < th; ++y) std::memcpy(dst->PixelPtr(0, y), last_row, tw * 4);
    return dst;
}

void CreateTexture(int tw, int th, int flags) {
    const bool mipmapped = flags & IMAGE_MIPMAPPED;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (flags & IMAGE_FILTERED) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    } else {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmapped ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST);
    }
    int level = 0, w = tw, h = th;
    for (;;) {
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        if (!mipmapped || (w == 1 && h == 1)) break;
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
        ++level;
    }
}

void UploadTexture(TPixmapPtr pixmap, int flags) {
    const bool mipmapped = flags & IMAGE_MIPMAPPED;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    for (int level = 0;; ++level) {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, pixmap->pitch / 4);
        glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, pixmap->width, pixmap->height, GL_RGBA, GL_UNSIGNED_BYTE,
                        pixmap->pixels);
        if (!mipmapped || (pixmap->width == 1 && pixmap->height == 1)) break;
        int w = pixmap->width > 1 ? pixmap->width / 2 : 1;
        int h = pixmap->height > 1 ? pixmap->height / 2 : 1;
        pixmap = ResizePixmap(pixmap, w, h);
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

// What PadToTexture adds around an RGBA image already uploaded at the
// top-left of a single-level texture, sent in strips of about 64 KB.
void UploadPadding(const TPixmap& img, int tw, int th) {
    const int w = img.width, h = img.height;
    if (w == tw && h == th) return;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    std::vector<uint8_t> strip;
    if (w < tw) {
        const int cols = tw - w;
        const int rows = std::max(1, std::min(h, (64 << 10) / (cols * 4)));
        strip.resize(size_t(cols) * size_t(rows) * 4);
        for (int y0 = 0; y0 < h; y0 += rows) {
            const int n = std::min(rows, h - y0);
            for (int y = 0; y < n; ++y) {
                const uint8_t* last = img.PixelPtr(w - 1, y0 + y);
                for (int x = 0; x < cols; ++x) std::memcpy(&strip[(size_t(y) * cols + x) * 4], last, 4);
            }
            glTexSubImage2D(GL_TEXTURE_2D, 0, w, y0, cols, n, GL_RGBA, GL_UNSIGNED_BYTE, strip.data());
        }
    }
    if (h < th) {
        // The last row, padded like every other, repeated to the bottom.
        const int rows = std::max(1, std::min(th - h, (64 << 10) / (tw * 4)));
        strip.resize(size_t(tw) * size_t(rows) * 4);
        const uint8_t* last_row = img.PixelPtr(0, h - 1);
        for (int x = 0; x < tw; ++x) std::memcpy(&strip[size_t(x) * 4], last_row + size_t(std::min(x, w - 1)) * 4, 4);
        for (int y = 1; y < rows; ++y) std::memcpy(&strip[size_t(y) * tw * 4], strip.data(), size_t(tw) * 4);
        for (int y0 = h; y0 < th; y0 += rows)
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, y0, tw, std::min(rows, th - y0), GL_RGBA, GL_UNSIGNED_BYTE,
                            strip.data());
    }
}

}  // namespace

std::shared_ptr<TGLImageFrame> TGLImageFrame::CreateFromPixmap(const TPixmapPtr& pixmap, int flags) {
    if (!pixmap || pixmap->width <= 0 || pixmap->height <= 0 || BytesPerPixel(pixmap->format) == 0) {
        return nullptr;
    }
    int tw = pixmap->width, th = pixmap->height;
    AdjustTexSize(tw, th);

    TPixmapPtr src = pixmap;
    const int w = std::min(pixmap->width, tw), h = std::min(pixmap->height, th);
    if (w != pixmap->width || h != pixmap->height) src = ResizePixmap(src, w, h);
    // Mipmaps are made from the padded picture; a single level is padded
    // in strips, sparing a texture-sized copy (2 MB for a 640x480 picture).
    const bool padded_copy = (w < tw || h < th) && (flags & IMAGE_MIPMAPPED);
    if (padded_copy) {
        src = PadToTexture(src, tw, th);
    } else if (src->format != PIXFMT_RGBA8888) {
        src = src->Convert(PIXFMT_RGBA8888);
    }

    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    CreateTexture(tw, th, flags);
    UploadTexture(src, flags);
    if (!padded_copy) UploadPadding(*src, tw, th);
    TGLAtlasCell cell;
    // Only an image kept at its own size can match its own texture.
    if ((flags & IMAGE_SHAREABLE) && w == pixmap->width && h == pixmap->height) {
        cell = GLAtlasPlace(pixmap, (flags & IMAGE_FILTERED) != 0);
    }
    // The texture is used by another context of the share group next.
    glFlush();

    auto frame = std::make_shared<TGLImageFrame>();
    frame->name = static_cast<int>(tex);
    frame->seq = GraphicsSeq();
    frame->u1 = static_cast<float>(w) / static_cast<float>(tw);
    frame->v1 = static_cast<float>(h) / static_cast<float>(th);
    frame->cell = std::move(cell);
    return frame;
}

void GLDeleteSharedTexture(unsigned name, int seq) {
    // Gone with an older shared context: the name may be another's now.
    if (!GLGraphicsDriver()->TexturesAlive(seq)) return;
    GLuint tex = name;
    GLForgetTexture(tex);
    TGLGraphicsDriver* gl = GLGraphicsDriver();
    gl->SwapSharedContext();
    glDeleteTextures(1, &tex);
    gl->SwapSharedContext();
    // Deleting in the shared context leaves the name bound here; unbind it
    // too, or a reused name would draw the old picture.
    if (seq == GraphicsSeq()) glDeleteTextures(1, &tex);
}

TGLImageFrame::~TGLImageFrame() { Release(); }

void TGLImageFrame::Release() {
    if (seq == 0) return;
    GLDeleteSharedTexture(static_cast<unsigned>(name), seq);
    seq = 0;
    name = 0;
    cell = TGLAtlasCell();
}

namespace {

bool Whole(float v) { return std::fabs(v) < 1e6f && std::floor(v) == v; }

}  // namespace

bool TGLImageFrame::CellMatches(const float xy[8]) const {
    const TGLRast2DState& s = GLRast2DState();
    if (!cell.page || !GLGlyphAtlas() || s.ix != 1.0f || s.iy != 0.0f || s.jx != 0.0f || s.jy != 1.0f) return false;
    for (int i = 0; i < 8; ++i)
        if (!Whole(xy[i])) return false;
    // One texel per pixel, unmirrored.
    return xy[2] - xy[0] == static_cast<float>(cell.width) && xy[5] - xy[3] == static_cast<float>(cell.height);
}

void TGLImageFrame::Draw(float x0, float y0, float x1, float y1, float tx, float ty) {
    if (seq == 0) return;
    const TGLRast2DState& s = GLRast2DState();
    const float xy[8] = {x0 * s.ix + y0 * s.iy + tx, x0 * s.jx + y0 * s.jy + ty,
                         x1 * s.ix + y0 * s.iy + tx, x1 * s.jx + y0 * s.jy + ty,
                         x1 * s.ix + y1 * s.iy + tx, x1 * s.jx + y1 * s.jy + ty,
                         x0 * s.ix + y1 * s.iy + tx, x0 * s.jx + y1 * s.jy + ty};
    if (CellMatches(xy)) {
        GLBindTexture(cell.page->name);
        GLEnableTexturing();
        const float uv[8] = {cell.u0, cell.v0, cell.u1, cell.v0, cell.u1, cell.v1, cell.u0, cell.v1};
        GLQuad(xy, uv);
        return;
    }
    GLBindTexture(static_cast<unsigned>(name));
    GLEnableTexturing();
    const float uv[8] = {u0, v0, u1, v0, u1, v1, u0, v1};
    GLQuad(xy, uv);
}
