// The game's top level: start-up, one pass of the main loop, shutdown. The
// program and the replay harness run these same functions.
#pragma once

#include <functional>

#include "kelvora/engine.h"

// What the program asks of the start-up for this run; set before game_startup.
struct start_wishes {
    bool window = false;  // a window instead of full screen
    bool mute = false;    // sound and music start at Off (the saved values stay)
};
extern start_wishes game_start_wishes;

// The names the game gives the engine at Init (the renderer variable is
// also what the program checks --renderer against).
kelvora::TEngineSettings game_engine_settings();
// Registers the embedded resources and starts the engine services.
void start_engine_services();
// Everything from the application title to the title menu, the start-up
// logo included. False when no display could be opened at all (a message
// has been printed).
bool game_startup();
// One pass of the main loop: draws and presents one frame of the current screen.
void game_frame();
// Stops the music and writes the two saved values.
void game_shutdown();
// The whole program: start-up, passes until the player quits, shutdown;
// before_shutdown_ends sees the final state before the globals go.
int run_game(const std::function<void()>& before_shutdown_ends = {});

// The names the menus show for their rows and choices.
void create_string_tables();
// The empty sprite images with their frames and handles; load_media fills them.
void create_sprite_images();
void load_media();
// Starts decoding, in the background, what load_media and the logo load.
void preload_media();
void draw_backdrop();
void retro_lines(int shade);
void check_keys();
void check_suspend();
void destroy_objects();

// Pause from play: the current picture becomes the menu backdrop.
void pause_game();
// From the pause menu back to the title, dropping the game's objects.
void leave_game_to_title(bool flush);
