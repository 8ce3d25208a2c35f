#include "game/menu.h"

#include <string>

#include "game/alien.h"
#include "game/apart.h"
#include "game/cues.h"
#include "game/engine.h"
#include "game/globals.h"
#include "game/host_hooks.h"
#include "game/mainloop.h"
#include "game/player.h"
#include "game/points.h"
#include "game/pshot.h"
#include "game/qvdraw.h"
#include "game/saved_values.h"

using namespace kelvora;

void show_logo(int y_offset)
{
    float alpha = 1.0f;
    float scale = 0.1f;
    float offs = -4.0f;
    auto logo = LoadImage("Incbin::graphx\\qvlogo.png", -1);
    if (logo)
        CenterImageHandle(logo);
    const int cx = GraphicsWidth() / 2;
    const int cy = GraphicsHeight() / 2 + y_offset;
    play_music(1);

    int skip = 0;
    do {
        notify_frame_start();
        draw_backdrop();
        SetColor(255, 255, 255);
        if (mode3d != 0) {
            qvdraw->sip(4, alpha, 0, scale, scale);
            qvdraw->i3d(logo, cx, cy, 0, offs, 0, 2);
            scale += 0.004f;
            offs += 0.05f;
            if (scale > 1.1f)
                alpha -= 0.01f;
        } else {
            qvdraw->sip(3, alpha, 0, 1, 1);
            qvdraw->i3d(logo, cx, cy, 0, 0, 0, 1);
            if (scale > 1.0f)
                alpha -= 0.01f;
            else
                scale += 0.004f;
        }
        if (alpha < 0)
            alpha = 0;
        qvdraw->sip(1, 1, 0, 1, 1);
        retro_lines(10);
        Flip(-1);
        while (AppSuspended() && !quit_game) {
            if (AppTerminate())
                quit_game = 1;
            else
                idle_wait();
        }
        if (quit_game || AppTerminate()) {
            quit_game = 1;
            break;
        }
        skip = KeyHit(27);
        if (!skip)
            skip = KeyHit(32);
        if (!skip)
            skip = MouseHit(1);
        if (!skip)
            skip = JoyHit(0, 0);
    } while (skip == 0 && alpha > 0);

    Cls();
    draw_backdrop();
    SetColor(255, 255, 255);
    qvdraw->sip(1, 1, 0, 1, 1);
    GrabImage(screen_grab, 0, 0, 0);
    FlushKeys();
    FlushMouse();
}

void joy_pointer()
{
    cursor_x = MouseX();
    cursor_y = MouseY();
    if (JoyX(0) == -1.0f) {
        cursor_x -= 6;
        MoveMouse(cursor_x, cursor_y);
    }
    if (JoyX(0) == 1.0f) {
        cursor_x += 6;
        MoveMouse(cursor_x, cursor_y);
    }
    if (JoyY(0) == -1.0f) {
        cursor_y -= 6;
        MoveMouse(cursor_x, cursor_y);
    }
    if (JoyY(0) == 1.0f) {
        cursor_y += 6;
        MoveMouse(cursor_x, cursor_y);
    }
}

int menu_row_at(int mouse_y)
{
    return mouse_y > 230 ? (mouse_y - 230) / 30 : -1;
}

namespace {

std::string row_text(int row, int entry_state)
{
    switch (row) {
    case 0: return entry_state == STATE_PAUSE ? "Resume Game" : menu_items[0];
    case 1: return menu_items[1] + mode_names[mode3d];
    case 2: return menu_items[2] + onoff_names[retro_fx];
    case 3: return menu_items[3] + volume_names[sound_step];
    case 4: return menu_items[4] + volume_names[music_step];
    default: return entry_state == STATE_PAUSE ? "Quit This Game" : menu_items[5];
    }
}

void row_action(int row, int entry_state)
{
    switch (row) {
    case 0:
        game_state = STATE_PLAY;
        if (entry_state != STATE_PAUSE) {
            player_tag::reset(1);
            destroy_objects();
        }
        StopChannel(music_channel);
        play_music(2);
        if (entry_state != STATE_PAUSE)
            play_sfx(snd_newgame);
        break;
    case 1:
        mode3d += 1;
        if (mode3d > 4)
            mode3d = 0;
        anaglyph_io(2);  // kept as soon as chosen
        // Rebuild the frozen backdrop in the new mode.
        game_state = STATE_PLAY;
        draw_backdrop();
        game_state = entry_state;
        alien_tag::update_all();
        points_tag::update_all();
        apart_tag::update_all();
        pshot_tag::update_all();
        if (entry_state != STATE_TITLE)
            player->update();
        GrabImage(screen_grab, 0, 0, 0);
        break;
    case 2:
        retro_fx += 1;
        if (retro_fx > 1)
            retro_fx = 0;
        break;
    case 3:
        step_volume(sound_step, sound_volume);
        play_sfx(snd_alienhit);
        break;
    case 4:
        step_volume(music_step, music_volume);
        SetChannelVolume(music_channel, music_volume);
        break;
    case 5:
        if (entry_state == STATE_PAUSE)
            leave_game_to_title(false);
        else
            quit_game = 1;
        break;
    default:
        break;
    }
}

}  // namespace

void menu_frame()
{
    joy_pointer();
    const int entry_state = game_state;
    const int mx = MouseX();
    const int my = MouseY();
    int sel = -1;

    SetColor(180, 180, 180);
    qvdraw->sip(1, 1.0f, 0, 1.0f, 1.0f);
    qvdraw->i3d(title_img, 320, 130, 0, 6.0f, 0, 2);

    SetColor(180, 180, 200);
    qvdraw->sip(3, 1.0f, 0, 1.0f, 1.0f);
    const int saved_mode = mode3d;
    mode3d = 0;
    qvdraw->t3d(version_line, 320, 460, 1.0f, 1);
    mode3d = saved_mode;

    if (my > 230)
        sel = menu_row_at(MouseY());

    for (int i = 0; i <= 5; ++i) {
        float scale = 1.0f;
        float offs = 2.0f;
        if (i == sel) {
            SetColor(200, 180, 35);
            scale = 1.2f;
            offs = 3.0f;
        } else {
            SetColor(80, 160, 200);
        }
        qvdraw->sip(3, 1.0f, 0, scale, scale);
        qvdraw->t3d(row_text(i, entry_state), 320, 250 + 30 * i, offs, 1);
    }

    if (MouseHit(1) || JoyHit(0, 0)) {
        row_action(sel, entry_state);
        FlushKeys();
        FlushMouse();
    }

    SetColor(255, 255, 255);
    qvdraw->sip(1, 1.0f, 0, 1.0f, 1.0f);
    qvdraw->i3d(pointer_img, mx, my, 0, 3.0f, 0, 2);
}
