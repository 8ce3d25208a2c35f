// What the 2D core asks of a driver: a thin layer of OpenGL calls. The core
// batches, clips, pads and packs; a backend only submits vertices, sets a
// blend mode or scissor, clears, reads pixels and keeps textures. Every call
// but the textures' is for the current context.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvora {

class TPixmap;

// One vertex: position in pixels, texture coordinates, colour.
struct TCoreVertex {
    float x, y, u, v;
    uint8_t rgba[4];
};

// Quads: 4 corners each; Polygon: one convex polygon of all the vertices.
enum class TCoreKind { Quads, Lines, Points, Polygon };

class TCore2DBackend {
public:
    virtual ~TCore2DBackend() = default;

    // Draws the vertices, modulated by the bound texture when textured.
    // immediate: one primitive sent as the caller asked (not batching).
    virtual void Draw(TCoreKind kind, bool textured, const TCoreVertex* v, size_t n, bool immediate) = 0;
    virtual void BindTexture(unsigned name) = 0;
    // The current colour immediate drawing uses (where the backend has one).
    virtual void CurrentColor(const uint8_t rgba[4]) = 0;
    // BLEND_MASK ... BLEND_SHADE; anything else is solid.
    virtual void Blend(int blend) = 0;
    // The width lines are drawn at. True when the backend draws lines of
    // this width itself (as OpenGL's wide lines); false: the core sends
    // lines wider than a pixel as quads.
    virtual bool LineWidth(float width) = 0;
    // Window coordinates (bottom-up); off: the whole picture.
    virtual void Scissor(bool on, int x, int y, int width, int height) = 0;
    virtual void ClearColor(float red, float green, float blue) = 0;
    virtual void Clear() = 0;
    // RGBA rows, bottom-up, row_length pixels apart.
    virtual void ReadPixels(int x, int y, int width, int height, uint8_t* pixels, int row_length) = 0;
    // Copies an RGBA picture to the screen at whole pixels with the current
    // blend and no texture; false where the backend has no such copy (the
    // core then draws a texture).
    virtual bool DrawPixels(const TPixmap& rgba, int x, int y) = 0;
    virtual void Flush() = 0;
    // Returns once everything sent has been drawn.
    virtual void Finish() = 0;

    // Textures: storage for levels (each half the one before, down to 1x1
    // when more than one), clamped at the edges. 0: none could be made.
    virtual unsigned CreateTexture(int width, int height, int levels, bool filtered) = 0;
    // Into the bound texture (CreateTexture binds the one it made); false
    // on an OpenGL error.
    virtual bool Upload(int level, int x, int y, int width, int height, const uint8_t* rgba, int row_length) = 0;
    virtual void DeleteTexture(unsigned name) = 0;
    // Whether an RGBA texture of that size can be made.
    virtual bool TextureFits(int width, int height) = 0;
    virtual int MaxTextureSize() = 0;

    // Sets up the current context for 2D drawing at that size; false when
    // it cannot run the backend (LastGraphicsError says why).
    virtual bool Begin(int width, int height) = 0;
    // No context of this backend is current any more.
    virtual void End() = 0;
    // Whether a context may refuse the backend, so that one is tried out
    // as it is made (the caller can then take another driver).
    virtual bool MayRefuse() const = 0;
};

}  // namespace kelvora
