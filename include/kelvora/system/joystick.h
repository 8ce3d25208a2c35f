// Joysticks, polled: every query reads the device, and compares its buttons
// with the previous reading to count presses. Devices come and go while the
// game runs, and port 0, the one the game reads, holds a device whenever any
// is attached: when its device goes, the device on the lowest port moves
// there, starting from a fresh reading so that nothing it holds counts as a
// press. A device that arrives takes the port it had before if that is free,
// else the lowest free port; no device in use is moved otherwise. A port
// whose device has gone reads released buttons, centred axes and no name.
// With no device every query reads 0.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {

// What a joystick API must offer; SDL in production, scripted in tests.
struct TJoyCaps {
    std::string name;
    // The same for a device that is plugged in again (its model and serial).
    std::string key;
    // Range of each axis X, Y, Z, R, U, V (unsigned device positions).
    uint32_t min[6] = {};
    uint32_t max[6] = {};
    int num_axes = 0;
    int num_buttons = 0;
    bool has_pov = false;
};

struct TJoyReading {
    uint32_t axes[6] = {};  // X, Y, Z, R, U, V positions, within the caps' range
    int num_axes = 0;       // how many of them the reading reports
    uint32_t buttons = 0;   // bit b set while button b is down
    bool has_pov = false;
    uint32_t pov = 0xFFFF;  // hundredths of a degree, clockwise from up; > 36000 centred
};

class TJoystickSystem {
public:
    virtual ~TJoystickSystem() = default;
    // Takes in arrivals and departures and lists the devices attached now,
    // in the system's order. A device keeps its id while it stays attached.
    virtual std::vector<int> Devices() = 0;
    virtual bool Caps(int id, TJoyCaps& caps) = 0;
    // The device's current position; false when it has gone.
    virtual bool Read(int id, TJoyReading& reading) = 0;
};

// SDL game controllers in the standard layout for every pad SDL has a
// mapping for, raw SDL joysticks otherwise; positions are mapped to 0..65535.
std::shared_ptr<TJoystickSystem> CreateSDLJoystickSystem();
// Null puts back the SDL one. The tables are cleared.
void SetJoystickSystem(std::shared_ptr<TJoystickSystem> system);

void InitJoystickModule();

// Takes in the devices that came or went; returns how many are attached.
int JoyCount();
// Button numbers are taken modulo 32; ports outside 0..15 read 0.
int JoyDown(int button, int port = 0);
// Presses since the last JoyHit of it (buttons 0..15; others read 0).
int JoyHit(int button, int port = 0);
// Axes in -1.0 .. 1.0: the ends of the device range read exactly -1 and 1.
float JoyX(int port = 0);
float JoyY(int port = 0);
float JoyZ(int port = 0);
float JoyR(int port = 0);
float JoyU(int port = 0);
float JoyV(int port = 0);
// The hat as a fraction of a full turn clockwise from up; -1.0 when centred.
float JoyHat(int port = 0);
// Button mask of the port's last reading.
int JoyButtons(int port = 0);
// The device's name; empty for a port without a device.
std::string JoyName(int port = 0);
// The system's id of the device on the port as last taken in (no new look
// for arrivals), or -1 when the port holds none.
int JoyPortDevice(int port = 0);

}  // namespace kelvora
