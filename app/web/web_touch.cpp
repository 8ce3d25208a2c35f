// The page's on-screen controls (touch_controls.js) press and release the
// game's keys as engine events, the ones the keyboard makes: the polled
// input tables take them as they take the keyboard's (source null, the
// system driver's), and a focus change flushes them alike.
//
// The page calls this from its touch handlers, which run while the program
// is asleep in a frame's Delay (the program is unwound then): nothing here
// sleeps, so it runs to its end at once and the program resumes unchanged.
#include <emscripten.h>

#include "kelvora/system/event.h"

using namespace kelvora;

namespace {

// Keys the controls hold, for the modifier mask the keyboard's events carry.
bool held_[256] = {};

int Mods()
{
    return (held_[160] || held_[161] ? MODIFIER_SHIFT : 0) | (held_[162] || held_[163] ? MODIFIER_CONTROL : 0) |
           (held_[164] || held_[165] ? MODIFIER_OPTION : 0);
}

}  // namespace

// key: the game's key number (37-40 arrows, 162 Left Control, 32 Space ...);
// down: 1 pressed, 0 released. A press of a key already held is a repeat,
// which the game does not count as a new press.
extern "C" EMSCRIPTEN_KEEPALIVE void kv_web_touch_key(int key, int down)
{
    if (key < 1 || key > 255) return;
    const bool was = held_[key];
    held_[key] = down != 0;
    const int id = down ? (was ? EVENT_KEYREPEAT : EVENT_KEYDOWN) : EVENT_KEYUP;
    TEvent::Create(id, nullptr, key, Mods())->Emit();
}
