#include "game/host_hooks.h"

#include "game/engine.h"

using namespace kelvora;

host_hooks game_hooks;

void notify_frame_start()
{
    if (game_hooks.frame_start)
        game_hooks.frame_start();
}

void idle_wait()
{
    if (game_hooks.idle)
        game_hooks.idle();
    Rest(5);  // nothing to time while suspended: no spin
}
