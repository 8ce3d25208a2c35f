#include "render/core2d/image_frame.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "render/core2d/core2d.h"
#include "kelvora/render/graphics.h"
#include "kelvora/render/image.h"
#include "kelvora/render/pixmap.h"

namespace kelvora {

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

namespace {

// Every level from the picture down to 1x1 when mipmapped, each resampled
// from the one before.
bool UploadLevels(TCore2DBackend& backend, TPixmapPtr pixmap, bool mipmapped)
{
    for (int level = 0;; ++level) {
        if (!backend.Upload(level, 0, 0, pixmap->width, pixmap->height, pixmap->pixels, pixmap->pitch / 4))
            return false;
        if (!mipmapped || (pixmap->width == 1 && pixmap->height == 1)) return true;
        const int w = pixmap->width > 1 ? pixmap->width / 2 : 1;
        const int h = pixmap->height > 1 ? pixmap->height / 2 : 1;
        pixmap = ResizePixmap(pixmap, w, h);
    }
}

// What PadToTexture adds around an RGBA image already uploaded at the
// top-left of a single-level texture, sent in strips of about 64 KB.
bool UploadPadding(TCore2DBackend& backend, const TPixmap& img, int tw, int th)
{
    const int w = img.width, h = img.height;
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
            if (!backend.Upload(0, w, y0, cols, n, strip.data(), cols)) return false;
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
            if (!backend.Upload(0, 0, y0, tw, std::min(rows, th - y0), strip.data(), tw)) return false;
    }
    return true;
}

int LevelsFor(int tw, int th, bool mipmapped)
{
    int levels = 1;
    while (mipmapped && (tw > 1 || th > 1)) {
        tw = std::max(1, tw / 2);
        th = std::max(1, th / 2);
        ++levels;
    }
    return levels;
}

// Said once: a driver that cannot take textures fails every image alike.
void ReportUploadFailure(int width, int height)
{
    static bool reported = false;
    const std::string text =
        "Unable to make a " + std::to_string(width) + "x" + std::to_string(height) + " texture: OpenGL refused it";
    SetLastGraphicsError(text);
    if (reported) return;
    reported = true;
    std::fprintf(stderr, "%s (images that cannot be made draw nothing)\n", text.c_str());
}

bool Whole(float v) { return std::fabs(v) < 1e6f && std::floor(v) == v; }

}  // namespace

std::shared_ptr<TCoreImageFrame> TCoreImageFrame::Create(TCore2DDriver& driver, const TPixmapPtr& pixmap, int flags)
{
    if (!pixmap || pixmap->width <= 0 || pixmap->height <= 0 || BytesPerPixel(pixmap->format) == 0) return nullptr;
    int tw = pixmap->width, th = pixmap->height;
    driver.AdjustTexSize(tw, th);

    TPixmapPtr src = pixmap;
    const int w = std::min(pixmap->width, tw), h = std::min(pixmap->height, th);
    if (w != pixmap->width || h != pixmap->height) src = ResizePixmap(src, w, h);
    // Mipmaps are made from the padded picture; a single level is padded
    // in strips, sparing a texture-sized copy (2 MB for a 640x480 picture).
    const bool mipmapped = (flags & IMAGE_MIPMAPPED) != 0;
    const bool padded_copy = (w < tw || h < th) && mipmapped;
    if (padded_copy)
        src = PadToTexture(src, tw, th);
    else if (src->format != PIXFMT_RGBA8888)
        src = src->Convert(PIXFMT_RGBA8888);

    TCore2DBackend& backend = driver.Backend();
    const unsigned tex = backend.CreateTexture(tw, th, LevelsFor(tw, th, mipmapped), (flags & IMAGE_FILTERED) != 0);
    if (!tex || !UploadLevels(backend, src, mipmapped) || (!padded_copy && !UploadPadding(backend, *src, tw, th))) {
        if (tex) backend.DeleteTexture(tex);
        ReportUploadFailure(tw, th);
        return nullptr;
    }
    auto frame = std::make_shared<TCoreImageFrame>();
    frame->name = int(tex);
    frame->seq = GraphicsSeq();
    frame->driver = &driver;
    frame->u1 = float(w) / float(tw);
    frame->v1 = float(h) / float(th);
    // Only an image kept at its own size can match its own texture.
    if ((flags & IMAGE_SHAREABLE) && w == pixmap->width && h == pixmap->height) {
        const TPixmapPtr rgba = pixmap->format == PIXFMT_RGBA8888 ? pixmap : pixmap->Convert(PIXFMT_RGBA8888);
        frame->cell = driver.Atlas().Place(driver, rgba, (flags & IMAGE_FILTERED) != 0);
    }
    // Another context of the share group uses the texture next.
    backend.Flush();
    return frame;
}

TCoreImageFrame::~TCoreImageFrame() { Release(); }

void TCoreImageFrame::Release()
{
    if (seq == 0) return;
    driver->DeleteSharedTexture(unsigned(name), seq);
    seq = 0;
    name = 0;
    cell = TAtlasCell();
}

bool TCoreImageFrame::CellMatches(const float xy[8]) const
{
    const TCore2DState& s = driver->State();
    if (!cell.page || !GLGlyphAtlas() || s.ix != 1.0f || s.iy != 0.0f || s.jx != 0.0f || s.jy != 1.0f) return false;
    for (int i = 0; i < 8; ++i)
        if (!Whole(xy[i])) return false;
    // One texel per pixel, unmirrored.
    return xy[2] - xy[0] == float(cell.width) && xy[5] - xy[3] == float(cell.height);
}

void TCoreImageFrame::Draw(float x0, float y0, float x1, float y1, float tx, float ty)
{
    if (seq == 0) return;
    const TCore2DState& s = driver->State();
    const float xy[8] = {x0 * s.ix + y0 * s.iy + tx, x0 * s.jx + y0 * s.jy + ty,
                         x1 * s.ix + y0 * s.iy + tx, x1 * s.jx + y0 * s.jy + ty,
                         x1 * s.ix + y1 * s.iy + tx, x1 * s.jx + y1 * s.jy + ty,
                         x0 * s.ix + y1 * s.iy + tx, x0 * s.jx + y1 * s.jy + ty};
    if (CellMatches(xy)) {
        const float uv[8] = {cell.u0, cell.v0, cell.u1, cell.v0, cell.u1, cell.v1, cell.u0, cell.v1};
        driver->Quad(xy, uv, cell.page->name);
        return;
    }
    const float uv[8] = {u0, v0, u1, v0, u1, v1, u0, v1};
    driver->Quad(xy, uv, unsigned(name));
}

}  // namespace kelvora
