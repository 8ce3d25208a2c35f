// What the shader driver caches and batches, and the objects it keeps in
// each context. Valid for the current context only: ResetGLContext forgets
// it. Internal to the shader driver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/gl3/gl3_program.h"

// One vertex as streamed: position in pixels, texture coordinates, colour.
struct TGL3Vertex {
    float x, y, u, v;
    uint8_t rgba[4];
};

enum class TGL3Kind { Quads, Lines, Points };

// The objects one context needs: containers (vertex arrays) are not shared
// between contexts, so each has its own set.
struct TGL3ContextObjects {
    void* context = nullptr;  // the SDL context they belong to
    GLuint vao = 0, vbo = 0, ibo = 0;
    size_t ibo_quads = 0;  // quads the index buffer has room for
    TGL3Program programs[kGL3Variants];
};

struct TGL3Rast2DState {
    bool es = false;  // the context speaks OpenGL ES 3.0 (and so WebGL 2)
    int width = 0, height = 0;

    int blend = 0;           // 0: not known
    unsigned texture = 0;    // texture of the quads waiting (or next); 0: none
    unsigned bound = 0;      // texture bound in the context; 0: not known
    int used_variant = -1;   // program in use; -1: not known
    uint8_t color[4] = {255, 255, 255, 255};
    float ix = 1.0f, iy = 0.0f, jx = 0.0f, jy = 1.0f;
    float line_width = 1.0f;
    float projection[16] = {};  // glOrtho of the picture, for programs built later

    // Primitives wait until a state, texture or primitive change (or
    // anything that reads or presents the picture) sends them in one draw.
    TGL3Kind kind = TGL3Kind::Quads;
    bool textured = false;
    std::vector<TGL3Vertex> batch;
    unsigned long batches_sent = 0;  // draws so far (tests count them)

    // Points waiting beside a batch of lines, drawn right after it, as the
    // legacy driver does (Retro Line FX alternates the two a row at a time);
    // held_box bounds the pixel centres they can cover (x0, y0, x1, y1).
    std::vector<TGL3Vertex> held_points;
    float held_box[4] = {0, 0, 0, 0};

    // See the legacy driver: a software rasteriser keeps a copy of the
    // pipeline state per draw until it flushes. 0: never.
    int draws_per_flush = 0;
    int draws_since_flush = 0;

    TGL3ContextObjects* objects = nullptr;  // of the current context
};

TGL3Rast2DState& GL3Rast2DState();

// These flush what waits when they change something.
void GL3UseTexture(unsigned name);  // 0: untextured
// The named texture is about to go: nothing may draw with it any more.
void GL3ForgetTexture(unsigned name);
void GL3FlushBatch();
// Primitives at screen positions, in the current colour (or rgba).
void GL3Quad(const float xy[8], const float uv[8], const uint8_t* rgba = nullptr);
void GL3Line(float x0, float y0, float x1, float y1);
void GL3Point(float x, float y);
// A filled convex polygon of n corners (x, y pairs): sent at once.
void GL3Polygon(const float* xy, size_t n);
