/// @file
/// One drawable frame of an image: what the 2D driver made from a pixmap
/// (a texture for the OpenGL driver). Images keep them as caches and rebuild
/// them from their pixmaps when needed.
#pragma once

#include <memory>

namespace kelvora {

/// A frame as the 2D driver draws it; made by the driver, kept by TImage.
class TImageFrame {
public:
    virtual ~TImageFrame() = default;
    /// Draws the whole frame stretched over the local rectangle (x0, y0)-(x1, y1);
    /// each corner goes through the driver's current matrix and is then moved
    /// by (tx, ty).
    virtual void Draw(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
};

/// A drawable frame; its texture goes with the last holder (harmlessly once
/// the graphics are closed).
using TImageFramePtr = std::shared_ptr<TImageFrame>;

}  // namespace kelvora
