// Images: sets of equally sized frames, each kept as a master pixmap in
// memory and as a drawable frame the 2D driver makes from it on first draw.
// The drawable frame is a cache, rebuilt when the pixmap changes or a new
// graphics context has been opened.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kelvora/io/stream.h"
#include "kelvora/render/image_frame.h"
#include "kelvora/render/pixmap.h"

namespace kelvora {

constexpr int IMAGE_MASKED = 1;     // the mask colour turns transparent in pixmaps without alpha
constexpr int IMAGE_FILTERED = 2;   // linear texture filtering
constexpr int IMAGE_MIPMAPPED = 4;  // a full mipmap chain
constexpr int IMAGE_DYNAMIC = 8;    // written after creation
// A hint, not a pixel setting: the frame may also share a texture with other
// small images (the glyphs of a font), so that runs of them draw in one go.
// Drivers without such sharing ignore it.
constexpr int IMAGE_SHAREABLE = 16;

class TImage;
using TImagePtr = std::shared_ptr<TImage>;

// What an image is loaded from: a pixmap used as it is, or anything
// LoadPixmap opens (a file name, "incbin::name", a stream).
struct TImageSource {
    TImageSource(TPixmapPtr p) : pixmap(std::move(p)) {}
    TImageSource(const TUrl& u) : url(u) {}
    TImageSource(const char* s) : url(s) {}
    TImageSource(std::string s) : url(std::move(s)) {}
    TImageSource(TStreamPtr s) : url(std::move(s)) {}
    TPixmapPtr pixmap;
    TUrl url;
};

class TImage {
public:
    int width = 0, height = 0;
    int flags = 0;
    int mask_r = 0, mask_g = 0, mask_b = 0;
    float handle_x = 0.0f, handle_y = 0.0f;
    std::vector<TPixmapPtr> pixmaps;      // null until set or locked
    std::vector<TImageFramePtr> frames;   // null until built
    std::vector<int> seqs;                // GraphicsSeq of each built frame; 0: rebuild

    // The drawable frame, rebuilt from the pixmap when stale; null when the
    // driver makes none (or no 2D graphics is current).
    TImageFramePtr Frame(int index);
    // The master pixmap (a new RGBA one when none yet). Writing drops the
    // drawable frame so the next draw rebuilds it.
    TPixmapPtr Lock(int index, int read, int write);
    // Masks a pixmap without alpha when the image is IMAGE_MASKED.
    void SetPixmap(int index, const TPixmapPtr& pixmap);

    static TImagePtr Create(int width, int height, int frames, int flags, int mask_r, int mask_g, int mask_b);
    // Null when nothing loads.
    static TImagePtr Load(const TImageSource& source, int flags, int mask_r, int mask_g, int mask_b);
    // Cells numbered left to right, then top to bottom; null when the sheet
    // holds fewer than first + count cells.
    static TImagePtr LoadAnim(const TImageSource& source, int cell_width, int cell_height, int first, int count,
                              int flags, int mask_r, int mask_g, int mask_b);
};

void SetMaskColor(int red, int green, int blue);
void GetMaskColor(int& red, int& green, int& blue);
void SetAutoMidHandle(int enable);
// -1 leaves the flags unchanged.
void SetAutoImageFlags(int flags);
int GetAutoImageFlags();

// <windows.h> makes LoadImage a macro for LoadImageA or LoadImageW: the declaration is
// kept from it and both of those names lead here too, so a call reaches
// the engine whichever header came first.
#pragma push_macro("LoadImage")
#undef LoadImage
// flags -1: the automatic flags.
TImagePtr LoadImage(const TImageSource& source, int flags = -1);
#ifdef _WIN32
inline TImagePtr LoadImageA(const TImageSource& source, int flags = -1) { return LoadImage(source, flags); }
inline TImagePtr LoadImageW(const TImageSource& source, int flags = -1) { return LoadImage(source, flags); }
#endif
#pragma pop_macro("LoadImage")

TImagePtr LoadAnimImage(const TImageSource& source, int cell_width, int cell_height, int first, int count,
                        int flags = -1);
// Always IMAGE_DYNAMIC; pixels undefined until written.
TImagePtr CreateImage(int width, int height, int frames = 1, int flags = -1);

void SetImageHandle(const TImagePtr& image, float x, float y);
void CenterImageHandle(const TImagePtr& image);
int ImageWidth(const TImagePtr& image);
int ImageHeight(const TImagePtr& image);

// The image's own handle lands on (x, y); the render state's rotation, scale,
// colour, alpha, blend and origin apply.
void DrawImage(const TImagePtr& image, float x, float y, int frame = 0);
void DrawImageRect(const TImagePtr& image, float x, float y, float width, float height, int frame = 0);
// Fills the viewport with copies of the frame, unrotated and unscaled.
void TileImage(const TImagePtr& image, float x = 0.0f, float y = 0.0f, int frame = 0);

TPixmapPtr LockImage(const TImagePtr& image, int frame = 0, int read = 1, int write = 1);
void UnlockImage(const TImagePtr& image, int frame = 0);
// Copies the screen rectangle at (x, y) into the frame, masked when the
// image is IMAGE_MASKED.
void GrabImage(const TImagePtr& image, int x, int y, int frame = 0);

}  // namespace kelvora
