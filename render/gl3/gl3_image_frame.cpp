#include "render/gl3/gl3_image_frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "render/gl/gl_glyph_atlas.h"
#include "render/gl/gl_graphics.h"
#include "render/gl/gl_image_frame.h"
#include "render/gl3/gl3_api.h"
#include "render/gl3/gl3_rast2d_state.h"
#include "render/graphics.h"
#include "render/image.h"
#include "render/pixmap.h"
#include "runtime/errors.h"

void GL3AdjustTexSize(int& width, int& height)
{
    width = Pow2Size(width);
    height = Pow2Size(height);
    // Core and ES have no proxy textures: the largest size says it all.
    GLint max = 0;
    GL3().GetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    if (max < 1) throw TRuntimeException("Unable to calculate tex size");
    while (width > max || height > max) {
        if (width > 1) width /= 2;
        if (height > 1) height /= 2;
    }
}

namespace {

constexpr int kPageSize = 256;
std::weak_ptr<TGL3AtlasPage> open_pages[2];

void SetParameters(bool filtered, bool mipmapped)
{
    const TGL3Api& gl = GL3();
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (filtered) {
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    } else {
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmapped ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST);
    }
}

// The image with its last column and row repeated to the texture's size.
TPixmapPtr PadToTexture(const TPixmapPtr& src, int tw, int th)
{
    TPixmapPtr dst = TPixmap::Create(tw, th, PIXFMT_RGBA8888, 4);
    dst->Paste(*src, 0, 0);
    const int w = src->width, h = src->height;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = dst->PixelPtr(0, y);
        const uint8_t* last = row + (w - 1) * 4;
        for (int x = w; x < tw; ++x) std::memcpy(row + x * 4, last, 4);
    }
    const uint8_t* last_row = dst->PixelPtr(0, h - 1);
    for (int y = h; y < th; ++y) std::memcpy(dst->PixelPtr(0, y), last_row, size_t(tw) * 4);
    return dst;
}

void Upload(int level, const TPixmap& p)
{
    const TGL3Api& gl = GL3();
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, p.pitch / 4);
    gl.TexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, p.width, p.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, p.pixels);
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

// Every level from the texture-sized picture down to 1x1, each resampled
// from the one before, as the legacy driver does.
void UploadLevels(TPixmapPtr pixmap, bool mipmapped)
{
    for (int level = 0;; ++level) {
        Upload(level, *pixmap);
        if (!mipmapped || (pixmap->width == 1 && pixmap->height == 1)) break;
        const int w = pixmap->width > 1 ? pixmap->width / 2 : 1;
        const int h = pixmap->height > 1 ? pixmap->height / 2 : 1;
        pixmap = ResizePixmap(pixmap, w, h);
    }
}

void DeleteShared(unsigned name, int seq)
{
    // Gone with an older shared context: the name may be another's now.
    if (!GL3().DeleteTextures || !GLGraphicsDriver()->TexturesAlive(seq)) return;
    GLuint tex = name;
    GL3ForgetTexture(tex);
    TGLGraphicsDriver* gl = GLGraphicsDriver();
    gl->SwapSharedContext();
    GL3().DeleteTextures(1, &tex);
    gl->SwapSharedContext();
    if (seq == GraphicsSeq()) GL3().DeleteTextures(1, &tex);
    GL3Rast2DState().bound = 0;
}

std::shared_ptr<TGL3AtlasPage> NewPage(bool filtered)
{
    int w = kPageSize, h = kPageSize;
    GL3AdjustTexSize(w, h);
    const TGL3Api& gl = GL3();
    GLuint tex = 0;
    gl.GenTextures(1, &tex);
    gl.BindTexture(GL_TEXTURE_2D, tex);
    SetParameters(filtered, false);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    auto page = std::make_shared<TGL3AtlasPage>();
    page->name = tex;
    page->size = std::min(w, h);
    page->seq = GraphicsSeq();
    return page;
}

bool ReserveCell(TGL3AtlasPage& page, int w, int h, int& x, int& y)
{
    if (page.shelf_x + w > page.size) {
        page.shelf_y += page.shelf_height;
        page.shelf_x = 0;
        page.shelf_height = 0;
    }
    if (page.shelf_y + h > page.size || w > page.size) return false;
    x = page.shelf_x;
    y = page.shelf_y;
    page.shelf_x += w;
    page.shelf_height = std::max(page.shelf_height, h);
    return true;
}

// The image with a one-texel ring of its edge texels, placed in a page.
TGL3AtlasCell PlaceInAtlas(const TPixmapPtr& image, bool filtered)
{
    TGL3AtlasCell cell;
    const int w = image->width + 2, h = image->height + 2;
    std::shared_ptr<TGL3AtlasPage> page = open_pages[filtered].lock();
    int x = 0, y = 0;
    if (!page || page->seq != GraphicsSeq() || !ReserveCell(*page, w, h, x, y)) {
        page = NewPage(filtered);
        if (!ReserveCell(*page, w, h, x, y)) return cell;
        open_pages[filtered] = page;
    }
    TPixmapPtr block = TPixmap::Create(w, h, PIXFMT_RGBA8888, 4);
    block->Paste(*image, 1, 1);
    for (int r = 1; r <= image->height; ++r) {
        uint8_t* row = block->PixelPtr(0, r);
        std::memcpy(row, row + 4, 4);
        std::memcpy(row + (w - 1) * 4, row + (w - 2) * 4, 4);
    }
    std::memcpy(block->PixelPtr(0, 0), block->PixelPtr(0, 1), size_t(w) * 4);
    std::memcpy(block->PixelPtr(0, h - 1), block->PixelPtr(0, h - 2), size_t(w) * 4);
    const TGL3Api& gl = GL3();
    gl.BindTexture(GL_TEXTURE_2D, page->name);
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, block->pitch / 4);
    gl.TexSubImage2D(GL_TEXTURE_2D, 0, x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, block->pixels);
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    const float size = float(page->size);
    cell.page = page;
    cell.width = image->width;
    cell.height = image->height;
    cell.u0 = float(x + 1) / size;
    cell.v0 = float(y + 1) / size;
    cell.u1 = float(x + 1 + image->width) / size;
    cell.v1 = float(y + 1 + image->height) / size;
    return cell;
}

bool Whole(float v) { return std::fabs(v) < 1e6f && std::floor(v) == v; }

// Whether the quad samples the cell exactly as it would the own texture:
// one texel per pixel at whole pixels with the identity matrix.
bool CellMatches(const TGL3AtlasCell& cell, const float xy[8])
{
    const TGL3Rast2DState& s = GL3Rast2DState();
    if (!cell.page || !GLGlyphAtlas() || s.ix != 1.0f || s.iy != 0.0f || s.jx != 0.0f || s.jy != 1.0f) return false;
    for (int i = 0; i < 8; ++i)
        if (!Whole(xy[i])) return false;
    return xy[2] - xy[0] == float(cell.width) && xy[5] - xy[3] == float(cell.height);
}

}  // namespace

TGL3AtlasPage::~TGL3AtlasPage()
{
    if (name != 0) DeleteShared(name, seq);
}

std::shared_ptr<TGL3ImageFrame> TGL3ImageFrame::CreateFromPixmap(const TPixmapPtr& pixmap, int flags)
{
    if (!pixmap || pixmap->width <= 0 || pixmap->height <= 0 || BytesPerPixel(pixmap->format) == 0) return nullptr;
    int tw = pixmap->width, th = pixmap->height;
    GL3AdjustTexSize(tw, th);
    TPixmapPtr src = pixmap;
    const int w = std::min(pixmap->width, tw), h = std::min(pixmap->height, th);
    if (w != pixmap->width || h != pixmap->height) src = ResizePixmap(src, w, h);
    if (w < tw || h < th)
        src = PadToTexture(src, tw, th);
    else if (src->format != PIXFMT_RGBA8888)
        src = src->Convert(PIXFMT_RGBA8888);

    const bool mipmapped = (flags & IMAGE_MIPMAPPED) != 0;
    const TGL3Api& gl = GL3();
    GLuint tex = 0;
    gl.GenTextures(1, &tex);
    gl.BindTexture(GL_TEXTURE_2D, tex);
    SetParameters((flags & IMAGE_FILTERED) != 0, mipmapped);
    UploadLevels(src, mipmapped);
    TGL3AtlasCell cell;
    if ((flags & IMAGE_SHAREABLE) && w == pixmap->width && h == pixmap->height) {
        TPixmapPtr rgba = pixmap->format == PIXFMT_RGBA8888 ? pixmap : pixmap->Convert(PIXFMT_RGBA8888);
        cell = PlaceInAtlas(rgba, (flags & IMAGE_FILTERED) != 0);
    }
#ifndef __EMSCRIPTEN__
    // Another context of the share group uses the texture next. (A page has
    // one context, where a flush only makes the browser wait.)
    gl.Flush();
#endif

    auto frame = std::make_shared<TGL3ImageFrame>();
    frame->name = int(tex);
    frame->seq = GraphicsSeq();
    frame->u1 = float(w) / float(tw);
    frame->v1 = float(h) / float(th);
    frame->cell = std::move(cell);
    return frame;
}

TGL3ImageFrame::~TGL3ImageFrame() { Release(); }

void TGL3ImageFrame::Release()
{
    if (seq == 0) return;
    DeleteShared(unsigned(name), seq);
    seq = 0;
    name = 0;
    cell = TGL3AtlasCell();
}

void TGL3ImageFrame::Draw(float x0, float y0, float x1, float y1, float tx, float ty)
{
    if (seq == 0) return;
    const TGL3Rast2DState& s = GL3Rast2DState();
    const float xy[8] = {x0 * s.ix + y0 * s.iy + tx, x0 * s.jx + y0 * s.jy + ty,
                         x1 * s.ix + y0 * s.iy + tx, x1 * s.jx + y0 * s.jy + ty,
                         x1 * s.ix + y1 * s.iy + tx, x1 * s.jx + y1 * s.jy + ty,
                         x0 * s.ix + y1 * s.iy + tx, x0 * s.jx + y1 * s.jy + ty};
    if (CellMatches(cell, xy)) {
        GL3UseTexture(cell.page->name);
        const float uv[8] = {cell.u0, cell.v0, cell.u1, cell.v0, cell.u1, cell.v1, cell.u0, cell.v1};
        GL3Quad(xy, uv);
        return;
    }
    GL3UseTexture(unsigned(name));
    const float uv[8] = {u0, v0, u1, v0, u1, v1, u0, v1};
    GL3Quad(xy, uv);
}
