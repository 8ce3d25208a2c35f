// The program's entry into the game, kept apart from the main loop: only the
// program and the harness link the embedded resources, the world's tests do not.
#include "assets/embedded_resources.h"
#include "game/engine.h"
#include "game/globals.h"
#include "game/mainloop.h"

using namespace kelvora;

// What the game tells the engine about itself. Its pad mappings follow from
// the name: ~/.config/kelvora3d, %APPDATA%\Kelvora3D.
TEngineSettings game_engine_settings()
{
    TEngineSettings settings;
    settings.app_name = "Kelvora 3D";
    settings.renderer_variable = "KELVORA3D_RENDERER";
    return settings;
}

void start_engine_services()
{
    RegisterEmbeddedResources();
    Init(game_engine_settings());
}

namespace {

// The sound output's own thread mixes until its driver is shut down: it
// must stop before the program's statics go, or a mixing call can touch
// them while they are destroyed (a crash at exit, seen under Wine). However
// the game ends: returning, or with an error on its way out. The rest of
// the engine stops with it.
struct TEngineStop {
    ~TEngineStop()
    {
        try {
            Shutdown();
        } catch (...) {
            // On the way out already: the sound output has stopped all the same.
        }
    }
};

}  // namespace

int run_game(const std::function<void()>& before_shutdown_ends)
{
    start_engine_services();
    const TEngineStop stop_engine;
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
