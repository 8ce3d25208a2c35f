// The 2D driver on fixed-function OpenGL: the 2D core (render/core2d) on a
// backend of OpenGL 1.x calls. Its pixels are the reference the shader
// driver matches. Lines are OpenGL's own, wide ones through glLineWidth.
#pragma once

#include <string>

#include "render/core2d/core2d.h"

namespace kelvora {

class TGLRast2DDriver : public TCore2DDriver {
public:
    TGLRast2DDriver();
    std::string ToString() const { return "OpenGL"; }
};

// Issues the OpenGL blend and alpha-test settings of a blend mode
// (BLEND_MASK ... BLEND_SHADE; anything else is solid), without caching.
void ApplyGLBlend(int blend);

// The one instance.
TGLRast2DDriver* GLRast2DDriver();
// Installs the OpenGL 2D driver as the current graphics driver
// (default flags GFX_BACKBUFFER), batching.
void InitGLRast2DDriver();

}  // namespace kelvora
