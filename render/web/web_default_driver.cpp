#include "render/default_driver.h"

// WebGL 2 has no fixed-function pipeline: the browser draws through the
// OpenGL ES 3.0 driver, which is not part of this build yet, so no driver is
// installed and Graphics reports that no display can be opened.
void InitDefault2DDriver() {}
