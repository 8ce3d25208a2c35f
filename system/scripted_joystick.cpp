#include "system/scripted_joystick.h"

namespace kelvora {

int TScriptedJoystickSystem::AddDevice(int num_axes, int num_buttons, bool has_pov)
{
    Device d;
    d.caps.name = "Scripted joystick " + std::to_string(devices_.size());
    d.caps.key = d.caps.name;
    d.caps.num_axes = num_axes;
    d.caps.num_buttons = num_buttons;
    d.caps.has_pov = has_pov;
    for (int a = 0; a < 6; ++a) {
        d.caps.min[a] = 0;
        d.caps.max[a] = 65535;
        d.state.axes[a] = 32767;
    }
    d.state.num_axes = num_axes;
    d.state.has_pov = has_pov;
    devices_.push_back(d);
    return int(devices_.size()) - 1;
}

int TScriptedJoystickSystem::AddAbsentDevice()
{
    int id = AddDevice();
    devices_.back().attached = false;
    return id;
}

std::vector<int> TScriptedJoystickSystem::Devices()
{
    std::vector<int> ids;
    for (size_t i = 0; i < devices_.size(); ++i) {
        if (devices_[i].attached) ids.push_back(int(i));
    }
    return ids;
}

bool TScriptedJoystickSystem::Answers(int id) const
{
    return id >= 0 && id < int(devices_.size()) && devices_[size_t(id)].attached;
}

bool TScriptedJoystickSystem::Caps(int id, TJoyCaps& caps)
{
    if (!Answers(id)) return false;
    caps = devices_[size_t(id)].caps;
    return true;
}

bool TScriptedJoystickSystem::Read(int id, TJoyReading& reading)
{
    if (!Answers(id)) return false;
    ++reads;
    reading = devices_[size_t(id)].state;
    return true;
}

}  // namespace kelvora
