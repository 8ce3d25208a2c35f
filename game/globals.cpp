#include "game/globals.h"

#include "game/alien.h"
#include "game/apart.h"
#include "game/msurface.h"
#include "game/player.h"
#include "game/points.h"
#include "game/pshot.h"
#include "game/qvdraw.h"

using namespace kelvora;

int game_state = 0;
int quit_game = 0;
int mode3d = 0;
int retro_fx = 0;
std::string version_line = "v1.5 - by the Kelvora team";

std::shared_ptr<qvdraw_tag> qvdraw;
std::shared_ptr<player_tag> player;

std::shared_ptr<TImageFont> game_font;
image_ptr screen_grab;
image_ptr back_img1, back_img2;
image_ptr mount_img1, mount_img2;
float mount_x1 = -30.0f, mount_x2 = -50.0f;
image_ptr title_img, pointer_img;
image_ptr ship_img, flame_img, surface_img, alien_img, shot_img, glow_img, debris_img;

object_list<pshot_tag> shot_list;
object_list<alien_tag> alien_list;
object_list<apart_tag> part_list;
object_list<points_tag> points_list;
object_list<msurface_tag> surface_list;

std::string volume_names[11];
std::string menu_items[6];
std::string mode_names[5];
std::string onoff_names[2];

int scroll_dir = 0;
int cursor_x = 0, cursor_y = 0;

int aliens_left = 0, aliens_killed = 0, aliens_escaped = 0;
int shots_fired = 0, shots_wasted = 0, wasted_penalty = 0, escaped_penalty = 0;
float spawn_delay = 0.0f, spawn_tmr = 0.0f;
int final_score = 0, survival_chance = 0, results_delay = 0;

sound_ptr snd_laser, snd_alienhit, snd_newgame, snd_endgame, snd_alienmiss;
channel_ptr music_channel;
float music_volume = 1.0f, sound_volume = 1.0f;
int music_step = 10, sound_step = 10;
int rnd_seed = 0;

void reset_globals()
{
    game_state = 0;
    quit_game = 0;
    mode3d = 0;
    retro_fx = 0;
    qvdraw.reset();
    player.reset();
    game_font.reset();
    screen_grab.reset();
    back_img1.reset();
    back_img2.reset();
    mount_img1.reset();
    mount_img2.reset();
    mount_x1 = -30.0f;
    mount_x2 = -50.0f;
    title_img.reset();
    pointer_img.reset();
    for (image_ptr* img : {&ship_img, &flame_img, &surface_img, &alien_img, &shot_img, &glow_img, &debris_img})
        img->reset();
    shot_list.clear();
    alien_list.clear();
    part_list.clear();
    points_list.clear();
    surface_list.clear();
    for (auto& s : volume_names)
        s.clear();
    for (auto& s : menu_items)
        s.clear();
    for (auto& s : mode_names)
        s.clear();
    for (auto& s : onoff_names)
        s.clear();
    scroll_dir = 0;
    cursor_x = cursor_y = 0;
    aliens_left = aliens_killed = aliens_escaped = 0;
    shots_fired = shots_wasted = wasted_penalty = escaped_penalty = 0;
    spawn_delay = spawn_tmr = 0.0f;
    final_score = survival_chance = results_delay = 0;
    for (sound_ptr* s : {&snd_laser, &snd_alienhit, &snd_newgame, &snd_endgame, &snd_alienmiss})
        s->reset();
    music_channel.reset();
    music_volume = sound_volume = 1.0f;
    music_step = sound_step = 10;
    rnd_seed = 0;
}

std::string two_digits(int n)
{
    std::string s = std::to_string(n);
    return n >= 0 && n < 10 ? "0" + s : s;
}
