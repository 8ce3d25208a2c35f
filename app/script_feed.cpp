#include "app/script_feed.h"

#include "system/pointer_mapping.h"
#include "system/scripted_joystick.h"
#include "system/scripted_system_driver.h"

using namespace kelvora;

script_feed::script_feed(std::vector<replay_event> events, TScriptedSystemDriver& system,
                         TScriptedJoystickSystem& joysticks, int joy_id)
    : events_(std::move(events)), system_(system), joysticks_(joysticks), joy_id_(joy_id)
{
}

void script_feed::frame_start(int frame)
{
    while (next_ < events_.size() && events_[next_].frame <= frame)
        deliver(events_[next_++]);
}

bool script_feed::idle()
{
    if (done())
        return false;
    const int f = events_[next_].frame;
    while (next_ < events_.size() && events_[next_].frame == f)
        deliver(events_[next_++]);
    return true;
}

void script_feed::deliver(const replay_event& e)
{
    auto& dev = joysticks_.Dev(joy_id_);
    if (e.what == "key down") {
        system_.QueueKeyDown(e.a);
    } else if (e.what == "key up") {
        system_.QueueKeyUp(e.a);
    } else if (e.what == "char") {
        system_.QueueChar(e.a);
    } else if (e.what == "mouse move") {
        // Scripts give game pixels; the platform reports window pixels, and
        // a full-screen picture may be shown scaled.
        const TPointerMapping m = GetPointerMapping();
        system_.window_w = static_cast<int>(640 * m.scale + 2 * m.offset_x + 0.5);
        system_.window_h = static_cast<int>(480 * m.scale + 2 * m.offset_y + 0.5);
        system_.QueueMotion(GameToWindowX(m, e.a), GameToWindowY(m, e.b));
    } else if (e.what == "mouse down") {
        system_.QueueButton(e.a, true);
    } else if (e.what == "mouse up") {
        system_.QueueButton(e.a, false);
    } else if (e.what == "wheel") {
        system_.QueueWheel(e.a);
    } else if (e.what == "joy axis") {
        dev.state.axes[e.a] = static_cast<uint32_t>((e.value + 1.0) * 65535.0 / 2.0 + 0.5);
    } else if (e.what == "joy button") {
        dev.state.buttons = e.b ? (dev.state.buttons | (1u << e.a)) : (dev.state.buttons & ~(1u << e.a));
    } else if (e.what == "joy plug") {
        // A device of its own, so that the game's port takes it in afresh.
        dev.attached = false;
        joy_id_ = joysticks_.AddDevice(2, 4);
    } else if (e.what == "joy unplug") {
        dev.attached = false;
    } else if (e.what == "close") {
        system_.QueueClose();
    } else if (e.what == "suspend") {
        system_.QueueFocus(false);
    } else if (e.what == "resume") {
        system_.QueueFocus(true);
    }
}
