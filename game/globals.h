// The game's module-level state: screens, options, counters of the current
// game, media and entity lists. Entity code reads and changes these directly.
#pragma once

#include <memory>
#include <string>

#include "game/object_list.h"

namespace kelvora {
class TImage;
class TImageFont;
class TSound;
class TChannel;
}  // namespace kelvora
using namespace kelvora;

struct qvdraw_tag;
struct player_tag;
struct msurface_tag;
struct pshot_tag;
struct alien_tag;
struct apart_tag;
struct points_tag;

constexpr int STATE_PLAY = 2;
constexpr int STATE_PAUSE = 3;
constexpr int STATE_TITLE = 4;
constexpr int STATE_RESULTS = 5;

using image_ptr = std::shared_ptr<TImage>;
using sound_ptr = std::shared_ptr<TSound>;
using channel_ptr = std::shared_ptr<TChannel>;

extern int game_state;
extern int quit_game;
extern int mode3d;
extern int retro_fx;
extern std::string version_line;

extern std::shared_ptr<qvdraw_tag> qvdraw;
extern std::shared_ptr<player_tag> player;

extern std::shared_ptr<TImageFont> game_font;
extern image_ptr screen_grab;
extern image_ptr back_img1, back_img2;
extern image_ptr mount_img1, mount_img2;
extern float mount_x1, mount_x2;
extern image_ptr title_img, pointer_img;
extern image_ptr ship_img, flame_img, surface_img, alien_img, shot_img, glow_img, debris_img;

extern object_list<pshot_tag> shot_list;
extern object_list<alien_tag> alien_list;
extern object_list<apart_tag> part_list;
extern object_list<points_tag> points_list;
extern object_list<msurface_tag> surface_list;

extern std::string volume_names[11];
extern std::string menu_items[6];
extern std::string mode_names[5];
extern std::string onoff_names[2];

extern int scroll_dir;
extern int cursor_x, cursor_y;

extern int aliens_left, aliens_killed, aliens_escaped;
extern int shots_fired, shots_wasted, wasted_penalty, escaped_penalty;
extern float spawn_delay, spawn_tmr;
extern int final_score, survival_chance, results_delay;

extern sound_ptr snd_laser, snd_alienhit, snd_newgame, snd_endgame, snd_alienmiss;
extern channel_ptr music_channel;
extern float music_volume, sound_volume;
extern int music_step, sound_step;
// The seed the start-up gave the random generator.
extern int rnd_seed;

// Puts every global back to its value at program start (media and objects
// are dropped). The program starts this way; tests use it between runs.
void reset_globals();

// Two-digit decimal for the score line: 0 gives "00", 7 gives "07".
std::string two_digits(int n);
