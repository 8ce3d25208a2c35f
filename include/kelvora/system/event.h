/// @file
/// Engine events: what the system driver makes of the platform's reports
/// (keys, mouse, focus, close) and hands to the event hook chain. Polled
/// input (input.h) is built on them; a program that wants every event adds a
/// hook to EmitEventHook().
#pragma once

#include <any>
#include <memory>
#include <string>

namespace kelvora {

/// @name Event ids
/// What TEvent::data holds is given for each.
/// @{
constexpr int EVENT_APPSUSPEND = 257;    ///< The window lost the focus; keys and buttons count as released
constexpr int EVENT_APPRESUME = 258;     ///< The window has the focus again
constexpr int EVENT_APPTERMINATE = 259;  ///< The player asked to close the window or the program
constexpr int EVENT_APPOPENFILE = 260;   ///< For programs' own use; the engine emits none
constexpr int EVENT_APPIDLE = 261;       ///< For programs' own use; the engine emits none
constexpr int EVENT_KEYDOWN = 513;       ///< A key went down; data: its KEY_ number
constexpr int EVENT_KEYUP = 514;         ///< A key went up; data: its KEY_ number
constexpr int EVENT_KEYCHAR = 515;       ///< A character was typed; data: its Unicode code point
constexpr int EVENT_KEYREPEAT = 516;     ///< A held key repeats; data: its KEY_ number
constexpr int EVENT_MOUSEDOWN = 1025;    ///< A button went down; data: 1 left, 2 right, 3 middle
constexpr int EVENT_MOUSEUP = 1026;      ///< A button went up; data: 1 left, 2 right, 3 middle
constexpr int EVENT_MOUSEMOVE = 1027;    ///< The pointer moved to x, y; data: a held button (1, 2 or 4) or 0
constexpr int EVENT_MOUSEWHEEL = 1028;   ///< The wheel turned; data: notches, > 0 away from the player
constexpr int EVENT_MOUSEENTER = 1029;   ///< The pointer came into the window
constexpr int EVENT_MOUSELEAVE = 1030;   ///< The pointer left the window
constexpr int EVENT_TIMERTICK = 2049;    ///< For programs' own use; the engine emits none
/// @}

/// @name Modifier mask bits of TEvent::mods
/// @{
constexpr int MODIFIER_SHIFT = 1;    ///< Either Shift
constexpr int MODIFIER_CONTROL = 2;  ///< Either Control
constexpr int MODIFIER_OPTION = 4;   ///< Either Alt
constexpr int MODIFIER_SYSTEM = 8;   ///< Either Windows / Super key
/// @}

/// One event, as the hooks of EmitEventHook() receive it.
class TEvent : public std::enable_shared_from_this<TEvent> {
public:
    int id = 0;                    ///< An EVENT_ id, or one of AllocUserId
    std::shared_ptr<void> source;  ///< The object the event concerns; null for system events
    int data = 0;                  ///< Key code, mouse button, wheel steps, character ...
    int mods = 0;                  ///< MODIFIER_ bits held
    /// @{
    int x = 0, y = 0;              ///< Pointer position in picture pixels, where meaningful
    /// @}
    std::any extra;                ///< Additional value; a std::string shows in ToString

    /// A new event with these fields.
    static std::shared_ptr<TEvent> Create(int id, std::shared_ptr<void> source = nullptr, int data = 0,
                                          int mods = 0, int x = 0, int y = 0, std::any extra = {});
    /// Runs the event hook chain with this event.
    void Emit();
    /// "KeyDown: data=162, mods=2, x=0, y=0, extra=\"\"".
    std::string ToString() const;

    /// Ids for application-defined events: 0x80000001, 0x80000002 ...
    static int AllocUserId();
};

/// The name ToString prints for an event id ("UserEvent5", "Unknown Event, id=7").
std::string EventName(int id);

/// The hook id of the event chain, allocated when the module starts. Hooks
/// get each event as their data (a TEvent) on the main thread, as the
/// platform's messages are pumped (PollSystem, and every input query).
int EmitEventHook();

}  // namespace kelvora
