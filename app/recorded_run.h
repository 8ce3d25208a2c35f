// The program's recorded runs: --record writes what the player does as an
// input script that the replay harness (and --replay) plays back exactly.
#pragma once

#include <map>
#include <string>

// Plays as usual and writes the recording to file at the end. Returns the
// program's exit status.
int run_recorded_game(const std::string& file);
// Plays a recording back on screen and with sound; the player's saved values
// are neither read nor changed. Escape or closing the window stops it. A
// recording that is damaged or made by another version is refused.
int replay_recorded_game(const std::string& file);

// The state the harness's state dump reports, by the same names.
std::map<std::string, double> game_state_values(int frame);
