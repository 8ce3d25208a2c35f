#include "system/sdl/x11_keyboard.h"

#include <cstring>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <SDL_syswm.h>
#include <X11/XKBlib.h>
#endif

namespace kelvora {

#if defined(SDL_VIDEO_DRIVER_X11)

bool X11Keyboard()
{
    const char* video = SDL_GetCurrentVideoDriver();
    return video && std::strcmp(video, "x11") == 0;
}

void EnableX11KeyCodes()
{
    if (X11Keyboard()) SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

int X11KeyCode(const SDL_Event& e, bool& press)
{
    if (e.type != SDL_SYSWMEVENT || !e.syswm.msg || e.syswm.msg->subsystem != SDL_SYSWM_X11) return 0;
    const XEvent& x = e.syswm.msg->msg.x11.event;
    if (x.type != KeyPress && x.type != KeyRelease) return 0;
    press = x.type == KeyPress;
    return x.xkey.keycode < 256 ? int(x.xkey.keycode) : 0;
}

bool QueryX11Repeat(SDL_Window* window, TX11Repeat& out)
{
    out = {};
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    Display* display = info.info.x11.display;

    // The core protocol's answer covers every X server; XKB adds the delay
    // and the interval where it runs.
    XKeyboardState core;
    XGetKeyboardControl(display, &core);
    char down[32];
    XQueryKeymap(display, down);
    if (core.global_auto_repeat == AutoRepeatModeOn) {
        for (int code = 8; code < 256; ++code) {
            int byte = code / 8, bit = 1 << (code % 8);
            out.repeating[code] = (core.auto_repeats[byte] & bit) && (down[byte] & bit);
        }
    }
    Bool supported = False;
    out.detectable = XkbGetDetectableAutoRepeat(display, &supported) && supported;
    // The X server's own defaults where XKB does not say.
    unsigned delay = 660, interval = 40;
    if (XkbDescPtr xkb = XkbAllocKeyboard()) {
        if (XkbGetControls(display, XkbRepeatKeysMask, xkb) == Success && xkb->ctrls) {
            delay = xkb->ctrls->repeat_delay;
            interval = xkb->ctrls->repeat_interval;
        }
        XkbFreeKeyboard(xkb, 0, True);
    }
    out.wait_ms = delay > interval ? delay : interval;
    return true;
}

#else

bool X11Keyboard() { return false; }
void EnableX11KeyCodes() {}
int X11KeyCode(const SDL_Event&, bool&) { return 0; }
bool QueryX11Repeat(SDL_Window*, TX11Repeat& out)
{
    out = {};
    return false;
}

#endif

}  // namespace kelvora
