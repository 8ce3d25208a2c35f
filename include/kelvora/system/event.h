// Engine events: what the system driver makes of the platform's reports
// (keys, mouse, focus, close) and hands to the event hook chain.
#pragma once

#include <any>
#include <memory>
#include <string>

namespace kelvora {

constexpr int EVENT_APPSUSPEND = 257;
constexpr int EVENT_APPRESUME = 258;
constexpr int EVENT_APPTERMINATE = 259;
constexpr int EVENT_APPOPENFILE = 260;
constexpr int EVENT_APPIDLE = 261;
constexpr int EVENT_KEYDOWN = 513;
constexpr int EVENT_KEYUP = 514;
constexpr int EVENT_KEYCHAR = 515;
constexpr int EVENT_KEYREPEAT = 516;
constexpr int EVENT_MOUSEDOWN = 1025;
constexpr int EVENT_MOUSEUP = 1026;
constexpr int EVENT_MOUSEMOVE = 1027;
constexpr int EVENT_MOUSEWHEEL = 1028;
constexpr int EVENT_MOUSEENTER = 1029;
constexpr int EVENT_MOUSELEAVE = 1030;
constexpr int EVENT_TIMERTICK = 2049;

// Modifier mask bits of TEvent::mods.
constexpr int MODIFIER_SHIFT = 1;
constexpr int MODIFIER_CONTROL = 2;
constexpr int MODIFIER_OPTION = 4;  // Alt
constexpr int MODIFIER_SYSTEM = 8;  // the Windows / Super key

class TEvent : public std::enable_shared_from_this<TEvent> {
public:
    int id = 0;
    std::shared_ptr<void> source;  // the object the event concerns; null for system events
    int data = 0;                  // key code, mouse button, wheel steps, character ...
    int mods = 0;                  // MODIFIER_* bits held
    int x = 0, y = 0;              // pointer position in game pixels, where meaningful
    std::any extra;                // additional value; a std::string shows in ToString

    static std::shared_ptr<TEvent> Create(int id, std::shared_ptr<void> source = nullptr, int data = 0,
                                          int mods = 0, int x = 0, int y = 0, std::any extra = {});
    // Runs the event hook chain with this event.
    void Emit();
    // "KeyDown: data=162, mods=2, x=0, y=0, extra=\"\"".
    std::string ToString() const;

    // Ids for application-defined events: 0x80000001, 0x80000002 ...
    static int AllocUserId();
};

// The name ToString prints for an event id ("UserEvent5", "Unknown Event, id=7").
std::string EventName(int id);

// The hook id of the event chain, allocated when the module starts.
int EmitEventHook();

}  // namespace kelvora
