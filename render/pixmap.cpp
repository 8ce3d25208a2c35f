#include "kelvora/render/pixmap.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "kelvora/runtime/errors.h"

namespace kelvora {

namespace {

constexpr std::align_val_t kPixelAlign{16};

bool ValidFormat(int format) { return format >= PIXFMT_I8 && format <= PIXFMT_RGBA8888; }

// One pixel of any format to red, green, blue, alpha.
inline void ToRGBA(const uint8_t* s, int format, uint8_t* d) {
    switch (format) {
    case PIXFMT_I8: d[0] = d[1] = d[2] = s[0]; d[3] = 255; break;
    case PIXFMT_A8: d[0] = d[1] = d[2] = 255; d[3] = s[0]; break;
    case PIXFMT_BGR888: d[0] = s[2]; d[1] = s[1]; d[2] = s[0]; d[3] = 255; break;
    case PIXFMT_RGB888: d[0] = s[0]; d[1] = s[1]; d[2] = s[2]; d[3] = 255; break;
    case PIXFMT_BGRA8888: d[0] = s[2]; d[1] = s[1]; d[2] = s[0]; d[3] = s[3]; break;
    case PIXFMT_RGBA8888: std::memcpy(d, s, 4); break;
    default: std::memset(d, 0, 4); break;
    }
}

inline void FromRGBA(const uint8_t* s, uint8_t* d, int format) {
    switch (format) {
    case PIXFMT_I8: d[0] = uint8_t((s[0] + s[1] + s[2]) / 3); break;
    case PIXFMT_A8: d[0] = s[3]; break;
    case PIXFMT_BGR888: d[0] = s[2]; d[1] = s[1]; d[2] = s[0]; break;
    case PIXFMT_RGB888: d[0] = s[0]; d[1] = s[1]; d[2] = s[2]; break;
    case PIXFMT_BGRA8888: d[0] = s[2]; d[1] = s[1]; d[2] = s[0]; d[3] = s[3]; break;
    case PIXFMT_RGBA8888: std::memcpy(d, s, 4); break;
    default: break;
    }
}

// The whole pixmap as tightly packed RGBA rows.
std::vector<uint8_t> RGBAOf(const TPixmap& p) {
    std::vector<uint8_t> out(size_t(p.width) * size_t(p.height) * 4);
    for (int y = 0; y < p.height; ++y)
        ConvertPixels(p.PixelPtr(0, y), p.format, out.data() + size_t(y) * p.width * 4, PIXFMT_RGBA8888, p.width);
    return out;
}

}  // namespace

int BytesPerPixel(int format) {
    constexpr int bpp[] = {0, 1, 1, 3, 3, 4, 4};
    return ValidFormat(format) ? bpp[format] : 0;
}

int AlphaBits(int format) {
    return format == PIXFMT_A8 || format == PIXFMT_BGRA8888 || format == PIXFMT_RGBA8888 ? 8 : 0;
}

namespace {

// A row of n pixels from format S to format D, through RGBA: with both
// formats known here the per-pixel switches fold away (start-up converts
// every image it loads; in the browser this halved loading them).
template <int S, int D>
void ConvertRow(const uint8_t* src, uint8_t* dst, int n) {
    const int sb = BytesPerPixel(S), db = BytesPerPixel(D);
    uint8_t rgba[4];
    for (int i = 0; i < n; ++i, src += sb, dst += db) {
        ToRGBA(src, S, rgba);
        FromRGBA(rgba, dst, D);
    }
}

using TConvertRow = void (*)(const uint8_t*, uint8_t*, int);

template <int S>
TConvertRow ConvertRowTo(int dst_format) {
    switch (dst_format) {
    case PIXFMT_I8: return ConvertRow<S, PIXFMT_I8>;
    case PIXFMT_A8: return ConvertRow<S, PIXFMT_A8>;
    case PIXFMT_BGR888: return ConvertRow<S, PIXFMT_BGR888>;
    case PIXFMT_RGB888: return ConvertRow<S, PIXFMT_RGB888>;
    case PIXFMT_BGRA8888: return ConvertRow<S, PIXFMT_BGRA8888>;
    case PIXFMT_RGBA8888: return ConvertRow<S, PIXFMT_RGBA8888>;
    default: return nullptr;
    }
}

TConvertRow ConvertRowFor(int src_format, int dst_format) {
    switch (src_format) {
    case PIXFMT_I8: return ConvertRowTo<PIXFMT_I8>(dst_format);
    case PIXFMT_A8: return ConvertRowTo<PIXFMT_A8>(dst_format);
    case PIXFMT_BGR888: return ConvertRowTo<PIXFMT_BGR888>(dst_format);
    case PIXFMT_RGB888: return ConvertRowTo<PIXFMT_RGB888>(dst_format);
    case PIXFMT_BGRA8888: return ConvertRowTo<PIXFMT_BGRA8888>(dst_format);
    case PIXFMT_RGBA8888: return ConvertRowTo<PIXFMT_RGBA8888>(dst_format);
    default: return nullptr;
    }
}

}  // namespace

void ConvertPixels(const uint8_t* src, int src_format, uint8_t* dst, int dst_format, int n) {
    if (n <= 0) return;
    if (src_format == dst_format) {
        std::memmove(dst, src, size_t(n) * BytesPerPixel(src_format));
        return;
    }
    if (TConvertRow row = ConvertRowFor(src_format, dst_format)) row(src, dst, n);
}

TPixmap::~TPixmap() {
    if (capacity >= 0 && pixels) ::operator delete(pixels, kPixelAlign);
}

TPixmapPtr TPixmap::Create(int width, int height, int format, int align) {
    if (!ValidFormat(format)) throw TRuntimeException("Invalid pixmap format");
    if (width < 0 || height < 0) throw TRuntimeException("Invalid pixmap size");
    if (align < 1) align = 1;
    const int64_t row = int64_t(width) * BytesPerPixel(format);
    const int64_t pitch = (row + align - 1) / align * align;
    const int64_t bytes = pitch * height;
    if (pitch > INT_MAX || bytes > INT_MAX) throw TRuntimeException("Invalid pixmap size");
    auto p = std::make_shared<TPixmap>();
    p->pixels = static_cast<uint8_t*>(::operator new(size_t(std::max<int64_t>(bytes, 16)), kPixelAlign));
    p->width = width;
    p->height = height;
    p->pitch = int(pitch);
    p->format = format;
    p->capacity = int(bytes);
    return p;
}

TPixmapPtr TPixmap::CreateStatic(void* pixels, int width, int height, int pitch, int format) {
    if (!ValidFormat(format)) throw TRuntimeException("Invalid pixmap format");
    if (width < 0 || height < 0) throw TRuntimeException("Invalid pixmap size");
    auto p = std::make_shared<TPixmap>();
    p->pixels = static_cast<uint8_t*>(pixels);
    p->width = width;
    p->height = height;
    p->pitch = pitch;
    p->format = format;
    p->capacity = -1;
    return p;
}

uint8_t* TPixmap::PixelPtr(int x, int y) const {
    return pixels + ptrdiff_t(y) * pitch + ptrdiff_t(x) * BytesPerPixel(format);
}

TPixmapPtr TPixmap::Window(int x, int y, int w, int h) {
    auto p = CreateStatic(PixelPtr(x, y), w, h, pitch, format);
    p->_source = weak_from_this().lock();
    return p;
}

TPixmapPtr TPixmap::Copy() const {
    auto p = Create(width, height, format, 4);
    const size_t row = size_t(width) * BytesPerPixel(format);
    for (int y = 0; y < height; ++y) std::memcpy(p->PixelPtr(0, y), PixelPtr(0, y), row);
    return p;
}

void TPixmap::Paste(const TPixmap& source, int x, int y) {
    for (int i = 0; i < source.height; ++i)
        ConvertPixels(source.PixelPtr(0, i), source.format, PixelPtr(x, y + i), format, source.width);
}

TPixmapPtr TPixmap::Convert(int to) const {
    auto p = Create(width, height, to, 4);
    for (int y = 0; y < height; ++y) ConvertPixels(PixelPtr(0, y), format, p->PixelPtr(0, y), to, width);
    return p;
}

int TPixmap::ReadPixel(int x, int y) const {
    uint8_t c[4];
    ToRGBA(PixelPtr(x, y), format, c);
    return int((uint32_t(c[3]) << 24) | (uint32_t(c[0]) << 16) | (uint32_t(c[1]) << 8) | c[2]);
}

void TPixmap::WritePixel(int x, int y, int argb) {
    const uint32_t v = uint32_t(argb);
    const uint8_t c[4] = {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v), uint8_t(v >> 24)};
    FromRGBA(c, PixelPtr(x, y), format);
}

void TPixmap::ClearPixels(int argb) {
    const int bpp = BytesPerPixel(format);
    const size_t row = size_t(width) * bpp;
    if (argb == 0) {
        if (pitch == int(row)) {
            std::memset(pixels, 0, row * height);
        } else {
            for (int y = 0; y < height; ++y) std::memset(PixelPtr(0, y), 0, row);
        }
        return;
    }
    uint8_t one[4];
    const uint32_t v = uint32_t(argb);
    const uint8_t c[4] = {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v), uint8_t(v >> 24)};
    FromRGBA(c, one, format);
    for (int y = 0; y < height; ++y) {
        uint8_t* d = PixelPtr(0, y);
        for (int x = 0; x < width; ++x, d += bpp) std::memcpy(d, one, bpp);
    }
}

TPixmapPtr CreatePixmap(int width, int height, int format, int align) {
    return TPixmap::Create(width, height, format, align);
}
TPixmapPtr CreateStaticPixmap(void* pixels, int width, int height, int pitch, int format) {
    return TPixmap::CreateStatic(pixels, width, height, pitch, format);
}
TPixmapPtr CopyPixmap(const TPixmapPtr& p) { return p ? p->Copy() : nullptr; }
TPixmapPtr ConvertPixmap(const TPixmapPtr& p, int format) { return p ? p->Convert(format) : nullptr; }
TPixmapPtr PixmapWindow(const TPixmapPtr& p, int x, int y, int w, int h) {
    return p ? p->Window(x, y, w, h) : nullptr;
}
uint8_t* PixmapPixelPtr(const TPixmapPtr& p, int x, int y) { return p ? p->PixelPtr(x, y) : nullptr; }
int PixmapWidth(const TPixmapPtr& p) { return p ? p->width : 0; }
int PixmapHeight(const TPixmapPtr& p) { return p ? p->height : 0; }
int PixmapPitch(const TPixmapPtr& p) { return p ? p->pitch : 0; }
int PixmapFormat(const TPixmapPtr& p) { return p ? p->format : 0; }
int ReadPixel(const TPixmapPtr& p, int x, int y) { return p ? p->ReadPixel(x, y) : 0; }
void WritePixel(const TPixmapPtr& p, int x, int y, int argb) {
    if (p) p->WritePixel(x, y, argb);
}
void ClearPixels(const TPixmapPtr& p, int argb) {
    if (p) p->ClearPixels(argb);
}

TPixmapPtr MaskPixmap(const TPixmapPtr& src, int red, int green, int blue) {
    if (!src) return nullptr;
    const int w = src->width, h = src->height;
    // Packed RGBA is read where it lies: a screen grab is large.
    std::vector<uint8_t> converted;
    const bool packed = src->format == PIXFMT_RGBA8888 && src->pitch == w * 4;
    if (!packed) converted = RGBAOf(*src);
    const uint8_t* rgba = packed ? src->pixels : converted.data();
    auto isMask = [&](int x, int y) {
        const uint8_t* c = &rgba[(size_t(y) * w + x) * 4];
        return c[0] == red && c[1] == green && c[2] == blue;
    };
    auto out = TPixmap::Create(w, h, PIXFMT_RGBA8888, 4);
    for (int y = 0; y < h; ++y) {
        uint8_t* d = out->PixelPtr(0, y);
        for (int x = 0; x < w; ++x, d += 4) {
            const uint8_t* c = &rgba[(size_t(y) * w + x) * 4];
            if (!isMask(x, y)) {
                d[0] = c[0], d[1] = c[1], d[2] = c[2], d[3] = 255;
                continue;
            }
            int r = 0, g = 0, b = 0, n = 0;
            for (int ny = std::max(0, y - 1); ny <= std::min(h - 1, y + 1); ++ny) {
                for (int nx = std::max(0, x - 1); nx <= std::min(w - 1, x + 1); ++nx) {
                    if (isMask(nx, ny)) continue;  // also skips the pixel itself
                    const uint8_t* e = &rgba[(size_t(ny) * w + nx) * 4];
                    r += e[0], g += e[1], b += e[2], ++n;
                }
            }
            if (n) r /= n, g /= n, b /= n;
            d[0] = uint8_t(r), d[1] = uint8_t(g), d[2] = uint8_t(b), d[3] = 0;
        }
    }
    return out;
}

TPixmapPtr XFlipPixmap(const TPixmapPtr& src) {
    if (!src) return nullptr;
    auto out = TPixmap::Create(src->width, src->height, src->format, 4);
    const int bpp = BytesPerPixel(src->format);
    for (int y = 0; y < src->height; ++y)
        for (int x = 0; x < src->width; ++x)
            std::memcpy(out->PixelPtr(src->width - 1 - x, y), src->PixelPtr(x, y), bpp);
    return out;
}

void YFlipPixmapInPlace(TPixmap& p) {
    std::vector<uint8_t> row(size_t(p.width) * size_t(BytesPerPixel(p.format)));
    for (int top = 0, bottom = p.height - 1; top < bottom; ++top, --bottom) {
        std::memcpy(row.data(), p.PixelPtr(0, top), row.size());
        std::memcpy(p.PixelPtr(0, top), p.PixelPtr(0, bottom), row.size());
        std::memcpy(p.PixelPtr(0, bottom), row.data(), row.size());
    }
}

TPixmapPtr YFlipPixmap(const TPixmapPtr& src) {
    if (!src) return nullptr;
    auto out = TPixmap::Create(src->width, src->height, src->format, 4);
    const size_t row = size_t(src->width) * BytesPerPixel(src->format);
    for (int y = 0; y < src->height; ++y) std::memcpy(out->PixelPtr(0, src->height - 1 - y), src->PixelPtr(0, y), row);
    return out;
}

namespace {

// Per destination index: the two source indices and the weight between them.
struct Tap {
    int i0, i1;
    float f;
};

std::vector<Tap> Taps(int src, int dst) {
    std::vector<Tap> taps(size_t(std::max(dst, 0)));
    const float ratio = float(src) / float(dst);
    for (int i = 0; i < dst; ++i) {
        const float s = (float(i) + 0.5f) * ratio - 0.5f;
        const int i0 = int(std::floor(s));
        if (i0 < 0) taps[i] = {0, 0, 0.0f};
        else if (i0 >= src - 1) taps[i] = {src - 1, src - 1, 0.0f};
        else taps[i] = {i0, i0 + 1, s - float(i0)};
    }
    return taps;
}

}  // namespace

TPixmapPtr ResizePixmap(const TPixmapPtr& src, int width, int height) {
    if (!src) return nullptr;
    auto out = TPixmap::Create(width, height, src->format, 4);
    if (src->width == 0 || src->height == 0) {
        out->ClearPixels(0);  // nothing to sample
        return out;
    }
    const std::vector<uint8_t> rgba = RGBAOf(*src);
    const std::vector<Tap> xs = Taps(src->width, width), ys = Taps(src->height, height);
    std::vector<uint8_t> row(size_t(width) * 4);
    const size_t stride = size_t(src->width) * 4;
    for (int i = 0; i < height; ++i) {
        const uint8_t* r0 = &rgba[ys[i].i0 * stride];
        const uint8_t* r1 = &rgba[ys[i].i1 * stride];
        const float fy = ys[i].f;
        for (int j = 0; j < width; ++j) {
            const Tap& t = xs[j];
            for (int c = 0; c < 4; ++c) {
                const float p00 = r0[t.i0 * 4 + c], p10 = r0[t.i1 * 4 + c];
                const float p01 = r1[t.i0 * 4 + c], p11 = r1[t.i1 * 4 + c];
                const float top = p00 + (p10 - p00) * t.f;
                const float bottom = p01 + (p11 - p01) * t.f;
                row[size_t(j) * 4 + c] = uint8_t(int(top + (bottom - top) * fy));
            }
        }
        ConvertPixels(row.data(), PIXFMT_RGBA8888, out->PixelPtr(0, i), src->format, width);
    }
    return out;
}

}  // namespace kelvora
