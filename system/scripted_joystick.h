// A joystick system for tests and replays: devices whose axes, buttons and
// hat the test sets, and which can be unplugged and plugged in again (a
// device keeps its id).
#pragma once

#include <vector>

#include "kelvora/system/joystick.h"

namespace kelvora {

class TScriptedJoystickSystem : public TJoystickSystem {
public:
    struct Device {
        TJoyCaps caps;
        TJoyReading state;
        bool attached = true;
    };

    // Adds a device with range 0..65535 on every axis, centred; returns its id.
    int AddDevice(int num_axes = 2, int num_buttons = 4, bool has_pov = false);
    // A device that is not plugged in (a gap in the numbering).
    int AddAbsentDevice();
    Device& Dev(int id) { return devices_.at(size_t(id)); }

    int reads = 0;  // position reads so far

    std::vector<int> Devices() override;
    bool Caps(int id, TJoyCaps& caps) override;
    bool Read(int id, TJoyReading& reading) override;

private:
    bool Answers(int id) const;
    std::vector<Device> devices_;
};

}  // namespace kelvora
