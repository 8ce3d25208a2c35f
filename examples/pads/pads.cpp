// Pads: every connected pad with its sticks, hat and buttons, as they move.
// Plug pads in and out while it runs. Escape or closing the window quits.
//
// A pad SDL knows is read in one standard layout whatever its make:
//   buttons 0 A, 1 B, 2 X, 3 Y, 4 and 5 the shoulders, 6 back, 7 start,
//           8 and 9 the stick presses
//   X, Y the left stick (the d-pad also drives them, and the hat)
//   Z, R the right stick; U, V the triggers, 0 released to 1 pressed
// Any other joystick reports its own numbering.
#include <kelvora/kelvora.h>

#include <cmath>
#include <cstdio>
#include <string>

using namespace kelvora;

namespace {

constexpr int MAX_SHOWN = 4;  // ports shown; the engine has 16
constexpr int ROW = 116;      // height of a pad's row

// A stick as a box with a dot where it points; x and y run -1 to 1.
void DrawStick(const char* label, float x, float y, int left, int top)
{
    SetColor(90, 90, 110);
    DrawRect(left, top, 64, 64);
    SetColor(0, 0, 0);
    DrawRect(left + 1, top + 1, 62, 62);
    SetColor(120, 255, 160);
    DrawOval(left + 28 + x * 28, top + 28 + y * 28, 8, 8);
    SetColor(200, 200, 200);
    DrawText(label, left, top + 68);
}

void DrawPad(int port, int top)
{
    SetColor(255, 220, 120);
    DrawText("Port " + std::to_string(port) + ": " + JoyName(port), 16, top);
    DrawStick("left", JoyX(port), JoyY(port), 16, top + 24);
    DrawStick("right", JoyZ(port), JoyR(port), 96, top + 24);

    // The triggers as bars that fill from the bottom.
    const float triggers[2] = {JoyU(port), JoyV(port)};
    for (int t = 0; t < 2; ++t) {
        const int left = 176 + t * 20;
        SetColor(90, 90, 110);
        DrawRect(left, top + 24, 12, 64);
        SetColor(120, 255, 160);
        const float filled = std::fmax(0.0f, triggers[t]) * 64;
        DrawRect(left, top + 88 - filled, 12, filled);
    }

    // The hat: a line from the centre towards where it points.
    const float hat = JoyHat(port);  // a fraction of a turn clockwise from up, -1 centred
    SetColor(90, 90, 110);
    DrawOval(232, top + 32, 48, 48);
    if (hat >= 0) {
        const float angle = hat * 360;
        SetColor(120, 255, 160);
        DrawLine(256, top + 56, 256 + Sin(angle) * 22, top + 56 - Cos(angle) * 22);
    }
    SetColor(200, 200, 200);
    DrawText("hat", 244, top + 92);

    // Buttons 0 to 15: lit while held.
    for (int b = 0; b < 16; ++b) {
        const int left = 300 + (b % 8) * 40, y = top + 28 + (b / 8) * 36;
        if (JoyDown(b, port))
            SetColor(120, 255, 160);
        else
            SetColor(60, 60, 80);
        DrawRect(left, y, 32, 28);
        SetColor(0, 0, 0);
        DrawText(std::to_string(b), left + (b < 10 ? 12 : 8), y + 6);
    }
}

}  // namespace

int main()
{
    Init({.app_name = "Pads"});
    if (!Graphics(640, 480)) {
        std::fprintf(stderr, "pads: no window: %s\n", LastGraphicsError().c_str());
        return 1;
    }
    while (!KeyHit(KEY_ESCAPE) && !AppTerminate()) {
        // JoyCount takes in the pads that came or went since the last call.
        // Port 0 always holds a pad while any is connected: a game that reads
        // one player from port 0 keeps working when pads change.
        const int count = JoyCount();
        Cls();
        SetColor(255, 255, 255);
        if (count == 0) {
            DrawText("No pads: plug one in", 240, 232);
        } else {
            DrawText(std::to_string(count) + (count == 1 ? " pad" : " pads") + " connected", 16, 8);
            // A port whose pad has gone is empty; the others keep theirs.
            int shown = 0;
            for (int port = 0; port < 16 && shown < MAX_SHOWN; ++port) {
                if (JoyPortDevice(port) < 0) continue;
                DrawPad(port, 32 + shown * ROW);
                ++shown;
            }
        }
        Flip();
    }
    Shutdown();
    return 0;
}
