#include "render/png_loader.h"

#include <png.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace kelvora {

namespace {

// Larger pictures are refused rather than risk exhausting memory on a
// header that lies about its size.
constexpr png_uint_32 kMaxSide = 32768;
constexpr uint64_t kMaxPixels = uint64_t(1) << 26;

// Everything that must outlive a longjmp lives here, outside the frame that
// called setjmp.
struct Decoder {
    TStream* stream = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    TPixmapPtr pixmap;
    std::vector<uint8_t> scratch;
    std::vector<png_bytep> rows;

    ~Decoder() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

// Reads exactly count bytes or reports an error to libpng. Stream errors
// are caught here: they must not unwind through libpng's C frames.
void OnRead(png_structp png, png_bytep data, size_t count) {
    auto* d = static_cast<Decoder*>(png_get_io_ptr(png));
    bool ok = true;
    try {
        size_t got = 0;
        while (got < count) {
            const size_t want = std::min<size_t>(count - got, 1 << 30);
            const int n = d->stream->Read(data + got, int(want));
            if (n <= 0) break;
            got += size_t(n);
        }
        ok = got == count;
    } catch (...) {
        ok = false;
    }
    if (!ok) png_error(png, "truncated");
}

// Only plain data and the Decoder live in this frame, so a longjmp out of
// libpng skips no destructors.
bool Run(Decoder& d) {
    if (setjmp(png_jmpbuf(d.png))) return false;

    png_set_read_fn(d.png, &d, OnRead);
    png_set_sig_bytes(d.png, 8);
    png_set_user_limits(d.png, kMaxSide, kMaxSide);
    png_read_info(d.png, d.info);
    if (uint64_t(png_get_image_width(d.png, d.info)) * png_get_image_height(d.png, d.info) > kMaxPixels) return false;

    png_set_strip_16(d.png);
    png_set_expand(d.png);
    png_set_interlace_handling(d.png);
    png_read_update_info(d.png, d.info);

    const int width = int(png_get_image_width(d.png, d.info));
    const int height = int(png_get_image_height(d.png, d.info));
    const int type = png_get_color_type(d.png, d.info);
    if (png_get_bit_depth(d.png, d.info) != 8) return false;
    int format = 0, channels = 0;
    switch (type) {
    case PNG_COLOR_TYPE_GRAY: format = PIXFMT_I8, channels = 1; break;
    case PNG_COLOR_TYPE_RGB: format = PIXFMT_RGB888, channels = 3; break;
    case PNG_COLOR_TYPE_RGB_ALPHA: format = PIXFMT_RGBA8888, channels = 4; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: format = PIXFMT_RGBA8888, channels = 2; break;
    default: return false;
    }
    if (png_get_rowbytes(d.png, d.info) != size_t(width) * channels) return false;

    d.pixmap = TPixmap::Create(width, height, format, 4);
    d.rows.resize(size_t(height));
    if (type == PNG_COLOR_TYPE_GRAY_ALPHA) {
        // Decoded beside the pixmap, then spread to grey, grey, grey, alpha.
        d.scratch.resize(size_t(width) * 2 * height);
        for (int y = 0; y < height; ++y) d.rows[y] = d.scratch.data() + size_t(y) * width * 2;
    } else {
        for (int y = 0; y < height; ++y) d.rows[y] = d.pixmap->PixelPtr(0, y);
    }
    png_read_image(d.png, d.rows.data());
    png_read_end(d.png, nullptr);

    if (type == PNG_COLOR_TYPE_GRAY_ALPHA) {
        for (int y = 0; y < height; ++y) {
            const uint8_t* s = d.rows[y];
            uint8_t* p = d.pixmap->PixelPtr(0, y);
            for (int x = 0; x < width; ++x, s += 2, p += 4) p[0] = p[1] = p[2] = s[0], p[3] = s[1];
        }
    }
    return true;
}

bool ReadSignature(TStream& stream) {
    uint8_t sig[8];
    int got = 0;
    while (got < 8) {
        const int n = stream.Read(sig + got, 8 - got);
        if (n <= 0) return false;
        got += n;
    }
    return png_sig_cmp(sig, 0, 8) == 0;
}

}  // namespace

TPixmapPtr DecodePNG(TStream& stream) {
    try {
        if (!ReadSignature(stream)) return nullptr;
    } catch (const TStreamException&) {
        return nullptr;
    }
    Decoder d;
    d.stream = &stream;
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!d.png) return nullptr;
    d.info = png_create_info_struct(d.png);
    if (!d.info) return nullptr;
    try {
        if (!Run(d)) return nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return d.pixmap;
}

TPixmapPtr TPixmapLoaderPNG::LoadPixmap(const TStreamPtr& stream) {
    return stream ? DecodePNG(*stream) : nullptr;
}

TPixmapLoaderPNG& PNGPixmapLoader() {
    static TPixmapLoaderPNG loader;
    return loader;
}

TPixmapPtr LoadPixmapPNG(const TUrl& source) {
    TStreamPtr stream = OpenStream(source, 1, 0);
    if (!stream) return nullptr;
    TPixmapPtr p;
    try {
        p = DecodePNG(*stream);
    } catch (...) {
        stream->Close();
        throw;
    }
    stream->Close();
    return p;
}

}  // namespace kelvora
