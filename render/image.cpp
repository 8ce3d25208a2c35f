#include "kelvora/render/image.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "kelvora/render/graphics.h"
#include "io/background_work.h"
#include "kelvora/render/pixmap_loader.h"
#include "render/rast2d_graphics.h"

namespace kelvora {

namespace {

int g_mask_r = 0, g_mask_g = 0, g_mask_b = 0;
int g_auto_midhandle = 0;
int g_auto_flags = IMAGE_MASKED | IMAGE_FILTERED;

bool InRange(const TImage& im, int index) { return index >= 0 && size_t(index) < im.pixmaps.size(); }

// A picture PreloadImage is loading, and the mask it gets.
struct TPreload {
    bool masked;
    int mask_r, mask_g, mask_b;
    std::shared_future<TPixmapPtr> pixmap;
};

// By path; used from the caller's thread alone.
std::map<std::string, TPreload>& Preloads() {
    static auto* preloads = new std::map<std::string, TPreload>;
    return *preloads;
}

// The pixels as an image with these flags and mask colour keeps them.
TPixmapPtr Masked(TPixmapPtr p, bool masked, int mask_r, int mask_g, int mask_b) {
    if (p && masked && AlphaBits(p->format) == 0) p = MaskPixmap(p, mask_r, mask_g, mask_b);
    return p;
}

// What PreloadImage loaded of the path, when it was loaded for this mask;
// the preload is used up either way.
bool TakePreload(const TImageSource& source, bool masked, int mask_r, int mask_g, int mask_b, TPixmapPtr& p) {
    if (source.pixmap || source.url.stream || source.url.text.empty()) return false;
    auto it = Preloads().find(source.url.text);
    if (it == Preloads().end()) return false;
    const TPreload preload = std::move(it->second);
    Preloads().erase(it);
    if (preload.masked != masked ||
        (masked && (preload.mask_r != mask_r || preload.mask_g != mask_g || preload.mask_b != mask_b)))
        return false;
    p = AwaitBackground(preload.pixmap);
    return true;
}

TPixmapPtr PixmapOf(const TImageSource& source) {
    return source.pixmap ? source.pixmap : LoadPixmap(source.url);
}

void AutoHandle(const TImagePtr& image) {
    if (image && g_auto_midhandle) CenterImageHandle(image);
}

}  // namespace

TImageFramePtr TImage::Frame(int index) {
    if (!InRange(*this, index)) return nullptr;
    const int seq = GraphicsSeq();
    if (seqs[index] != 0 && seqs[index] == seq) return frames[index];
    TRast2DGraphics* state = TRast2DGraphics::Current();
    if (!state || !state->_driver) return nullptr;
    frames[index] = state->_driver->CreateFrameFromPixmap(Lock(index, 1, 0), flags);
    seqs[index] = frames[index] ? seq : 0;
    return frames[index];
}

TPixmapPtr TImage::Lock(int index, int /*read*/, int write) {
    if (!InRange(*this, index)) return nullptr;
    if (write) {
        seqs[index] = 0;
        frames[index] = nullptr;
    }
    if (!pixmaps[index]) pixmaps[index] = TPixmap::Create(width, height, PIXFMT_RGBA8888, 4);
    return pixmaps[index];
}

void TImage::SetPixmap(int index, const TPixmapPtr& pixmap) {
    if (!InRange(*this, index)) return;
    pixmaps[index] = Masked(pixmap, (flags & IMAGE_MASKED) != 0, mask_r, mask_g, mask_b);
    seqs[index] = 0;
    frames[index] = nullptr;
}

TImagePtr TImage::Create(int width, int height, int frames, int flags, int mask_r, int mask_g, int mask_b) {
    auto im = std::make_shared<TImage>();
    im->width = std::max(width, 0);
    im->height = std::max(height, 0);
    im->flags = flags;
    im->mask_r = mask_r, im->mask_g = mask_g, im->mask_b = mask_b;
    const size_t n = size_t(std::max(frames, 0));
    im->pixmaps.resize(n);
    im->frames.resize(n);
    im->seqs.assign(n, 0);
    return im;
}

TImagePtr TImage::Load(const TImageSource& source, int flags, int mask_r, int mask_g, int mask_b) {
    TPixmapPtr p;
    if (!TakePreload(source, (flags & IMAGE_MASKED) != 0, mask_r, mask_g, mask_b, p)) p = PixmapOf(source);
    if (!p) return nullptr;
    TImagePtr im = Create(p->width, p->height, 1, flags, mask_r, mask_g, mask_b);
    im->SetPixmap(0, p);
    return im;
}

TImagePtr TImage::LoadAnim(const TImageSource& source, int cell_width, int cell_height, int first, int count,
                           int flags, int mask_r, int mask_g, int mask_b) {
    if (cell_width <= 0 || cell_height <= 0 || first < 0 || count < 1) return nullptr;
    TPixmapPtr p = PixmapOf(source);
    if (!p) return nullptr;
    const int across = p->width / cell_width, down = p->height / cell_height;
    if (int64_t(across) * down < int64_t(first) + count) return nullptr;
    TImagePtr im = Create(cell_width, cell_height, count, flags, mask_r, mask_g, mask_b);
    for (int i = first; i < first + count; ++i) {
        const int cx = cell_width * (i % across), cy = cell_height * (i / across);
        im->SetPixmap(i - first, p->Window(cx, cy, cell_width, cell_height)->Copy());
    }
    return im;
}

void SetMaskColor(int red, int green, int blue) { g_mask_r = red, g_mask_g = green, g_mask_b = blue; }
void GetMaskColor(int& red, int& green, int& blue) { red = g_mask_r, green = g_mask_g, blue = g_mask_b; }
void SetAutoMidHandle(int enable) { g_auto_midhandle = enable; }
void SetAutoImageFlags(int flags) {
    if (flags != -1) g_auto_flags = flags;
}
int GetAutoImageFlags() { return g_auto_flags; }

TImagePtr LoadImage(const TImageSource& source, int flags) {
    if (flags == -1) flags = g_auto_flags;
    TImagePtr im = TImage::Load(source, flags, g_mask_r, g_mask_g, g_mask_b);
    AutoHandle(im);
    return im;
}

void PreloadImage(const std::string& path, int flags) {
    if (path.empty()) return;
    if (flags == -1) flags = g_auto_flags;
    PixmapLoaders();  // the built-in loaders join the chain on this thread
    const bool masked = (flags & IMAGE_MASKED) != 0;
    const int r = g_mask_r, g = g_mask_g, b = g_mask_b;
    Preloads()[path] = {masked, r, g, b, InBackground<TPixmapPtr>([path, masked, r, g, b] {
                            return Masked(LoadPixmap(TUrl(path)), masked, r, g, b);
                        })};
}

TImagePtr LoadAnimImage(const TImageSource& source, int cell_width, int cell_height, int first, int count, int flags) {
    if (flags == -1) flags = g_auto_flags;
    TImagePtr im = TImage::LoadAnim(source, cell_width, cell_height, first, count, flags, g_mask_r, g_mask_g, g_mask_b);
    AutoHandle(im);
    return im;
}

TImagePtr CreateImage(int width, int height, int frames, int flags) {
    if (flags == -1) flags = g_auto_flags;
    TImagePtr im = TImage::Create(width, height, frames, flags | IMAGE_DYNAMIC, g_mask_r, g_mask_g, g_mask_b);
    AutoHandle(im);
    return im;
}

void SetImageHandle(const TImagePtr& image, float x, float y) {
    if (image) image->handle_x = x, image->handle_y = y;
}

void CenterImageHandle(const TImagePtr& image) {
    if (image) image->handle_x = float(image->width) * 0.5f, image->handle_y = float(image->height) * 0.5f;
}

int ImageWidth(const TImagePtr& image) { return image ? image->width : 0; }
int ImageHeight(const TImagePtr& image) { return image ? image->height : 0; }

namespace {

void DrawFrame(const char* call, const TImagePtr& image, float x, float y, float width, float height, int frame) {
    TRast2DGraphics* state = TRast2DGraphics::Drawing(call);
    if (!state || !image) return;
    TImageFramePtr f = image->Frame(frame);
    if (!f) return;
    const float hx = -image->handle_x, hy = -image->handle_y;
    f->Draw(hx, hy, width + hx, height + hy, x + state->origin_x, y + state->origin_y);
}

}  // namespace

void DrawImageRect(const TImagePtr& image, float x, float y, float width, float height, int frame) {
    DrawFrame("DrawImageRect", image, x, y, width, height, frame);
}

void DrawImage(const TImagePtr& image, float x, float y, int frame) {
    if (image) DrawFrame("DrawImage", image, x, y, float(image->width), float(image->height), frame);
}

namespace {

// The first tile position at or before the viewport's start that is in step
// with p: lo + ((p - lo) mod step), a modulo that stays non-negative.
int FirstTile(int p, int view, int step) {
    const int lo = view - step + 1;
    int m = (p - lo) % step;
    if (m < 0) m += step;
    return lo + m;
}

}  // namespace

void TileImage(const TImagePtr& image, float x, float y, int frame) {
    TRast2DGraphics* state = TRast2DGraphics::Drawing("TileImage");
    if (!state || !image || image->width <= 0 || image->height <= 0) return;
    TImageFramePtr f = image->Frame(frame);
    if (!f) return;
    const int w = image->width, h = image->height;
    const float px = x + state->origin_x - image->handle_x, py = y + state->origin_y - image->handle_y;
    const float flx = std::floor(px), fly = std::floor(py);
    const float fx = px - flx, fy = py - fly;
    const int vx = state->viewport_x, vy = state->viewport_y, vw = state->viewport_w, vh = state->viewport_h;
    const int c0 = FirstTile(int(flx), vx, w), r0 = FirstTile(int(fly), vy, h);

    state->_driver->SetTransform(1, 0, 0, 1);
    for (int row = r0; row < vy + vh; row += h)
        for (int col = c0; col < vx + vw; col += w)
            f->Draw(0, 0, float(w), float(h), float(col) + fx, float(row) + fy);
    state->_driver->SetTransform(state->tform_ix, state->tform_iy, state->tform_jx, state->tform_jy);
}

TPixmapPtr LockImage(const TImagePtr& image, int frame, int read, int write) {
    return image ? image->Lock(frame, read, write) : nullptr;
}

void UnlockImage(const TImagePtr&, int) {}

void GrabImage(const TImagePtr& image, int x, int y, int frame) {
    TRast2DGraphics* state = TRast2DGraphics::Drawing("GrabImage");
    if (!state || !image) return;
    TPixmapPtr p = state->_driver->GrabPixmap(x, y, image->width, image->height);
    if (!p) return;
    if (image->flags & IMAGE_MASKED) p = MaskPixmap(p, g_mask_r, g_mask_g, g_mask_b);
    image->SetPixmap(frame, p);
}

}  // namespace kelvora
