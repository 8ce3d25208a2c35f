#include "game/results.h"

#include <string>

#include "game/cues.h"
#include "game/engine.h"
#include "game/globals.h"
#include "game/mainloop.h"
#include "game/player.h"
#include "game/qvdraw.h"

using namespace kelvora;

namespace {

int random_shade()
{
    return static_cast<int>(Rnd(255, 0));
}

void flicker_colour()
{
    const int g = random_shade();
    const int r = random_shade();
    SetColor(r, g, 200);
}

void line(int r, int g, int b, const std::string& text, int y)
{
    SetColor(r, g, b);
    qvdraw->sip(3, 1.0f, 0, 1.0f, 1.0f);
    qvdraw->t3d(text, 320, y, 0, 1);
}

}  // namespace

void results_frame()
{
    // The results are always drawn flat.
    const int saved_mode = mode3d;
    mode3d = 0;

    flicker_colour();
    qvdraw->sip(3, 1.0f, 0, 1.5f, 1.5f);
    qvdraw->t3d("Congradulations, You Made It!", 320, 70, 0, 1);

    const auto n = [](int v) { return std::to_string(v); };
    line(180, 180, 200, "- Final Results -", 120);
    line(120, 120, 240, "Total Shots Fired: " + n(shots_fired), 155);
    line(120, 120, 240, "Total Aliens Killed: " + n(aliens_killed), 190);
    line(180, 180, 200, "- Score Penalties -", 225);
    line(120, 120, 240, "Total Shots Wasted: " + n(shots_wasted) + "=" + n(wasted_penalty) + " pts.", 260);
    line(120, 120, 240, "Total Aliens Escaped: " + n(aliens_escaped) + "=" + n(escaped_penalty) + " pts.", 295);
    line(180, 180, 200, "Final Score After Penalties: " + n(final_score) + " pts.", 330);

    qvdraw->sip(3, 1.0f, 0, 1.2f, 1.2f);
    flicker_colour();
    qvdraw->t3d("Earth Has a " + n(survival_chance) + "% Chance of Survival.", 320, 380, 0, 1);

    qvdraw->sip(3, 1.0f, 0, 1.0f, 1.0f);
    SetColor(250, 250, 50);
    std::string suffix;
    if (results_delay > 0) {
        results_delay -= 1;
        player->flush_inputs();
    } else {
        suffix = " - Press Fire";
    }
    if (player->new_bs == 1)
        qvdraw->t3d("Awesome! - New High Score!" + suffix, 320, 430, 0, 1);
    else
        qvdraw->t3d("Sorry, No High Score" + suffix, 320, 430, 0, 1);

    mode3d = saved_mode;

    if (results_delay == 0 && (KeyHit(162) || JoyHit(0, 0))) {
        game_state = STATE_PLAY;
        draw_backdrop();
        player->score = final_score < 0 ? 0 : final_score;
        GrabImage(screen_grab, 0, 0, 0);
        game_state = STATE_TITLE;
        StopChannel(music_channel);
        play_music(1);
        player->flush_inputs();
    }
}
