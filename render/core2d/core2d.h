// The 2D core both OpenGL drivers share: the render state cache, the vertex
// batch and when it goes out, the geometry of every primitive, clipping,
// grabs, pixmaps, textures and the glyph atlas, written once. A driver is a
// backend (render/core2d/backend.h) that turns what the core sends into its
// own OpenGL calls; it wraps the OpenGL graphics driver, asking it for
// contexts of its kind.
//
// Batching: quads, lines and points wait and go out together when a state,
// texture or primitive change, a read-back or Flip needs them; the pixels
// are those of the same calls sent one at a time (SetBatching(false)).
// Lines wider than a pixel follow OpenGL's aliased wide-line rule, the
// width rounded to a whole number of pixels: a backend that draws OpenGL's
// wide lines itself sends them as lines, others get the quads that cover
// the same pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "render/core2d/atlas.h"
#include "render/core2d/backend.h"
#include "render/gl/gl_graphics.h"
#include "render/rast2d_driver.h"

namespace kelvora {

class TCoreImageFrame;

// What the core caches and batches. Valid for the current context only:
// ResetGLContext forgets it.
struct TCore2DState {
    int width = 0, height = 0;
    bool ready = false;  // the backend runs in the current context

    int blend = 0;          // 0: not known
    unsigned texture = 0;   // texture of the textured primitives waiting (or next)
    unsigned bound = 0;     // texture bound in the context; 0: not known
    bool color_known = false;  // the backend's current colour is color
    uint8_t color[4] = {255, 255, 255, 255};  // red, green, blue, alpha as sent
    uint8_t cls_color[3] = {0, 0, 0};
    float ix = 1.0f, iy = 0.0f, jx = 0.0f, jy = 1.0f;
    float line_width = 1.0f;
    bool backend_lines = true;  // the backend draws lines of line_width itself

    bool batching = true;
    TCoreKind kind = TCoreKind::Quads;
    bool textured = false;
    std::vector<TCoreVertex> batch;
    unsigned long batches_sent = 0;  // draws sent so far (tests count them)

    // Points that wait beside a batch of lines and go out right after it
    // (Retro Line FX alternates the two a row at a time). Moving a point
    // after the lines queued behind it changes no pixel while none of those
    // lines can reach the point's pixel; held_box bounds the pixel centres
    // the held points can cover (x0, y0, x1, y1).
    std::vector<TCoreVertex> held_points;
    float held_box[4] = {0, 0, 0, 0};

    // A software rasteriser holds everything sent, with a copy of the whole
    // pipeline state for every state change (about 7 KB each in llvmpipe),
    // until it has drawn it. A flush does not bound that: its threads queue
    // what each flush hands them behind what they are still drawing, and a
    // menu frame changes state hundreds of times (the queue held over 9 MB).
    // Waiting for them after so many draws keeps it small. 0: never.
    int draws_per_finish = 0;
    int draws_since_finish = 0;
    unsigned long finishes = 0;  // waits so far (tests count them)
};

class TCore2DDriver : public TRast2DDriver {
public:
    TCore2DDriver(TCore2DBackend& backend, TGLProfile profile);

    std::vector<TGraphicsMode> GraphicsModes() override;
    TGraphicsPtr AttachGraphics(void* widget, int flags) override;
    TGraphicsPtr CreateGraphics(int width, int height, int depth, int hertz, int flags) override;
    void SetGraphics(const TGraphicsPtr& graphics) override;
    void Flip(int sync) override;
    void FlipCleared(int sync) override;

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
    TPixmapPtr GrabPixmap(int x, int y, int width, int height) override;

    // Sets up the current context for 2D drawing at the graphics' size and
    // forgets the cached state of the previous one. False when the context
    // cannot run the driver (LastGraphicsError says why).
    bool ResetGLContext(const TGraphicsPtr& graphics);

    // On by default; off, each primitive goes out as it is drawn.
    void SetBatching(bool on);
    bool Batching() const;
    // Sends the waiting primitives, if any.
    void FlushBatch();
    TGLProfile Profile() const { return _profile; }
    const TCore2DState& State() const { return _state; }
    unsigned long BatchesSent() const { return _state.batches_sent; }
    unsigned long Finishes() const { return _state.finishes; }

    // For frames and atlas pages.
    TCore2DBackend& Backend() { return _backend; }
    TCoreAtlas& Atlas() { return _atlas; }
    // A quad at screen corners in the current colour (or rgba); uv null: untextured.
    void Quad(const float xy[8], const float uv[8], unsigned texture, const uint8_t* rgba = nullptr);
    // Deletes a texture of the shared context made in graphics sequence seq,
    // from wherever it is still bound as well.
    void DeleteSharedTexture(unsigned name, int seq);
    // Rounds both sizes up to powers of two and halves them while the
    // backend refuses an RGBA texture of that size. Raises "Unable to
    // calculate tex size" when even 1x1 is refused.
    void AdjustTexSize(int& width, int& height);

private:
    // Flip's work; cleared: the colour the whole picture holds, or null.
    void Present(int sync, const uint8_t* cleared);
    TCoreVertex* Reserve(TCoreKind kind, bool textured, size_t n, const uint8_t* rgba);
    void Send(TCoreKind kind, bool textured, const TCoreVertex* v, size_t n, bool immediate);
    void FlushImmediate();
    void AfterBatch();
    void SendColor(const uint8_t rgba[4]);
    void ForgetTexture(unsigned name);
    bool MayTouchHeldPoints(float x0, float y0, float x1, float y1) const;
    void Line(float x0, float y0, float x1, float y1);
    void Point(float x, float y);
    void Polygon(const float* xy, size_t n);
    void Transform(float x, float y, float tx, float ty, float* out) const;
    void DrawPixmapTile(const TPixmap& tile, int x, int y);
    template <class F>
    void WithSolidBlend(F f);

    TCore2DBackend& _backend;
    TGLProfile _profile;
    TCore2DState _state;
    TCoreAtlas _atlas;
};

// Segments DrawOval uses for these half-axes: their sum, at least 12,
// rounded down to a multiple of 4.
int OvalSegments(float x_radius, float y_radius);

// The pixels across an aliased line of that width: rounded, at least 1.
int WideLinePixels(float width);
// Smallest power of two >= n, from 1.
int Pow2Size(int n);

}  // namespace kelvora
