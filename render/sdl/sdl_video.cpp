// Video start: SDL's video subsystem, or the reason there is no display.
#include <cstring>
#include <string>

#include "render/gl/display_loss.h"
#include "render/sdl/sdl_gl_state.h"

namespace kelvora {

namespace {

// SDL falls back to drawing nowhere (its offscreen and dummy video drivers)
// when there is no display; that counts as no display unless asked for by
// name in SDL_VIDEODRIVER.
bool InvisibleVideo()
{
    const char* name = SDL_GetCurrentVideoDriver();
    if (!name) return true;
    if (std::strcmp(name, "offscreen") != 0 && std::strcmp(name, "dummy") != 0) return false;
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    return !asked || std::strstr(asked, name) == nullptr;
}

}  // namespace

TDriverState& Driver()
{
    static TDriverState& state = *new TDriverState;
    return state;
}

bool VideoUp() { return !Driver().finished && SDL_WasInit(SDL_INIT_VIDEO) != 0; }

bool EnsureVideo()
{
    TDriverState& d = Driver();
    if (!VideoUp()) {
        if (d.video_ours) return false;  // was ours and someone shut it down
        // Our own full-screen handling decides about minimising.
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
        // SDL takes the window class (X11) and app id (Wayland) from the
        // environment when video starts; a player's own setting stays.
        const std::string& app_id = GraphicsWindowOptions().app_id;
        if (!app_id.empty()) {
            SDL_setenv("SDL_VIDEO_X11_WMCLASS", app_id.c_str(), 0);
            SDL_setenv("SDL_VIDEO_WAYLAND_WMCLASS", app_id.c_str(), 0);
        }
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            SetLastGraphicsError(std::string("No display available (") + SDL_GetError() + ")");
            return false;
        }
        if (InvisibleVideo()) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            SetLastGraphicsError("No display available (no X11 or Wayland display to open)");
            return false;
        }
        d.video_ours = true;
        WatchForDisplayLoss();
    }
    if (InvisibleVideo()) {
        SetLastGraphicsError("No display available (no X11 or Wayland display to open)");
        return false;
    }
    return true;
}

}  // namespace kelvora
