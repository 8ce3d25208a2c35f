// Kept apart from the main loop: only the program and the harness link the
// embedded resources, the tests of the game world do not.
#include "assets/embedded_resources.h"
#include "game/engine.h"
#include "render/freetype_font.h"
#include "render/gl_rast2d_driver.h"
#include "game/mainloop.h"

void start_engine_services()
{
    RegisterEmbeddedResources();
    InitJoystickModule();
    InitFreeTypeFontLoader();
    InitGLRast2DDriver();
}
