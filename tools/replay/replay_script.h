// The input script of a replay: one event a line, "FRAME WHAT ARGS".
//   key down CODE | key up CODE | char CODE
//   mouse move X Y | mouse down B | mouse up B | wheel N
//   joy axis A VALUE | joy button B down|up
//   close | suspend | resume
// Blank lines and lines starting with "#" are skipped.
#pragma once

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
std::vector<replay_event> parse_replay_script(const std::string& text);
