// Turns what the platform reports about the game window into engine events,
// the same way for every system driver: side-specific key codes and repeats,
// the modifier mask, mouse buttons, pointer enter and leave, and pointer
// visibility. Positions arrive in window pixels and leave in game pixels
// (through the current pointer mapping).
#pragma once

#include <functional>
#include <vector>

namespace kelvora {

class TEventTranslator {
public:
    // Close request of the window or the application.
    void Close();
    // held: keys the platform reports down as the focus comes back. They
    // count as held over from before: their down report is a repeat, and
    // only a press after their release is a new press.
    void Focus(bool gained, const std::vector<int>& held = {});
    // vk: virtual-key number 1..255, with Shift/Control/Alt already given as
    // their left/right codes 160..165. A press of a key that is already down
    // (or one flagged repeat) is a KeyRepeat.
    void Key(int vk, bool down, bool repeat);
    void Char(int code);
    // button: 1 left, 2 right, 3 middle.
    void Button(int button, bool down, double window_x, double window_y);
    // The pointer moved; window_w x window_h is the window's size, which
    // decides whether the pointer is inside it.
    void Motion(double window_x, double window_y, int window_w, int window_h);
    // steps > 0 away from the user, < 0 towards.
    void Wheel(int steps, double window_x, double window_y);
    // The platform says the pointer has left the window.
    void Leave();

    void SetMouseVisible(int visible);
    // Called with true/false whenever the pointer should be shown or hidden.
    std::function<void(bool)> apply_cursor;

    int Mods() const { return mods_; }
    bool Held(int vk) const { return vk >= 0 && vk < 256 && keys_[vk]; }
    bool Inside() const { return inside_; }
    bool CursorShown() const { return mouse_visible_ || !inside_; }
    // Forgets held keys and buttons (when the focus is lost).
    void Reset();

private:
    void Emit(int id, int data, int x, int y);
    void SetHeld(int vk, bool down);
    void UpdateCursor();

    int mods_ = 0;
    bool keys_[256] = {};    // held, to tell a repeat from a new press
    bool mod_keys_[8] = {};  // 160..165, then 91, 92
    int buttons_ = 0;        // bit per button 1..3
    bool inside_ = false;
    int last_x_ = 0, last_y_ = 0;  // game pixels
    bool mouse_visible_ = true;
};

}  // namespace kelvora
