/// @file
/// Joysticks and pads, polled: every query reads the device, and compares its
/// buttons with the previous reading to count presses. Devices come and go
/// while the game runs, and port 0, the one a game reads by default, holds a
/// device whenever any is attached: when its device goes, the device on the
/// lowest port moves there, starting from a fresh reading so that nothing it
/// holds counts as a press. A device that arrives takes the port it had
/// before if that is free, else the lowest free port; no device in use is
/// moved otherwise. A port whose device has gone reads released buttons,
/// centred axes and no name. With no device every query reads 0.
///
/// Every pad SDL knows reads in one standard layout, whatever its make:
/// button 0 A (south), 1 B (east), 2 X (west), 3 Y (north), 4 and 5 the left
/// and right shoulders, 6 back, 7 start, 8 and 9 the left and right stick
/// presses; JoyX and JoyY the left stick, which the d-pad drives to exactly
/// -1 and 1 (it also reads as the hat); JoyZ and JoyR the right stick; JoyU
/// and JoyV the left and right triggers, 0 released to 1 pressed. Other
/// devices read as their driver numbers them. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {

/// What a device can do, as a joystick system reports it.
struct TJoyCaps {
    std::string name;  ///< The device's name
    /// The same for a device that is plugged in again (its model and serial).
    std::string key;
    /// Lowest position of each axis X, Y, Z, R, U, V (unsigned device positions).
    uint32_t min[6] = {};
    /// Highest position of each axis X, Y, Z, R, U, V.
    uint32_t max[6] = {};
    int num_axes = 0;      ///< Axes it has, up to 6
    int num_buttons = 0;   ///< Buttons it has, up to 32
    bool has_pov = false;  ///< It has a hat
};

/// A device's controls at one moment.
struct TJoyReading {
    uint32_t axes[6] = {};  ///< X, Y, Z, R, U, V positions, within the caps' range
    int num_axes = 0;       ///< How many of them the reading reports
    uint32_t buttons = 0;   ///< Bit b set while button b is down
    bool has_pov = false;   ///< The reading has a hat position
    uint32_t pov = 0xFFFF;  ///< Hundredths of a degree, clockwise from up; > 36000 centred
};

/// What a joystick API must offer; SDL in production, scripted in tests.
class TJoystickSystem {
public:
    virtual ~TJoystickSystem() = default;
    /// Takes in arrivals and departures and lists the devices attached now,
    /// in the system's order. A device keeps its id while it stays attached.
    virtual std::vector<int> Devices() = 0;
    /// The device's capabilities; false when it has gone.
    virtual bool Caps(int id, TJoyCaps& caps) = 0;
    /// The device's current position; false when it has gone.
    virtual bool Read(int id, TJoyReading& reading) = 0;
};

/// SDL game controllers in the standard layout for every pad SDL has a
/// mapping for, raw SDL joysticks otherwise; positions are mapped to 0..65535.
std::shared_ptr<TJoystickSystem> CreateSDLJoystickSystem();
/// Installs the joystick system the queries read; null puts back the SDL one.
/// The tables are cleared.
void SetJoystickSystem(std::shared_ptr<TJoystickSystem> system);

/// Clears the tables: no port holds a device until the next query looks.
/// Init calls it.
void InitJoystickModule();

/// Takes in the devices that came or went; returns how many are attached.
int JoyCount();
/// 1 while the button is down. Button numbers are taken modulo 32; ports
/// outside 0..15 read 0.
int JoyDown(int button, int port = 0);
/// Presses since the last JoyHit of it (buttons 0..15; others read 0).
int JoyHit(int button, int port = 0);
/// @name Axes
/// In -1.0 .. 1.0: the ends of the device range read exactly -1 and 1.
/// @{

/// Axis X: the left stick across, -1 left.
float JoyX(int port = 0);
/// Axis Y: the left stick, -1 up.
float JoyY(int port = 0);
/// Axis Z: the right stick across.
float JoyZ(int port = 0);
/// Axis R: the right stick up and down.
float JoyR(int port = 0);
/// Axis U: the left trigger.
float JoyU(int port = 0);
/// Axis V: the right trigger.
float JoyV(int port = 0);
/// @}
/// The hat as a fraction of a full turn clockwise from up; -1.0 when centred.
float JoyHat(int port = 0);
/// Button mask of the port's last reading.
int JoyButtons(int port = 0);
/// The device's name; empty for a port without a device.
std::string JoyName(int port = 0);
/// The system's id of the device on the port as last taken in (no new look
/// for arrivals), or -1 when the port holds none.
int JoyPortDevice(int port = 0);

}  // namespace kelvora
