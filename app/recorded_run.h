// The program's recorded runs: --record writes what the player does as an
// input script that the replay harness (and --replay) plays back exactly.
#pragma once

#include <functional>
#include <map>
#include <string>

// Plays as usual, recording the session: writes the recording to file at the
// end (unless file is empty), and hands on_game_end, when given, a whole
// recording of the session so far each time a game ends (at the start of
// the next frame) with the game's final score. Returns the program's exit
// status.
int run_recorded_game(const std::string& file,
                      std::function<void(const std::string& recording, int final_score)> on_game_end = {});
// Plays a recording back on screen and with sound; the player's saved values
// are neither read nor changed. Escape or closing the window stops it. A
// recording that is damaged or made by another version is refused.
int replay_recorded_game(const std::string& file);

// The state the harness's state dump reports, by the same names.
std::map<std::string, double> game_state_values(int frame);
