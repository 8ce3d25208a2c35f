// Kept apart from the main loop: only the program and the harness link the
// embedded resources, the tests of the game world do not.
#include "game/engine.h"
#include "game/mainloop.h"

void start_engine_services()
{
    RegisterEmbeddedResources();
    InitJoystickModule();
    InitFreeTypeFontLoader();
    InitGLRast2DDriver();
}
