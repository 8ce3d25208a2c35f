#include "render/default_driver.h"
#include "render/gl/gl_rast2d_driver.h"

void InitDefault2DDriver() { InitGLRast2DDriver(); }
