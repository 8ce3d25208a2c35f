// A 2D driver that logs every call with its arguments, in order, so tests
// can check what the engine and the game asked for without a display. Its
// graphics are plain records of the requested size.
//
// It also keeps a software picture of what it can reproduce exactly as the
// OpenGL driver draws it: clearing, pixmaps copied, and image frames drawn
// untransformed at whole-pixel positions, unscaled, white, opaque, unfiltered,
// with BLEND_SOLID or BLEND_MASK (a sprite sheet drawn so that its sprites
// can be grabbed). Grabs read that picture, so masks and collisions are the
// real ones. Any other drawing leaves the picture unknown until the next
// clear of the whole screen; a grab of an unknown picture is refused loudly
// (a line on stderr, null), never guessed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/rast2d_driver.h"

namespace kelvora {

// One logged call. Numbers are kept as doubles in argument order (ints are
// exact); pixmap and frame name the objects passed or made, when any.
struct TRast2DCall {
    std::string name;
    std::vector<double> args;
    TPixmapPtr pixmap;
    const TImageFrame* frame = nullptr;

    double Arg(size_t i) const { return i < args.size() ? args[i] : 0.0; }
    // "name a0 a1 ..." with numbers in their shortest form.
    std::string ToString() const;
};

class TRecordingRast2DDriver : public TRast2DDriver {
public:
    std::vector<TGraphicsMode> GraphicsModes() override;
    TGraphicsPtr AttachGraphics(void* widget, int flags) override;
    TGraphicsPtr CreateGraphics(int width, int height, int depth, int hertz, int flags) override;
    void SetGraphics(const TGraphicsPtr& graphics) override;
    void Flip(int sync) override;

    // Frames log "DrawFrame" with x0, y0, x1, y1, tx, ty, and the frame.
    TImageFramePtr CreateFrameFromPixmap(const TPixmapPtr& pixmap, int flags) override;
    void SetBlend(int blend) override;
    void SetAlpha(float alpha) override;
    void SetColor(int red, int green, int blue) override;
    void SetClsColor(int red, int green, int blue) override;
    void SetViewport(int x, int y, int width, int height) override;
    void SetTransform(float ix, float iy, float jx, float jy) override;
    void SetLineWidth(float width) override;
    void Cls() override;
    void Plot(float x, float y) override;
    void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawPoly(const std::vector<float>& xy, float handle_x, float handle_y,
                  float origin_x, float origin_y) override;
    void DrawPixmap(const TPixmapPtr& pixmap, int x, int y) override;
    // Logs the call and returns the rectangle of the picture (or the pixels
    // set by SetGrabPixels); null when the picture is unknown.
    TPixmapPtr GrabPixmap(int x, int y, int width, int height) override;

    // The log.
    const std::vector<TRast2DCall>& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    // Calls with that name, in order.
    std::vector<TRast2DCall> CallsNamed(const std::string& name) const;
    int Count(const std::string& name) const;
    // The last call with that name; null when there was none.
    const TRast2DCall* Last(const std::string& name) const;
    // Names only, in order ("SetBlend", "DrawFrame" ...).
    std::vector<std::string> Names() const;
    // One line per call (TRast2DCall::ToString).
    std::string ToString() const;

    // From now on grabs return pixmaps filled with this 0xAARRGGBB value
    // instead of the picture: for tests that say what the screen holds.
    void SetGrabPixels(unsigned int argb) {
        grab_fill_ = true;
        grab_argb_ = argb;
    }
    // Grabs read the picture again.
    void GrabPicture() { grab_fill_ = false; }
    // Whether the picture holds only drawing reproduced exactly.
    bool PictureKnown() const { return known_; }
    // Grabs refused because the picture was unknown.
    int RefusedGrabs() const { return refused_grabs_; }

    void Log(std::string name, std::vector<double> args, TPixmapPtr pixmap = nullptr,
             const TImageFrame* frame = nullptr);
    // A frame's draw, for the picture: texels is the frame's RGBA copy made
    // when it was created (as a texture would be), flags its image flags.
    void DrawTexels(const TPixmapPtr& texels, int flags, float x0, float y0, float x1, float y1, float tx,
                    float ty);

private:
    // One reproducible drawing since the last clear of the whole screen,
    // clipped to the viewport of its time.
    struct TPictureOp {
        enum Kind { FILL, COPY, MASKED_COPY } kind = FILL;
        int x = 0, y = 0;                      // where the pixels go (FILL: unused)
        int cx0 = 0, cy0 = 0, cx1 = 0, cy1 = 0;  // clip rectangle, end exclusive
        uint32_t rgba = 0;  // FILL: the colour as bytes r, g, b, a in memory order
        TPixmapPtr pixels;  // COPY, MASKED_COPY: PIXFMT_RGBA8888
    };
    // An op of that kind at (x, y), clipped to the viewport.
    TPictureOp Op(TPictureOp::Kind kind, int x, int y) const;
    void Forget();                 // the picture is unknown from here
    void Record(TPictureOp op);
    void Paint();  // makes picture_ current
    void Apply(const TPictureOp& op);

    std::vector<TRast2DCall> calls_;
    bool grab_fill_ = false;
    unsigned int grab_argb_ = 0;

    // The state the picture depends on, as last set.
    int width_ = 0, height_ = 0;
    int blend_ = 0;
    uint8_t color_[4] = {255, 255, 255, 255};
    uint8_t cls_[4] = {0, 0, 0, 255};
    int view_x_ = 0, view_y_ = 0, view_w_ = 0, view_h_ = 0;
    float ix_ = 1, iy_ = 0, jx_ = 0, jy_ = 1;

    // The picture: cleared to clear_ and then ops_, made into pixels only
    // when a grab needs them (picture_ is then current and ops apply at once).
    bool known_ = false;
    uint8_t clear_[4] = {0, 0, 0, 255};
    std::vector<TPictureOp> ops_;
    TPixmapPtr picture_;
    bool painted_ = false;
    int refused_grabs_ = 0;
};

}  // namespace kelvora
