// Conversion, masking, flipping, pasting and resizing over arbitrary sizes
// and formats, checking what must hold whatever the pixels are.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kelvora/render/pixmap.h"

using namespace kelvora;

namespace {

struct Bytes {
    const uint8_t* d;
    size_t n;
    int Take(int mod) {
        if (!n) return 0;
        const int v = d[0] % mod;
        ++d, --n;
        return v;
    }
};

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in{data, size};
    const int w = in.Take(40), h = in.Take(40);
    const int from = 1 + in.Take(6), to = 1 + in.Take(6);
    const int nw = in.Take(70), nh = in.Take(70);
    const int align = 1 + in.Take(16);
    TPixmapPtr p = CreatePixmap(w, h, from, align);
    Check(p->pitch >= w * BytesPerPixel(from) && p->pitch % align == 0);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < w * BytesPerPixel(from); ++i) p->PixelPtr(0, y)[i] = uint8_t(in.Take(256));

    TPixmapPtr c = p->Convert(to);
    Check(c->width == w && c->height == h && c->format == to);
    // Converting to RGBA and back loses nothing.
    TPixmapPtr back = p->Convert(PIXFMT_RGBA8888)->Convert(from);
    for (int y = 0; y < h; ++y) Check(std::memcmp(back->PixelPtr(0, y), p->PixelPtr(0, y), size_t(w) * BytesPerPixel(from)) == 0);

    TPixmapPtr same = ResizePixmap(p, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) Check(same->ReadPixel(x, y) == p->ReadPixel(x, y));
    TPixmapPtr r = ResizePixmap(c, nw, nh);
    Check(r->width == nw && r->height == nh && r->format == to);

    TPixmapPtr m = MaskPixmap(p, in.Take(256), in.Take(256), in.Take(256));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t a = uint32_t(m->ReadPixel(x, y)) >> 24;
            Check(a == 0 || a == 255);
        }
    TPixmapPtr xx = XFlipPixmap(XFlipPixmap(p)), yy = YFlipPixmap(YFlipPixmap(p));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) Check(xx->ReadPixel(x, y) == p->ReadPixel(x, y) && yy->ReadPixel(x, y) == p->ReadPixel(x, y));

    if (w > 0 && h > 0) {
        const int wx = in.Take(w), wy = in.Take(h);
        TPixmapPtr win = p->Window(wx, wy, w - wx, h - wy);
        TPixmapPtr dst = CreatePixmap(w, h, to);
        dst->ClearPixels(in.Take(256) << 24 | in.Take(256));
        dst->Paste(*win, 0, 0);
        Check(dst->ReadPixel(0, 0) == c->ReadPixel(wx, wy));
    }
    return 0;
}
