// The X server's side of the keyboard, which SDL does not pass on: which
// keys auto-repeat, which are down, and the X key code behind each key SDL
// reports. The focus rule for held keys (focus_keys.h) decides from it.
// Everywhere but SDL's X11 video driver these answer "nothing known".
#pragma once

#include <SDL.h>

#include <cstdint>

namespace kelvora {

struct TX11Repeat {
    // Detectable auto-repeat: a held key sends no release before each
    // repeat, so every release the server sends is a real one.
    bool detectable = false;
    // The longest wait for the next repeat of a held key: the repeat delay
    // or the interval, whichever is longer.
    uint32_t wait_ms = 0;
    // By X key code: down now, and auto-repeating (the keyboard's global
    // auto-repeat and the key's own repeat control both on).
    bool repeating[256] = {};
};

// True when SDL's video runs on X11.
bool X11Keyboard();
// Has SDL queue the raw X events too, so that X11KeyCode can name the key
// behind each key report. Only on X11.
void EnableX11KeyCodes();
// The X key code (8..255) of a raw X key press or release, else 0.
int X11KeyCode(const SDL_Event& e, bool& press);
// Asks the X server of window; false when it is not an X11 window.
bool QueryX11Repeat(SDL_Window* window, TX11Repeat& out);

}  // namespace kelvora
