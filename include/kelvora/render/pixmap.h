/// @file
/// Pixmaps: rectangles of pixels in memory in one of six byte layouts. Images
/// keep their master pixels in them, fonts deliver glyphs in them, the 2D
/// driver uploads them as textures and collisions sample them.
///
/// Pixmaps are plain memory: no graphics needed, and a thread that holds one
/// alone may work on it.
#pragma once

#include <cstdint>
#include <memory>

namespace kelvora {

/// Pixel formats: the bytes of one pixel, in memory order.
enum : int {
    PIXFMT_I8 = 1,         ///< One byte of intensity (grey)
    PIXFMT_A8 = 2,         ///< One byte of alpha (coverage), white
    PIXFMT_BGR888 = 3,     ///< Blue, green, red
    PIXFMT_RGB888 = 4,     ///< Red, green, blue
    PIXFMT_BGRA8888 = 5,   ///< Blue, green, red, alpha
    PIXFMT_RGBA8888 = 6,   ///< Red, green, blue, alpha
};

/// Bytes per pixel of a format; 0 for code 0 and unknown codes.
int BytesPerPixel(int format);
/// Alpha bits of a format (8 for A8, BGRA8888 and RGBA8888, else 0).
int AlphaBits(int format);

class TPixmap;
/// A pixmap, shared by whoever holds it; its memory goes with the last holder.
using TPixmapPtr = std::shared_ptr<TPixmap>;

/// A rectangle of pixels. Rows are pitch bytes apart; pixel values read and
/// written as ints are 0xAARRGGBB whatever the format.
class TPixmap : public std::enable_shared_from_this<TPixmap> {
public:
    uint8_t* pixels = nullptr;   ///< The top-left pixel
    /// @{
    int width = 0, height = 0;   ///< Size in pixels
    /// @}
    int pitch = 0;               ///< Bytes from one row to the next
    int format = 0;              ///< A PIXFMT_ code
    int capacity = -1;           ///< Bytes owned; -1 when borrowed
    std::shared_ptr<const void> _source;  ///< Keeps the owner of borrowed memory alive

    /// An empty pixmap (use Create).
    TPixmap() = default;
    TPixmap(const TPixmap&) = delete;             ///< Not copied by accident: use Copy
    TPixmap& operator=(const TPixmap&) = delete;  ///< Not copied by accident: use Copy
    /// Frees the pixels it owns.
    ~TPixmap();

    /// Uncleared memory, 16-byte aligned, rows padded to a multiple of align.
    /// Raises TRuntimeException for a negative size, an unknown format or a
    /// size that does not fit in memory.
    static TPixmapPtr Create(int width, int height, int format, int align = 4);
    /// A pixmap over memory the caller owns (capacity -1), which must outlive
    /// it. Raises TRuntimeException for a negative size or an unknown format.
    static TPixmapPtr CreateStatic(void* pixels, int width, int height, int pitch, int format);

    /// The address of pixel (x, y). No bounds checks here or below: callers
    /// keep every pixel and rectangle inside.
    uint8_t* PixelPtr(int x, int y) const;
    /// A pixmap over a rectangle of this one's pixels (shared, not copied);
    /// it keeps this one alive.
    TPixmapPtr Window(int x, int y, int width, int height);
    /// A pixmap of its own with the same pixels.
    TPixmapPtr Copy() const;
    /// Copies source in at (x, y), converting its format.
    void Paste(const TPixmap& source, int x, int y);
    /// A copy in another format.
    TPixmapPtr Convert(int format) const;
    /// Pixel (x, y) as 0xAARRGGBB (alpha 255 for formats without it).
    int ReadPixel(int x, int y) const;
    /// Sets pixel (x, y) from 0xAARRGGBB.
    void WritePixel(int x, int y, int argb);
    /// Sets every pixel to 0xAARRGGBB.
    void ClearPixels(int argb);
};

/// Converts n pixels from one format to another (through RGBA when neither is RGBA).
void ConvertPixels(const uint8_t* src, int src_format, uint8_t* dst, int dst_format, int n);

/// @name Null-tolerant helpers
/// Each does what the TPixmap member of the same name does; for a null pixmap
/// it gives null or 0, or does nothing.
/// @{

/// TPixmap::Create.
TPixmapPtr CreatePixmap(int width, int height, int format, int align = 4);
/// TPixmap::CreateStatic.
TPixmapPtr CreateStaticPixmap(void* pixels, int width, int height, int pitch, int format);
/// TPixmap::Copy.
TPixmapPtr CopyPixmap(const TPixmapPtr& pixmap);
/// TPixmap::Convert.
TPixmapPtr ConvertPixmap(const TPixmapPtr& pixmap, int format);
/// TPixmap::Window.
TPixmapPtr PixmapWindow(const TPixmapPtr& pixmap, int x, int y, int width, int height);
/// TPixmap::PixelPtr.
uint8_t* PixmapPixelPtr(const TPixmapPtr& pixmap, int x = 0, int y = 0);
/// Width in pixels.
int PixmapWidth(const TPixmapPtr& pixmap);
/// Height in pixels.
int PixmapHeight(const TPixmapPtr& pixmap);
/// Bytes from one row to the next.
int PixmapPitch(const TPixmapPtr& pixmap);
/// The PIXFMT_ code.
int PixmapFormat(const TPixmapPtr& pixmap);
/// TPixmap::ReadPixel.
int ReadPixel(const TPixmapPtr& pixmap, int x, int y);
/// TPixmap::WritePixel.
void WritePixel(const TPixmapPtr& pixmap, int x, int y, int argb);
/// TPixmap::ClearPixels.
void ClearPixels(const TPixmapPtr& pixmap, int argb);
/// @}

/// A new RGBA pixmap: pixels of the mask colour turn transparent and take the
/// average colour of their non-mask neighbours, so filtered edges do not darken.
TPixmapPtr MaskPixmap(const TPixmapPtr& pixmap, int red, int green, int blue);
/// A copy turned left to right.
TPixmapPtr XFlipPixmap(const TPixmapPtr& pixmap);
/// A copy turned upside down.
TPixmapPtr YFlipPixmap(const TPixmapPtr& pixmap);
/// Turns the pixmap upside down where it lies.
void YFlipPixmapInPlace(TPixmap& pixmap);
/// Bilinear resampling into the source's format.
TPixmapPtr ResizePixmap(const TPixmapPtr& pixmap, int width, int height);

}  // namespace kelvora
