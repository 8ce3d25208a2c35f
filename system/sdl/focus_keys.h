// Tells which key presses SDL reports after the game window gets the focus
// back are keys held over from before the focus went. X11 keeps
// auto-repeating a held key into whichever window has the focus, and SDL,
// which forgot every key when the focus left, turns the first repeat after
// the return into a fresh press: a stray shot or pause. Held modifiers come
// back at once with the focus (X11 and Wayland) and are found from SDL's
// keyboard state instead.
#pragma once

#include <cstdint>

class TFocusKeys {
public:
    // Times are SDL event timestamps in milliseconds.
    void KeyUp(int vk, uint32_t time);
    // SDL releases every held key just before it reports the focus lost.
    void FocusLost(uint32_t time);
    void FocusGained(uint32_t time);
    // True when a press of vk (not flagged repeat) is a key that was down as
    // the focus went and whose auto-repeat has carried on: it comes within a
    // repeat delay of the return and nothing released it meanwhile.
    bool HeldOver(int vk, uint32_t time);

    // The longest usual auto-repeat delay.
    static constexpr uint32_t REPEAT_DELAY_MS = 1000;

private:
    uint32_t released_at_[256] = {};
    bool held_at_loss_[256] = {};
    uint32_t gained_at_ = 0;
};
