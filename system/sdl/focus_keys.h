// Tells which key presses SDL reports after the game window gets the focus
// back are keys held over from before the focus went. On X11 the server
// keeps auto-repeating a held key into whichever window has the focus, and
// SDL, which forgot every key when the focus left, turns the first repeat
// after the return into a fresh press: a stray shot or pause. Only a key
// that auto-repeats and is still down as the focus returns can do that;
// keys that do not repeat (modifiers, as X servers set them up) are held
// modifiers that come back at once with the focus and are found from SDL's
// keyboard state instead. Wayland compositors report held keys themselves,
// and SDL repeats there only keys it saw pressed: no key is held over.
#pragma once

#include <cstdint>
#include <functional>

namespace kelvora {

class TFocusKeys {
public:
    // Times are SDL event timestamps in milliseconds.
    void KeyUp(int vk, uint32_t time);
    // SDL releases every held key just before it reports the focus lost.
    void FocusLost(uint32_t time);
    // still_repeating(vk): the window system says vk is down now and
    // auto-repeats (never called where it cannot say). releases_seen: every
    // real release is reported through Released, so a key stays held until
    // then; otherwise it counts as held for wait_ms, the longest wait for
    // the next repeat of a held key.
    void FocusGained(uint32_t time, const std::function<bool(int vk)>& still_repeating = {},
                     bool releases_seen = false, uint32_t wait_ms = 0);
    // The window system reported a real release of vk, which SDL does not
    // pass on for a key it let go at the focus loss.
    void Released(int vk);
    // True when a press of vk (not flagged repeat) is the first repeat of a
    // key that was down as the focus went and has stayed down since.
    bool HeldOver(int vk, uint32_t time);

    // How much later than the key's repeat the game may see it.
    static constexpr uint32_t POLL_SLACK_MS = 100;

private:
    uint32_t released_at_[256] = {};
    bool held_at_loss_[256] = {};
    uint32_t gained_at_ = 0;
    uint32_t wait_ms_ = 0;
    bool releases_seen_ = false;
};

}  // namespace kelvora
