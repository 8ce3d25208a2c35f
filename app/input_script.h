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
//
// Players share recordings, so every byte of one is taken as hostile: the
// file's size, every number and the pads it plugs have limits, and anything
// past them is refused with a sentence naming what is wrong.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The largest script or recording read. The busiest input the recorder logs
// (the pointer and both stick axes changing every frame) takes about 100
// bytes a frame, some 22 MB an hour at 60 frames a second: this is three
// hours of that, and ten of pointer play.
constexpr size_t MAX_SCRIPT_BYTES = size_t(64) << 20;
// The last frame a script may name: 24 hours of play at 60 frames a second.
constexpr int MAX_SCRIPT_FRAMES = 24 * 60 * 60 * 60;
// Pointer positions in game pixels either way; far past any screen, and
// still whole numbers of window pixels at any scale a display gives.
constexpr int MAX_SCRIPT_POINTER = 65535;
// Notches of one wheel line; the notches of a whole script stay within an
// int, so the game's running wheel total cannot overflow.
constexpr int MAX_WHEEL_STEPS = 1000;
// Each "joy plug" gives the replay a device of its own.
constexpr int MAX_PADS_PLUGGED = 1000;

// 40 bytes: a script of the shortest lines may hold millions.
struct replay_event {
    int frame = 0;
    int line = 0;
    int a = 0;              // code, button, axis, x or steps
    int b = 0;              // y, or 1 for a joystick button going down
    double value = 0;       // joystick axis position, -1 .. 1
    std::string_view what;  // "key down", "mouse move", "joy axis", "close" ... (static text)
};

// Parses a script; throws std::runtime_error naming the line on a bad one.
// A recording is checked first (see check_recording).
std::vector<replay_event> parse_replay_script(const std::string& text);

// What a recording's header and footer say.
struct recording_info {
    std::string version;
    int clock_ms = 0;     // the clock when the game started (any int: it wraps)
    int best_score = 0;   // the saved values the run started from
    int mode3d = 0;
    std::string system;   // "Linux", "Windows" or "Web"; empty in older recordings
    int frames = 0;       // frames the run drew, at most MAX_SCRIPT_FRAMES
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

// Every byte of the script or recording file at path, read through the
// stream layer in pieces. A folder, a pipe or a socket is refused at once
// (nothing waits for a writer), and so is a file of more than
// MAX_SCRIPT_BYTES, before it is all read. Throws std::runtime_error with a
// sentence that starts with the path; `kind` names what was expected.
std::string read_script_file(const std::string& path, const char* kind = "recording");

// A piece of hostile text for a message: control characters shown as '?',
// and cut short after `most` bytes, so that it neither floods nor drives a
// terminal.
std::string shown_text(std::string_view s, size_t most);

// The program's version ("1.5.0").
const char* program_version();
// The system the program was built for, as recordings name it.
const char* program_system();
