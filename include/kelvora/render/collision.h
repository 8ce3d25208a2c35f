// Pixel-exact collisions between image placements, without drawing: each
// placement becomes a quad (its four drawn corners plus the frame's pixels as
// a mask), quads can be kept in 32 layers, and a new quad is tested against
// chosen layers by rasterising both in software and comparing the opaque
// texels that land on each shared pixel.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kelvora/render/image.h"
#include "kelvora/render/pixmap.h"

namespace kelvora {

// The caller's identifier for a placement; tests return the ids they hit.
using TCollisionId = std::shared_ptr<void>;

struct TQuad {
    TQuad* link = nullptr;
    TCollisionId id;
    TPixmapPtr mask;  // null: solid
    int frame = 0;
    float minx = 0, miny = 0, maxx = 0, maxy = 0;
    // Corners top-left, top-right, bottom-right, bottom-left as x, y, u, v.
    float xyuv[16] = {};

    void SetCoords(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3);
};

// Bit i selects layer i; mask 0 selects all 32.
void ClearCollisionLayers(uint32_t mask);
// Tests the placement against every quad in the collide layers, then stores
// it in every write layer; returns the ids hit (layer order, newest first).
std::vector<TCollisionId> CollideImage(const TImagePtr& image, float x, float y, int frame, uint32_t collide_mask,
                                       uint32_t write_mask, const TCollisionId& id = nullptr);
std::vector<TCollisionId> CollideRect(float x, float y, float width, float height, uint32_t collide_mask,
                                      uint32_t write_mask, const TCollisionId& id = nullptr);
// Both placements with the render state's current rotation and scale.
// Layer 31 is their scratch layer.
int ImagesCollide(const TImagePtr& image1, float x1, float y1, int frame1, const TImagePtr& image2, float x2, float y2,
                  int frame2);
// Each placement with its own rotation and scale; the render state's are
// restored afterwards.
int ImagesCollideTransformed(const TImagePtr& image1, float x1, float y1, int frame1, float rot1, float scale_x1,
                             float scale_y1, const TImagePtr& image2, float x2, float y2, int frame2, float rot2,
                             float scale_x2, float scale_y2);

// Quads in a layer, for tests and diagnostics.
int CollisionLayerCount(int layer);

}  // namespace kelvora
