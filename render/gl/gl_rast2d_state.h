// Driver-wide OpenGL state the 2D driver caches so that runs of draws with
// the same settings issue only their vertices, and the batch those vertices
// wait in. Valid for the current context only: ResetGLContext forgets it.
// Internal to the OpenGL 2D driver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One vertex as the batch sends it (client-side arrays of OpenGL 1.1).
struct TGLVertex {
    float x, y, u, v;
    uint8_t rgba[4];
};

struct TGLRast2DState {
    int blend = 0;          // 0: not known
    unsigned texture = 0;   // last bound texture name; 0: not known
    bool texturing = false;
    bool color_known = false;
    uint8_t color[4] = {255, 255, 255, 255};  // red, green, blue, alpha as sent
    float ix = 1.0f, iy = 0.0f, jx = 0.0f, jy = 1.0f;

    // Batching: primitives wait until a state, texture or primitive change
    // (or anything that reads or presents the picture) sends them in one
    // draw. Off: each primitive goes out at once, as glBegin/glEnd.
    bool batching = false;
    unsigned batch_primitive = 0;  // GL_QUADS, GL_LINES, GL_POINTS
    bool batch_textured = false;
    std::vector<TGLVertex> batch;
    bool arrays_on = false;  // client arrays enabled in this context
    unsigned long batches_sent = 0;  // draws of the batch so far (tests count them)
    float line_width = 1.0f;

    // Points that wait beside a batch of lines and go out right after it
    // (Retro Line FX alternates the two a row at a time). Moving a point
    // after the lines queued behind it changes no pixel while none of those
    // lines can reach the point's pixel; held_box bounds the pixel centres
    // the held points can cover (x0, y0, x1, y1).
    std::vector<TGLVertex> held_points;
    float held_box[4] = {0, 0, 0, 0};

    // A software rasteriser holds everything sent since its last flush,
    // with a copy of the whole pipeline state for every state change (about
    // 70 KB each in llvmpipe), until it draws it. Flushing after so many
    // draws keeps that small where a frame changes state hundreds of times
    // (start-up draws many frames' worth before the first picture). 0: never.
    int draws_per_flush = 0;
    int draws_since_flush = 0;
};

TGLRast2DState& GLRast2DState();

// These skip what the cache says is already in force.
void GLBindTexture(unsigned name);
void GLEnableTexturing();
void GLDisableTexturing();
// The named texture is about to go: the cache must not keep its name.
void GLForgetTexture(unsigned name);

// Sends the waiting primitives, if any.
void GLFlushBatch();
// Primitives at screen positions with the current colour; uv (texture
// coordinates per corner) null for an untextured quad.
void GLQuad(const float xy[8], const float uv[8]);
void GLLine(float x0, float y0, float x1, float y1);
void GLPoint(float x, float y);
// A filled convex polygon of n corners (x, y pairs): never merged.
void GLPolygon(const float* xy, size_t n);
