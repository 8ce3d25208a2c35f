// The program's command line, GNU style: long options from one small table,
// "--name=value" or "--name value" for those that take a value, unambiguous
// abbreviations, "--" ending the options.
#pragma once

#include <string>
#include <vector>

struct game_options {
    bool window = false;   // --window: a window instead of full screen
    int window_scale = 0;  // --window=SCALE; 0 is the largest that fits the desktop
    bool mute = false;     // sound and music start at Off for this run
    std::string record;    // --record FILE
    std::string replay;    // --replay FILE
    std::string renderer;  // --renderer=legacy|core|es; empty: the environment's or the default order
    std::string scores;    // --scores URL (checked, as kept) or "off"; empty: as remembered
    std::string name;      // --name NAME, trimmed; empty: as remembered
    bool help = false;
    bool version = false;
};

// The settings the game's start-up reads (display mode, volumes).
extern game_options launch_options;

// Parses argv[1..]. On a bad command line returns false and sets error to
// one line saying what is wrong.
bool parse_game_options(const std::vector<std::string>& args, game_options& options, std::string& error);

// The text --help prints, and the --version line.
std::string game_usage(const std::string& program);
std::string game_version_text();
