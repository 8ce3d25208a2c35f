// The 2D driver on shaders: OpenGL 3.3 core profile and OpenGL ES 3.0 (so
// WebGL 2) from one source: the 2D core (render/core2d) on a backend that
// streams its vertices into a buffer and draws them with the programs of
// gl3_program.h. Wide lines are OpenGL's own where the context draws them
// (Mesa on core and ES), else the core's thin lines side by side (WebGL
// stops at 1 pixel); points are 1 pixel.
#pragma once

#include <string>

#include "render/core2d/core2d.h"

namespace kelvora {

class TGL3Rast2DDriver : public TCore2DDriver {
public:
    explicit TGL3Rast2DDriver(TGLProfile profile);
    std::string ToString() const;
};

// Tests: lines wider than this many pixels are drawn as WebGL must draw
// them, whatever the context offers (0: as it offers).
void SetGL3WidestOwnLine(int pixels);

// The two instances.
TGL3Rast2DDriver* GL3CoreRast2DDriver();
TGL3Rast2DDriver* GL3ESRast2DDriver();

}  // namespace kelvora
