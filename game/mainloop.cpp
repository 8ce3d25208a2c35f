#include "game/mainloop.h"

#include <cstdio>
#include <memory>
#include <string>

#include "game/alien.h"
#include "game/apart.h"
#include "game/cues.h"
#include "game/engine.h"
#include "game/globals.h"
#include "game/host_hooks.h"
#include "game/menu.h"
#include "game/msurface.h"
#include "game/play.h"
#include "game/player.h"
#include "game/points.h"
#include "game/pshot.h"
#include "game/qvdraw.h"
#include "game/results.h"
#include "game/saved_values.h"
#include "kelvora/system/hook.h"
#include "kelvora/system/session_end.h"

using namespace kelvora;

start_wishes game_start_wishes;

namespace {

// Sprite frames cut from the sheet: image, frame, top-left corner in the sheet.
void grab_sprites()
{
    GrabImage(flame_img, 377, 1, 0);
    GrabImage(alien_img, 574, 1, 0);
    GrabImage(shot_img, 513, 1, 0);
    GrabImage(glow_img, 438, 1, 0);
    for (int f = 0; f < 2; ++f)
        GrabImage(ship_img, 1 + 187 * f, 1, f);
    for (int f = 0; f < 4; ++f)
        GrabImage(surface_img, 1 + 51 * f, 125, f);
    for (int f = 0; f < 8; ++f)
        GrabImage(debris_img, 1 + 41 * f, 82, f);
}

bool open_display()
{
    if (!game_start_wishes.window && Graphics(640, 480, 1, 60, 2))
        return true;
    // No 640x480 full-screen mode: the same picture in a window.
    if (Graphics(640, 480, 0, 60, 2))
        return true;
    const std::string why = LastGraphicsError();
    std::fprintf(stderr, "Kelvora 3D: cannot open a 640x480 display%s%s\n", why.empty() ? "" : ": ", why.c_str());
    return false;
}

void save_values()
{
    anaglyph_io(2);
    hiscore_io(1);
}

// The display gone for good (its server ended), or the session ending (the
// system may end the process once this returns): the values are kept as a
// normal end keeps them, once they have been read.
THookData save_values_now(int, THookData data, THookData)
{
    save_values();
    return data;
}

}  // namespace

void create_string_tables()
{
    const char* volumes[11] = {"Off", "10%", "20%", "30%", "40%", "50%", "60%", "70%", "80%", "90%", "Max"};
    for (int i = 0; i < 11; ++i)
        volume_names[i] = volumes[i];
    const char* items[6] = {"Start Game", "3D Graphics: ", "Retro Line FX: ", "Sound Volume: ", "Music Volume: ",
                            "Exit Game"};
    for (int i = 0; i < 6; ++i)
        menu_items[i] = items[i];
    const char* modes[5] = {"Off", "M\\G", "R\\G", "R\\C", "R\\B"};
    for (int i = 0; i < 5; ++i)
        mode_names[i] = modes[i];
    onoff_names[0] = "Off";
    onoff_names[1] = "On";
}

void load_media()
{
    game_font = LoadImageFont("incbin::fonts\\zenbu___.ttf", 22, 4);
    SetImageFont(game_font);
    back_img1 = LoadImage("incbin::graphx\\kvora_bd01.png", -1);
    back_img2 = LoadImage("incbin::graphx\\kvora_bd02.png", -1);
    mount_img1 = LoadImage("incbin::graphx\\kvora_mt01.png", -1);
    mount_img2 = LoadImage("incbin::graphx\\kvora_mt02.png", -1);
    title_img = LoadImage("incbin::graphx\\kvora3D_title.png", -1);
    pointer_img = LoadImage("incbin::graphx\\dmpointer.png", -1);
    auto sheet = LoadImage("incbin::graphx\\kvora_sf01.png", -1);
    Cls();
    DrawImage(sheet, 0, 0, 0);
    grab_sprites();
    CenterImageHandle(title_img);
    snd_laser = LoadSound("data\\laserfire.ogg", 0);
    snd_alienhit = LoadSound("data\\alienhit.ogg", 0);
    snd_newgame = LoadSound("data\\newgame.ogg", 0);
    snd_endgame = LoadSound("data\\endgame.ogg", 0);
    snd_alienmiss = LoadSound("data\\alienmiss.ogg", 0);
}

// The pictures and sounds load_media and the logo take, decoded while the
// display opens.
void preload_media()
{
    for (const char* picture : {"incbin::graphx\\kvora_bd01.png", "incbin::graphx\\kvora_bd02.png",
                                "incbin::graphx\\kvora_mt01.png", "incbin::graphx\\kvora_mt02.png",
                                "incbin::graphx\\kvora3D_title.png", "incbin::graphx\\dmpointer.png",
                                "incbin::graphx\\kvora_sf01.png", "Incbin::graphx\\qvlogo.png"})
        PreloadImage(picture);
    for (const char* sound : {"data\\moontitle.ogg", "data\\laserfire.ogg", "data\\alienhit.ogg",
                              "data\\newgame.ogg", "data\\endgame.ogg", "data\\alienmiss.ogg"})
        PreloadSound(sound);
}

void draw_backdrop()
{
    Cls();
    if (game_state == STATE_PAUSE || game_state == STATE_TITLE || game_state == STATE_RESULTS) {
        SetColor(50, 50, 100);
        SetBlend(1);
        DrawImage(screen_grab, 0, 0, 0);
        return;
    }
    SetColor(255, 255, 255);
    qvdraw->sip(4, 0.6f, 0, 1, 1);
    DrawImage(back_img1, 0, 0, 0);
    if (mode3d == 0)
        SetColor(80, 80, 80);
    qvdraw->sip(4, 0.6f, 0, 1, 1);
    qvdraw->i3d(back_img1, 0, 0, 0, -4.0f, 0, 1);
    qvdraw->sip(4, 0.8f, 0, 1, 1);
    qvdraw->i3d(back_img2, 0, 0, 0, -10.0f, 0, 1);

    if (mount_x1 < -230)
        mount_x1 = 0;
    if (mount_x2 < -140)
        mount_x2 = 0;
    if (mount_x1 > 0)
        mount_x1 = -230;
    if (mount_x2 > 0)
        mount_x2 = -140;

    qvdraw->sip(4, 1.0f, 0, 1, 1);
    int x = static_cast<int>(mount_x2);
    for (int i = 0; i < 6; ++i, x += 140)
        qvdraw->i3d(mount_img2, x, 205, 0, -8.0f, 0, 1);
    x = static_cast<int>(mount_x1);
    for (int i = 0; i < 4; ++i, x += 230)
        qvdraw->i3d(mount_img1, x, 236, 0, -6.0f, 0, 1);

    msurface_tag::update_all();
}

void retro_lines(int shade)
{
    if (retro_fx != 1)
        return;
    SetColor(shade, shade, shade);
    SetBlend(2);
    for (int y = 1; y <= 479; y += 2)
        DrawLine(0, y, 639, y, 1);
    SetBlend(1);
}

void destroy_objects()
{
    alien_tag::destroy_all();
    pshot_tag::destroy_all();
    apart_tag::destroy_all();
    points_tag::destroy_all();
}

void pause_game()
{
    game_state = STATE_PAUSE;
    GrabImage(screen_grab, 0, 0, 0);
    MoveMouse(320, 250);
    FlushKeys();
    FlushMouse();
    StopChannel(music_channel);
    play_music(1);
}

void leave_game_to_title(bool flush)
{
    player->update();
    game_state = STATE_PLAY;
    draw_backdrop();
    game_state = STATE_TITLE;
    destroy_objects();
    GrabImage(screen_grab, 0, 0, 0);
    MoveMouse(320, 250);
    if (flush) {
        FlushKeys();
        FlushMouse();
    }
    StopChannel(music_channel);
    play_music(1);
}

void check_keys()
{
    if (KeyHit(27)) {
        if (game_state == STATE_TITLE)
            quit_game = 1;
        else if (game_state == STATE_PAUSE)
            leave_game_to_title(true);
        else if (game_state == STATE_PLAY)
            pause_game();
    }
    int space = KeyHit(32);
    if (!space)
        space = JoyHit(2, 0);
    if (space) {
        if (game_state == STATE_PLAY) {
            pause_game();
        } else if (game_state == STATE_PAUSE) {
            game_state = STATE_PLAY;
            FlushMouse();
            FlushKeys();
            StopChannel(music_channel);
            play_music(2);
        }
    }
    if (AppTerminate())
        quit_game = 1;
}

void check_suspend()
{
    if (!AppSuspended())
        return;
    const bool was_playing = ChannelPlaying(music_channel) != 0;
    if (was_playing)
        PauseChannel(music_channel);
    // A close while away (the desktop session ending) ends the game in order.
    while (AppSuspended() && !quit_game) {
        if (AppTerminate())
            quit_game = 1;
        else
            idle_wait();
    }
    if (was_playing)
        ResumeChannel(music_channel);
}

void create_sprite_images()
{
    SetAutoMidHandle(1);
    ship_img = CreateImage(186, 78, 2, -1);
    surface_img = CreateImage(50, 40, 4, -1);
    alien_img = CreateImage(56, 92, 1, -1);
    shot_img = CreateImage(58, 60, 1, -1);
    glow_img = CreateImage(72, 72, 1, -1);
    debris_img = CreateImage(40, 40, 8, -1);
    SetAutoMidHandle(0);
    flame_img = CreateImage(58, 116, 1, -1);
}

bool game_startup()
{
    SetAppTitle("Kelvora 3D");
    SetMaskColor(0, 0, 0);
    SetAutoImageFlags(9);
    preload_media();
    if (!open_display())
        return false;
    JoyCount();

    qvdraw = std::make_shared<qvdraw_tag>();
    player = std::make_shared<player_tag>();

    screen_grab = CreateImage(640, 480, 1, -1);
    create_sprite_images();

    shot_list.clear();
    alien_list.clear();
    part_list.clear();
    points_list.clear();
    surface_list.clear();
    create_string_tables();
    music_channel = AllocChannel();
    if (game_start_wishes.mute) {
        sound_step = music_step = 0;
        sound_volume = music_volume = 0.0f;
    }

    HideMouse();
    rnd_seed = Millisecs();
    SeedRnd(rnd_seed);
    load_media();
    msurface_tag::create_em();
    anaglyph_io(1);
    hiscore_io(0);
    AddHook(DisplayLostHook(), save_values_now, nullptr);
    AddHook(SessionEndHook(), save_values_now, nullptr);
    show_logo(-25);
    player_tag::reset(1);
    game_state = STATE_TITLE;
    aliens_left = 0;
    MoveMouse(320, 250);
    return true;
}

void game_frame()
{
    notify_frame_start();
    draw_backdrop();
    ClearCollisionLayers(0);
    switch (game_state) {
    case STATE_PLAY: play_frame(); break;
    case STATE_PAUSE:
    case STATE_TITLE: menu_frame(); break;
    case STATE_RESULTS: results_frame(); break;
    default: break;
    }
    draw_hud();
    retro_lines(5);
    Flip(-1);
    check_keys();
    check_suspend();
}

void game_shutdown()
{
    if (ChannelPlaying(music_channel)) {
        StopChannel(music_channel);
        Delay(500);
    }
    save_values();
    RemoveHook(DisplayLostHook(), save_values_now, nullptr);
    RemoveHook(SessionEndHook(), save_values_now, nullptr);
}
