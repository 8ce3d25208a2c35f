#include "kelvora/render/pixmap.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "kelvora/runtime/errors.h"

namespace kelvora {

namespace {

constexpr std::align_val_t kPixelAlign{16};
constexpr int kBytesPerPixel[] = {0, 1, 1, 3, 3, 4, 4};

bool ValidFormat(int format) { return format >= PIXFMT_I8 && format <= PIXFMT_RGBA8888; }

// f(std::integral_constant<int, F>()) for the format code F given at run
// time; for an unknown code, what f returns value-initialised.
template <class Fn>
auto ForFormat(int format, Fn f) {
    switch (format) {
    case PIXFMT_I8: return f(std::integral_constant<int, PIXFMT_I8>());
    case PIXFMT_A8: return f(std::integral_constant<int, PIXFMT_A8>());
    case PIXFMT_BGR888: return f(std::integral_constant<int, PIXFMT_BGR888>());
    case PIXFMT_RGB888: return f(std::integral_constant<int, PIXFMT_RGB888>());
    case PIXFMT_BGRA8888: return f(std::integral_constant<int, PIXFMT_BGRA8888>());
    case PIXFMT_RGBA8888: return f(std::integral_constant<int, PIXFMT_RGBA8888>());
    default: return decltype(f(std::integral_constant<int, PIXFMT_I8>()))();
    }
}

// A pixel in flight is one word, r | g << 8 | b << 16 | a << 24: RGBA8888's
// memory order here. Converting is then shifts and masks in registers, which
// the compiler vectorises, rather than byte shuffles through memory.
static_assert(std::endian::native == std::endian::little, "pixels are handled as little-endian words");
constexpr uint32_t kOpaque = 0xFF000000u;

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
// Red and blue exchanged: RGBA and BGRA words, and a word and 0xAARRGGBB.
inline uint32_t SwapRB(uint32_t v) { return (v & 0xFF00FF00u) | (v >> 16 & 0xFFu) | (v & 0xFFu) << 16; }

// One pixel of format F to a word. Wide, a 3-byte pixel is read in one load
// with the next pixel's first byte, so never for the last pixel of a row.
template <int F, bool Wide = false>
inline uint32_t ToRGBA(const uint8_t* s) {
    if constexpr (F == PIXFMT_I8) return s[0] * 0x010101u | kOpaque;
    if constexpr (F == PIXFMT_A8) return 0xFFFFFFu | uint32_t(s[0]) << 24;
    if constexpr (F == PIXFMT_BGR888)  // the reversed word's top three bytes when wide
        return (Wide ? __builtin_bswap32(Load32(s)) >> 8 : uint32_t(s[2] | s[1] << 8 | s[0] << 16)) | kOpaque;
    if constexpr (F == PIXFMT_RGB888) return (Wide ? Load32(s) : uint32_t(s[0] | s[1] << 8 | s[2] << 16)) | kOpaque;
    if constexpr (F == PIXFMT_BGRA8888) return SwapRB(Load32(s));
    if constexpr (F == PIXFMT_RGBA8888) return Load32(s);
    return 0;
}

// A word to one pixel of format F. Wide, a 3-byte pixel is written in one
// store that also fills the next pixel's first byte until that is written.
template <int F, bool Wide = false>
inline void FromRGBA(uint32_t v, uint8_t* d) {
    if constexpr (F == PIXFMT_I8) d[0] = uint8_t(((v & 0xFF) + (v >> 8 & 0xFF) + (v >> 16 & 0xFF)) / 3);
    if constexpr (F == PIXFMT_A8) d[0] = uint8_t(v >> 24);
    if constexpr (F == PIXFMT_BGR888) {
        if constexpr (Wide) Store32(d, __builtin_bswap32(v) >> 8);
        else d[0] = uint8_t(v >> 16), d[1] = uint8_t(v >> 8), d[2] = uint8_t(v);
    }
    if constexpr (F == PIXFMT_RGB888) {
        if constexpr (Wide) Store32(d, v);
        else d[0] = uint8_t(v), d[1] = uint8_t(v >> 8), d[2] = uint8_t(v >> 16);
    }
    if constexpr (F == PIXFMT_BGRA8888) Store32(d, SwapRB(v));
    if constexpr (F == PIXFMT_RGBA8888) Store32(d, v);
}

uint32_t ToRGBA(const uint8_t* s, int format) {
    return ForFormat(format, [&](auto f) { return ToRGBA<f>(s); });
}
void FromRGBA(uint32_t v, uint8_t* d, int format) {
    ForFormat(format, [&](auto f) { FromRGBA<f>(v, d); });
}

// The whole pixmap as tightly packed RGBA rows.
std::vector<uint8_t> RGBAOf(const TPixmap& p) {
    std::vector<uint8_t> out(size_t(p.width) * size_t(p.height) * 4);
    for (int y = 0; y < p.height; ++y)
        ConvertPixels(p.PixelPtr(0, y), p.format, out.data() + size_t(y) * p.width * 4, PIXFMT_RGBA8888, p.width);
    return out;
}

}  // namespace

int BytesPerPixel(int format) { return ValidFormat(format) ? kBytesPerPixel[format] : 0; }

int AlphaBits(int format) {
    return format == PIXFMT_A8 || format == PIXFMT_BGRA8888 || format == PIXFMT_RGBA8888 ? 8 : 0;
}

namespace {

// A row of n > 0 pixels from format S to format D, through a word each:
// with both formats known here the per-pixel switches fold away (start-up
// converts every image it loads; in the browser this halved loading them).
template <int S, int D>
void ConvertRow(const uint8_t* src, uint8_t* dst, int n) {
    constexpr ptrdiff_t sb = kBytesPerPixel[S], db = kBytesPerPixel[D];
    for (ptrdiff_t i = 0; i < n - 1; ++i) FromRGBA<D, true>(ToRGBA<S, true>(src + i * sb), dst + i * db);
    FromRGBA<D>(ToRGBA<S>(src + (n - 1) * sb), dst + (n - 1) * db);
}

using TConvertRow = void (*)(const uint8_t*, uint8_t*, int);

TConvertRow ConvertRowFor(int src_format, int dst_format) {
    return ForFormat(src_format, [&](auto s) {
        return ForFormat(dst_format, [&](auto d) { return TConvertRow(ConvertRow<s, d>); });
    });
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

int TPixmap::ReadPixel(int x, int y) const { return int(SwapRB(ToRGBA(PixelPtr(x, y), format))); }

void TPixmap::WritePixel(int x, int y, int argb) { FromRGBA(SwapRB(uint32_t(argb)), PixelPtr(x, y), format); }

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
    FromRGBA(SwapRB(uint32_t(argb)), one, format);
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

namespace {

// MaskPixmap's first step on a row of words: pixels of colour key (no alpha
// bits) turn to 0, the others opaque. Whether any did.
bool MarkMasked(uint32_t* row, int n, uint32_t key) {
    uint32_t any = 0;
    for (int x = 0; x < n; ++x) {
        const uint32_t rgb = row[x] & 0xFFFFFFu, hit = rgb == key;
        row[x] = hit ? 0 : rgb | kOpaque;
        any |= hit;
    }
    return any;
}

// x / n as x * kReciprocal[n] >> 16, for sums x of up to eight bytes.
constexpr uint32_t kReciprocal[9] = {0, 65536, 32768, 21846, 16384, 13108, 10923, 9363, 8192};
constexpr bool ReciprocalsExact() {
    for (uint32_t n = 1; n <= 8; ++n)
        for (uint32_t x = 0; x <= 8 * 255; ++x)
            if ((x * kReciprocal[n] >> 16) != x / n) return false;
    return true;
}
static_assert(ReciprocalsExact());

// Its second: each masked pixel (alpha 0) takes the average colour of the
// unmasked ones (alpha 255) around it in its row and the rows above and
// below (all 0 past the edges); those with none stay 0. Scratch, zeroed:
// column has n + 2 words, edge n bytes rounded up to 8; neither is written
// past the middle n.
void BleedMasked(uint32_t* row, const uint32_t* above, const uint32_t* below, int n, uint32_t* column,
                 uint8_t* edge) {
    // Two passes the compiler vectorises: column x - 1's words or'd, then 1
    // where pixel x is masked and has an unmasked neighbour (alpha bit 31).
    for (int x = 0; x < n; ++x) column[x + 1] = above[x] | row[x] | below[x];
    for (int x = 0; x < n; ++x) edge[x] = uint8_t(((column[x] | column[x + 1] | column[x + 2]) & ~row[x]) >> 31);
    // Eight pixels at a time: mostly none of them needs anything.
    for (int x8 = 0; x8 < n; x8 += 8) {
        uint64_t bits;
        std::memcpy(&bits, edge + x8, 8);
        for (; bits; bits &= bits - 1) {
            const int x = x8 + std::countr_zero(bits) / 8;
            const int lo = std::max(x - 1, 0), hi = std::min(x + 1, n - 1);
            // Red and blue, and green and alpha, of the unmasked pixels summed in
            // 16-bit lanes: 8 * 255 fits, and the alpha sum counts them.
            uint32_t rb = 0, ga = 0;
            for (const uint32_t* line : {above, static_cast<const uint32_t*>(row), below})
                for (int i = lo; i <= hi; ++i) {
                    const uint32_t e = line[i] & (0 - (line[i] >> 31));
                    rb += e & 0xFF00FFu, ga += e >> 8 & 0xFF00FFu;
                }
            const uint32_t inverse = kReciprocal[(ga >> 16) / 255];
            row[x] = ((rb & 0xFFFF) * inverse >> 16) | ((ga & 0xFFFF) * inverse >> 16) << 8 |
                     ((rb >> 16) * inverse >> 16) << 16;
        }
    }
}

}  // namespace

TPixmapPtr MaskPixmap(const TPixmapPtr& src, int red, int green, int blue) {
    if (!src) return nullptr;
    const int w = src->width, h = src->height;
    // A colour out of range matches no pixel: ~0 is no word without alpha.
    const uint32_t key = (red | green | blue) & ~0xFF ? ~0u : uint32_t(red | green << 8 | blue << 16);
    auto out = TPixmap::Create(w, h, PIXFMT_RGBA8888, 4);  // rows of w words, 16-byte aligned
    if (!ValidFormat(src->format)) out->ClearPixels(0);  // read as black, as a conversion leaves them
    auto row = [&](int y) { return reinterpret_cast<uint32_t*>(out->PixelPtr(0, y)); };
    const std::vector<uint32_t> none(size_t(w), 0);  // all masked: the rows past the top and bottom
    auto line = [&](int y) { return y >= 0 && y < h ? row(y) : none.data(); };
    std::vector<uint32_t> column(size_t(w) + 2);
    std::vector<uint8_t> edge((size_t(w) + 7) / 8 * 8);
    std::vector<char> masked(size_t(h), 0);
    // A row is bled once the row below it is marked, while both are still in cache.
    for (int y = 0; y <= h; ++y) {
        if (y < h) {
            ConvertPixels(src->PixelPtr(0, y), src->format, out->PixelPtr(0, y), PIXFMT_RGBA8888, w);
            masked[y] = MarkMasked(row(y), w, key);
        }
        if (y > 0 && masked[y - 1]) BleedMasked(row(y - 1), line(y - 2), line(y), w, column.data(), edge.data());
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
