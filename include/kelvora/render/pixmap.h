// Pixmaps: rectangles of pixels in memory in one of six byte layouts. Images
// keep their master pixels in them, fonts deliver glyphs in them, the 2D
// driver uploads them as textures and collisions sample them.
#pragma once

#include <cstdint>
#include <memory>

namespace kelvora {

enum : int {
    PIXFMT_I8 = 1,
    PIXFMT_A8 = 2,
    PIXFMT_BGR888 = 3,
    PIXFMT_RGB888 = 4,
    PIXFMT_BGRA8888 = 5,
    PIXFMT_RGBA8888 = 6,
};

// Bytes per pixel of a format; 0 for code 0 and unknown codes.
int BytesPerPixel(int format);
// Alpha bits of a format (8 for A8, BGRA8888 and RGBA8888, else 0).
int AlphaBits(int format);

class TPixmap;
using TPixmapPtr = std::shared_ptr<TPixmap>;

class TPixmap : public std::enable_shared_from_this<TPixmap> {
public:
    uint8_t* pixels = nullptr;
    int width = 0, height = 0;
    int pitch = 0;
    int format = 0;
    int capacity = -1;                 // bytes owned; -1 when borrowed
    std::shared_ptr<const void> _source;  // keeps the owner of borrowed memory alive

    TPixmap() = default;
    TPixmap(const TPixmap&) = delete;
    TPixmap& operator=(const TPixmap&) = delete;
    ~TPixmap();

    // Uncleared memory, 16-byte aligned, rows padded to a multiple of align.
    // Raises TRuntimeException for a negative size, an unknown format or a
    // size that does not fit in memory.
    static TPixmapPtr Create(int width, int height, int format, int align = 4);
    static TPixmapPtr CreateStatic(void* pixels, int width, int height, int pitch, int format);

    // No bounds checks: callers keep every pixel and rectangle inside.
    uint8_t* PixelPtr(int x, int y) const;
    TPixmapPtr Window(int x, int y, int width, int height);
    TPixmapPtr Copy() const;
    void Paste(const TPixmap& source, int x, int y);
    TPixmapPtr Convert(int format) const;
    // Pixel values are 0xAARRGGBB.
    int ReadPixel(int x, int y) const;
    void WritePixel(int x, int y, int argb);
    void ClearPixels(int argb);
};

// Converts n pixels from one format to another (through RGBA when neither is RGBA).
void ConvertPixels(const uint8_t* src, int src_format, uint8_t* dst, int dst_format, int n);

TPixmapPtr CreatePixmap(int width, int height, int format, int align = 4);
TPixmapPtr CreateStaticPixmap(void* pixels, int width, int height, int pitch, int format);
TPixmapPtr CopyPixmap(const TPixmapPtr& pixmap);
TPixmapPtr ConvertPixmap(const TPixmapPtr& pixmap, int format);
TPixmapPtr PixmapWindow(const TPixmapPtr& pixmap, int x, int y, int width, int height);
uint8_t* PixmapPixelPtr(const TPixmapPtr& pixmap, int x = 0, int y = 0);
int PixmapWidth(const TPixmapPtr& pixmap);
int PixmapHeight(const TPixmapPtr& pixmap);
int PixmapPitch(const TPixmapPtr& pixmap);
int PixmapFormat(const TPixmapPtr& pixmap);
int ReadPixel(const TPixmapPtr& pixmap, int x, int y);
void WritePixel(const TPixmapPtr& pixmap, int x, int y, int argb);
void ClearPixels(const TPixmapPtr& pixmap, int argb);

// A new RGBA pixmap: pixels of the mask colour turn transparent and take the
// average colour of their non-mask neighbours, so filtered edges do not darken.
TPixmapPtr MaskPixmap(const TPixmapPtr& pixmap, int red, int green, int blue);
TPixmapPtr XFlipPixmap(const TPixmapPtr& pixmap);
TPixmapPtr YFlipPixmap(const TPixmapPtr& pixmap);
// The same, turning the rows over where they lie.
void YFlipPixmapInPlace(TPixmap& pixmap);
// Bilinear resampling into the source's format.
TPixmapPtr ResizePixmap(const TPixmapPtr& pixmap, int width, int height);

}  // namespace kelvora
