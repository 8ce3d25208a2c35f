#include "render/gl/display_loss.h"

#include <SDL.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kelvora/render/graphics.h"
#include "kelvora/system/app_title.h"
#include "kelvora/system/hook.h"

namespace kelvora {

namespace {

int OnDisplayLost(Display* display)
{
    std::fprintf(stderr, "%s: the connection to the display %s was lost\n", AppTitle().c_str(),
                 display ? DisplayString(display) : "");
    RunHooks(DisplayLostHook(), nullptr);
    // Closing anything would wait on the dead connection: no exit handlers.
    std::_Exit(1);
}

}  // namespace

void WatchForDisplayLoss()
{
    static bool installed = false;
    const char* video = SDL_GetCurrentVideoDriver();
    if (installed || !video || std::strcmp(video, "x11") != 0) return;
    installed = true;
    XSetIOErrorHandler(OnDisplayLost);
}

}  // namespace kelvora
