/// @file
/// Images: sets of equally sized frames, each kept as a master pixmap in
/// memory and as a drawable frame the 2D driver makes from it on first draw.
/// The drawable frame is a cache, rebuilt when the pixmap changes or a new
/// graphics context has been opened.
///
/// Defaults to know: images load with IMAGE_MASKED | IMAGE_FILTERED and the
/// mask colour black, so black pixels of a picture without alpha (a PNG
/// without an alpha channel) are transparent. Pass flags (0 for none) or call
/// SetAutoImageFlags to change that. An image's handle, the point placed at
/// the drawing position, is its top-left corner unless SetAutoMidHandle(1)
/// was called.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kelvora/io/stream.h"
#include "kelvora/render/image_frame.h"
#include "kelvora/render/pixmap.h"

namespace kelvora {

/// @name Image flags
/// @{
constexpr int IMAGE_MASKED = 1;     ///< The mask colour turns transparent in pixmaps without alpha
constexpr int IMAGE_FILTERED = 2;   ///< Linear texture filtering (smooth when scaled or rotated)
constexpr int IMAGE_MIPMAPPED = 4;  ///< A full mipmap chain
constexpr int IMAGE_DYNAMIC = 8;    ///< Written after creation
/// A hint, not a pixel setting: the frame may also share a texture with other
/// small images (the glyphs of a font), so that runs of them draw in one go.
/// Drivers without such sharing ignore it.
constexpr int IMAGE_SHAREABLE = 16;
/// @}

class TImage;
/// An image, shared by whoever holds it. Its pixmaps and textures go with the
/// last holder; one held past Shutdown, or in a global, is released
/// harmlessly.
using TImagePtr = std::shared_ptr<TImage>;

/// What an image is loaded from: a pixmap used as it is, or anything
/// LoadPixmap opens (a file name, "incbin::name", a stream).
struct TImageSource {
    /// A pixmap in memory (not copied).
    TImageSource(TPixmapPtr p) : pixmap(std::move(p)) {}
    /// A URL for LoadPixmap.
    TImageSource(const TUrl& u) : url(u) {}
    /// A path or "protocol::path".
    TImageSource(const char* s) : url(s) {}
    /// A path or "protocol::path".
    TImageSource(std::string s) : url(std::move(s)) {}
    /// An open stream, read from where it is.
    TImageSource(TStreamPtr s) : url(std::move(s)) {}
    TPixmapPtr pixmap;  ///< The pixmap, or null to load url
    TUrl url;           ///< What to load when pixmap is null
};

/// An image: frames of width x height pixels, the flags they are drawn with,
/// and the handle.
class TImage {
public:
    /// @{
    int width = 0, height = 0;  ///< Frame size in pixels
    /// @}
    int flags = 0;  ///< IMAGE_ bits
    /// @{
    int mask_r = 0, mask_g = 0, mask_b = 0;  ///< The mask colour
    /// @}
    /// @{
    float handle_x = 0.0f, handle_y = 0.0f;  ///< The handle, from the top-left corner
    /// @}
    std::vector<TPixmapPtr> pixmaps;      ///< Master pixels per frame; null until set or locked
    std::vector<TImageFramePtr> frames;   ///< Drawable frames; null until built
    std::vector<int> seqs;                ///< GraphicsSeq of each built frame; 0: rebuild

    /// The drawable frame, rebuilt from the pixmap when stale; null when the
    /// driver makes none (or no 2D graphics is current).
    TImageFramePtr Frame(int index);
    /// The master pixmap (a new RGBA one when none yet). Writing drops the
    /// drawable frame so the next draw rebuilds it.
    TPixmapPtr Lock(int index, int read, int write);
    /// Sets frame index's pixels, masked first when the image is IMAGE_MASKED
    /// and the pixmap has no alpha.
    void SetPixmap(int index, const TPixmapPtr& pixmap);

    /// An image of frames empty frames, with these flags and mask colour.
    static TImagePtr Create(int width, int height, int frames, int flags, int mask_r, int mask_g, int mask_b);
    /// A one-frame image of the source's size. Null when nothing loads.
    static TImagePtr Load(const TImageSource& source, int flags, int mask_r, int mask_g, int mask_b);
    /// Frames cut from a sheet of cells, numbered left to right, then top to
    /// bottom; null when the sheet holds fewer than first + count cells.
    static TImagePtr LoadAnim(const TImageSource& source, int cell_width, int cell_height, int first, int count,
                              int flags, int mask_r, int mask_g, int mask_b);
};

/// The colour IMAGE_MASKED turns transparent in images loaded from now on;
/// black (0, 0, 0) by default.
void SetMaskColor(int red, int green, int blue);
/// The mask colour.
void GetMaskColor(int& red, int& green, int& blue);
/// 1: images loaded or made from now on get their handle in their middle;
/// 0 (the default): at the top-left corner.
void SetAutoMidHandle(int enable);
/// The flags images get when none are passed; IMAGE_MASKED | IMAGE_FILTERED
/// by default. -1 leaves the flags unchanged.
void SetAutoImageFlags(int flags);
/// The flags images get when none are passed.
int GetAutoImageFlags();

// <windows.h> makes LoadImage a macro for LoadImageA or LoadImageW: the declaration is
// kept from it and both of those names lead here too, so a call reaches
// the engine whichever header came first.
#pragma push_macro("LoadImage")
#undef LoadImage
/// Loads a PNG from a path, "incbin::name", a stream or a pixmap. flags -1:
/// the automatic flags (GetAutoImageFlags). Null when nothing loads.
TImagePtr LoadImage(const TImageSource& source, int flags = -1);
#ifdef _WIN32
inline TImagePtr LoadImageA(const TImageSource& source, int flags = -1) { return LoadImage(source, flags); }
inline TImagePtr LoadImageW(const TImageSource& source, int flags = -1) { return LoadImage(source, flags); }
#endif
#pragma pop_macro("LoadImage")

/// Starts loading the picture at path (a file path or "incbin::name") on a
/// background thread, masked as LoadImage with these flags and the mask
/// colour now set would mask it; the next LoadImage of that path with the
/// same flags and mask colour takes it, waiting for it if need be. The
/// image is the same as without: this only moves the work, for a start-up
/// that decodes its pictures while its window opens.
void PreloadImage(const std::string& path, int flags = -1);

/// An image whose frames are count cells of cell_width x cell_height from a
/// sheet, starting at cell first (see TImage::LoadAnim). Null when nothing
/// loads or the sheet is too small.
TImagePtr LoadAnimImage(const TImageSource& source, int cell_width, int cell_height, int first, int count,
                        int flags = -1);
/// An image to draw into with GrabImage or LockImage. Always IMAGE_DYNAMIC;
/// pixels undefined until written.
TImagePtr CreateImage(int width, int height, int frames = 1, int flags = -1);

/// Puts the image's handle at (x, y) pixels from its top-left corner.
void SetImageHandle(const TImagePtr& image, float x, float y);
/// Puts the image's handle in its middle.
void CenterImageHandle(const TImagePtr& image);
/// Frame width; 0 for null.
int ImageWidth(const TImagePtr& image);
/// Frame height; 0 for null.
int ImageHeight(const TImagePtr& image);

/// Draws a frame so that the image's handle lands on (x, y); the render
/// state's rotation, scale, colour, alpha, blend and origin apply. A null
/// image or frame out of range draws nothing.
void DrawImage(const TImagePtr& image, float x, float y, int frame = 0);
/// The same, the frame stretched to width x height.
void DrawImageRect(const TImagePtr& image, float x, float y, float width, float height, int frame = 0);
/// Fills the viewport with copies of the frame, unrotated and unscaled.
void TileImage(const TImagePtr& image, float x = 0.0f, float y = 0.0f, int frame = 0);

/// The frame's master pixmap, to read or change its pixels (TImage::Lock);
/// null for a null image or frame out of range.
TPixmapPtr LockImage(const TImagePtr& image, int frame = 0, int read = 1, int write = 1);
/// Ends a LockImage; nothing is needed, the next draw sees the change.
void UnlockImage(const TImagePtr& image, int frame = 0);
/// Copies the screen rectangle at (x, y) into the frame, masked when the
/// image is IMAGE_MASKED.
void GrabImage(const TImagePtr& image, int x, int y, int frame = 0);

}  // namespace kelvora
