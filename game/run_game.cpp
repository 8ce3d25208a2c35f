// The program's entry into the game, kept apart from the main loop: only the
// program and the harness link the embedded resources, the world's tests do not.
#include "assets/embedded_resources.h"
#include "game/engine.h"
#include "game/globals.h"
#include "render/freetype_font.h"
#include "render/default_driver.h"
#include "game/mainloop.h"

using namespace kelvora;

void start_engine_services()
{
    RegisterEmbeddedResources();
    InitJoystickModule();
    InitFreeTypeFontLoader();
    InitDefault2DDriver();
}

namespace {

// The sound output's own thread mixes until its driver is shut down: it
// must stop before the program's statics go, or a mixing call can touch
// them while they are destroyed (a crash at exit, seen under Wine). However
// the game ends: returning, or with an error on its way out.
struct TSoundOutputStop {
    ~TSoundOutputStop() { ShutdownAudioDriver(); }
};

}  // namespace

int run_game(const std::function<void()>& before_shutdown_ends)
{
    start_engine_services();
    const TSoundOutputStop stop_sound_output;
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
