#include "render/default_driver.h"

#include "render/gl3/gl3_rast2d_driver.h"
#include "kelvora/render/graphics.h"

namespace kelvora {

// WebGL 2 is OpenGL ES 3.0: the shader driver on it is the page's only one,
// so there is nothing to choose between.
void InitDefault2DDriver(const std::string&) { SetGraphicsDriver(GL3ESRast2DDriver(), GFX_BACKBUFFER); }

// The page's context is the canvas's own: nothing is kept between windows.
void ShutdownDefault2DDriver() { SetGraphicsDriver(nullptr, 0); }

}  // namespace kelvora
