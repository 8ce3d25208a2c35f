#include "game/player.h"

#include "game/cues.h"
#include "game/engine.h"
#include "game/globals.h"
#include "game/host_hooks.h"
#include "game/pshot.h"
#include "game/qvdraw.h"

using namespace kelvora;

void player_tag::reset(int full)
{
    player_tag& p = *player;
    if (full != 0) {
        p.score = 0;
        p.level = 1;
        p.lives = 3;
        p.new_bs = 0;
        spawn_tmr = 0.0f;
        spawn_delay = 150.0f;
        aliens_left = 250;
        aliens_killed = 0;
        aliens_escaped = 0;
        shots_fired = 0;
        shots_wasted = 0;
        wasted_penalty = 0;
        escaped_penalty = 0;
    }
    p.x = 320.0f;
    p.y = 340.0f;
    p.xsc = 1.0f;
    p.ysc = 0.5f;
}

void player_tag::update()
{
    if (game_state == STATE_PLAY)
        get_inputs();

    SetColor(20, 20, 20);
    qvdraw->sip(3, 0.6f, 0, xsc, ysc);
    DrawImage(ship_img, x, 440, 0);

    SetColor(255, 255, 255);
    qvdraw->sip(1, 1.0f, 0, 1.0f, 0.7f);
    DrawImage(ship_img, x, y, 0);

    thr_ysc += 0.2f;
    if (thr_ysc > 1.2f)
        thr_ysc = 0.4f;

    qvdraw->sip(4, 1.0f, 0, 1.0f, thr_ysc);
    qvdraw->i3d(flame_img, x - 30, y + 14, 0, 0, thr_ysc * 6, 2);
}

void player_tag::get_inputs()
{
    scroll_dir = 0;
    if (KeyDown(38) || JoyY(0) == -1.0f) {
        y -= 2;
        if (y < 120)
            y = 120;
        if (xsc > 0.8f)
            xsc -= 0.002f;
        if (ysc > 0.4f)
            ysc -= 0.002f;
    }
    if (KeyDown(40) || JoyY(0) == 1.0f) {
        y += 2;
        if (y > 340)
            y = 340;
        if (xsc < 1.0f)
            xsc += 0.002f;
        if (ysc < 0.5f)
            ysc += 0.002f;
    }
    if (KeyDown(37) || JoyX(0) == -1.0f) {
        scroll_dir = 1;
        mount_x1 += 2;
        mount_x2 += 1;
    }
    if (KeyDown(39) || JoyX(0) == 1.0f) {
        scroll_dir = -1;
        mount_x1 -= 2;
        mount_x2 -= 1;
    }
    if ((KeyHit(162) || JoyHit(0, 0)) && shottmr == 0) {
        pshot_tag::fire();
        shot_side += 1;
        if (shot_side > 1)
            shot_side = 0;
        play_sfx(snd_laser);
    }
}

void player_tag::flush_inputs()
{
    int n = 0;
    do {
        if (n > 0)
            n -= 1;
        if (MouseDown(0) || MouseHit(0))
            n += 1;
        if (MouseDown(1) || MouseHit(1))
            n += 1;
        const bool joy_held = JoyDown(0, 0) || JoyDown(1, 0);
        if (joy_held)
            n += 1;
        if (JoyHit(0, 0) || JoyHit(1, 0))
            n += 1;
        FlushKeys();
        FlushMouse();
        // A held joystick button keeps this loop going until it is released;
        // closing the window must still end the program, and the wait must not
        // burn a whole core.
        if (AppTerminate()) {
            quit_game = 1;
            break;
        }
        if (joy_held)
            idle_wait();
    } while (n != 0);
}
