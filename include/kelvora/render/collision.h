/// @file
/// Pixel-exact collisions between image placements, without drawing: each
/// placement becomes a quad (its four drawn corners plus the frame's pixels as
/// a mask), quads can be kept in 32 layers, and a new quad is tested against
/// chosen layers by rasterising both in software and comparing the opaque
/// texels that land on each shared pixel.
///
/// Placements take the render state's origin, rotation and scale as DrawImage
/// does, so test after Graphics. Layers keep their quads, and the ids in
/// them, until ClearCollisionLayers; a game usually clears them every frame.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kelvora/render/image.h"
#include "kelvora/render/pixmap.h"

namespace kelvora {

/// The caller's identifier for a placement (any shared object, or null);
/// tests return the ids they hit.
using TCollisionId = std::shared_ptr<void>;

/// One placement as the collision layers keep it.
struct TQuad {
    TQuad* link = nullptr;  ///< The next quad of its layer, or of the free list
    TCollisionId id;        ///< The caller's id
    TPixmapPtr mask;        ///< The frame's pixels; null: solid
    int frame = 0;          ///< The frame placed
    /// @{
    float minx = 0, miny = 0, maxx = 0, maxy = 0;  ///< The bounding box in picture pixels
    /// @}
    /// Corners top-left, top-right, bottom-right, bottom-left as x, y, u, v.
    float xyuv[16] = {};

    /// Sets the four corners' x, y and the bounding box.
    void SetCoords(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3);
};

/// Empties layers: bit i selects layer i; mask 0 selects all 32.
void ClearCollisionLayers(uint32_t mask);
/// Tests the placement against every quad in the collide layers, then stores
/// it in every write layer; returns the ids hit (layer order, newest first).
/// Pixels with alpha below 0.5 do not collide; a frame without alpha is solid.
std::vector<TCollisionId> CollideImage(const TImagePtr& image, float x, float y, int frame, uint32_t collide_mask,
                                       uint32_t write_mask, const TCollisionId& id = nullptr);
/// The same for a solid rectangle placed as DrawRect with the handle at 0, 0.
std::vector<TCollisionId> CollideRect(float x, float y, float width, float height, uint32_t collide_mask,
                                      uint32_t write_mask, const TCollisionId& id = nullptr);
/// 1 when the two placements overlap on an opaque pixel of each, both with the
/// render state's current rotation and scale. Layer 31 is their scratch
/// layer.
int ImagesCollide(const TImagePtr& image1, float x1, float y1, int frame1, const TImagePtr& image2, float x2, float y2,
                  int frame2);
/// The same with each placement's own rotation and scale; the render state's
/// are restored afterwards.
int ImagesCollideTransformed(const TImagePtr& image1, float x1, float y1, int frame1, float rot1, float scale_x1,
                             float scale_y1, const TImagePtr& image2, float x2, float y2, int frame2, float rot2,
                             float scale_x2, float scale_y2);

/// Quads in a layer, for tests and diagnostics.
int CollisionLayerCount(int layer);

}  // namespace kelvora
