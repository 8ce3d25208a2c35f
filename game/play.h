// A frame of play, the end of a game, and the score line.
#pragma once

void play_frame();
// Settles the score when the last alien is gone and opens the results.
void end_game();
void draw_hud();
