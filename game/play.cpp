#include "game/play.h"

#include <string>

#include "game/alien.h"
#include "game/apart.h"
#include "game/cues.h"
#include "game/engine.h"
#include "game/globals.h"
#include "game/mainloop.h"
#include "game/player.h"
#include "game/points.h"
#include "game/pshot.h"
#include "game/qvdraw.h"
#include "game/saved_values.h"

using namespace kelvora;

void play_frame()
{
    const int n = alien_tag::update_all();
    points_tag::update_all();
    apart_tag::update_all();
    pshot_tag::update_all();
    player->update();
    if (n == 0 && aliens_left == 0)
        end_game();
}

void end_game()
{
    scroll_dir = 0;
    game_state = STATE_RESULTS;
    results_delay = 250;
    final_score = player->score + wasted_penalty + escaped_penalty;
    survival_chance = 100 - 3 * aliens_escaped;
    if (survival_chance < 0)
        survival_chance = 0;
    if (final_score > player->best_sc) {
        player->new_bs = 1;
        player->best_sc = final_score;
        // Kept at once: a crash or a killed process must not lose a record.
        hiscore_io(1);
    }
    game_state = STATE_PLAY;
    draw_backdrop();
    game_state = STATE_RESULTS;
    destroy_objects();
    GrabImage(screen_grab, 0, 0, 0);
    play_sfx(snd_endgame);
    player->flush_inputs();
}

void draw_hud()
{
    qvdraw->sip(3, 1.0f, 0, 1.0f, 1.0f);
    SetColor(180, 180, 200);
    DrawText("Score: " + two_digits(player->score), 2, 0);
    const std::string best = "Best: " + two_digits(player->best_sc);
    DrawText(best, 320 - TextWidth(best) / 2, 0);
    const std::string left = "Aliens: " + two_digits(aliens_left);
    DrawText(left, 636 - TextWidth(left), 0);

    const std::string killed = two_digits(aliens_killed);
    SetColor(10, 10, 10);
    DrawText(killed, 4, 452);
    SetColor(200, 200, 255);
    DrawText(killed, 2, 450);

    const std::string escaped = two_digits(aliens_escaped);
    const int x = 638 - TextWidth(escaped);
    SetColor(10, 10, 10);
    DrawText(escaped, x + 2, 452);
    SetColor(200, 200, 255);
    DrawText(escaped, x, 450);
}
