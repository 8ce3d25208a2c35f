// The input script of a replay: one event a line, "FRAME WHAT ARGS".
//   key down CODE | key up CODE | char CODE
//   mouse move X Y | mouse down B | mouse up B | wheel N
//   joy axis A VALUE | joy button B down|up
//   joy plug (a new pad on the game's port, centred) | joy unplug
//   close | suspend | resume
// Blank lines and lines starting with "#" are skipped.
//
// A recording made by the program (--record) is such a script framed by
// comment lines: a header naming the program's version and the starting
// clock, and a footer with the frame count, the final state of the run and
// a check of every byte before it, so that a damaged or foreign recording is
// refused instead of played wrong.
#pragma once

#include <map>
#include <string>
#include <vector>

struct replay_event {
    int frame = 0;
    std::string what;  // "key down", "mouse move", "joy axis", "close" ...
    int a = 0;         // code, button, axis, x or steps
    int b = 0;         // y, or 1 for a joystick button going down
    double value = 0;  // joystick axis position, -1 .. 1
    int line = 0;
};

// Parses a script; throws std::runtime_error naming the line on a bad one.
// A recording is checked first (see check_recording).
std::vector<replay_event> parse_replay_script(const std::string& text);

// What a recording's header and footer say.
struct recording_info {
    std::string version;
    int clock_ms = 0;     // the clock when the game started
    int best_score = 0;   // the saved values the run started from
    int mode3d = 0;
    int frames = 0;       // frames the run drew
    std::map<std::string, double> final_state;  // as the harness's state dump names them
};

constexpr const char* RECORDING_MAGIC = "# Kelvora 3D recording";

bool is_recording(const std::string& text);
// Throws std::runtime_error with a sentence a player understands when the
// text is not a whole, unchanged recording of this version of the program.
recording_info check_recording(const std::string& text);

// Builds a recording from the header values and the event lines; the footer
// and its check are added here.
std::string make_recording(const recording_info& info, const std::vector<std::string>& event_lines);

// The program's version ("1.5.0").
const char* program_version();
