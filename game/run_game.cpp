// The program's entry into the game, kept apart from the main loop: only the
// program and the harness link the embedded resources, the world's tests do not.
#include "assets/embedded_resources.h"
#include "game/engine.h"
#include "game/globals.h"
#include "render/freetype_font.h"
#include "render/renderer_choice.h"
#include "game/options.h"
#include "game/mainloop.h"

void start_engine_services()
{
    RegisterEmbeddedResources();
    InitJoystickModule();
    InitFreeTypeFontLoader();
    // The command line was checked; a bad environment value was reported
    // by main and leaves the default order.
    std::vector<TRenderer> order;
    std::string error;
    RendererOrder(launch_options.renderer, order, error);
    InitRast2DDriver(order);
}

int run_game(const std::function<void()>& before_shutdown_ends)
{
    start_engine_services();
    if (!game_startup())
        return 1;
    do {
        game_frame();
    } while (quit_game == 0);
    game_shutdown();
    if (before_shutdown_ends)
        before_shutdown_ends();
    // Images and sounds go while their drivers still exist.
    reset_globals();
    return 0;
}
