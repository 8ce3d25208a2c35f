#include "system/sdl/session_end.h"

#include <atomic>

#ifdef _WIN32
#include <SDL.h>
#include <SDL_syswm.h>
#include <windows.h>

#include "kelvora/system/hook.h"
#include "kelvora/system/session_end.h"
#else
#include <signal.h>
#endif

namespace kelvora {

namespace {

// Lock-free so that a signal handler may set it.
std::atomic<bool> end_asked{false};
static_assert(std::atomic<bool>::is_always_lock_free);

#ifdef _WIN32

// Runs inside the window procedure of each of SDL's top-level windows (SDL
// reports every message there, sent ones included, and calls the watches
// before it returns), so the values are written before the answer; the
// system may end the process as soon as it has it.
int SDLCALL OnSystemMessage(void*, SDL_Event* e)
{
    if (e->type != SDL_SYSWMEVENT || !e->syswm.msg || e->syswm.msg->subsystem != SDL_SYSWM_WINDOWS) return 0;
    const UINT msg = e->syswm.msg->msg.win.msg;
    const bool ending = e->syswm.msg->msg.win.wParam != 0;
    // Every window gets the messages: the values are written once an end.
    static bool hooks_ran = false;
    if (msg == WM_QUERYENDSESSION || (msg == WM_ENDSESSION && ending)) {
        if (!hooks_ran) {
            hooks_ran = true;
            RunHooks(SessionEndHook(), nullptr);
        }
    }
    // The game leaves only once the end is certain: another program or the
    // player may still cancel it after the question.
    if (msg == WM_ENDSESSION) {
        if (ending) end_asked = true;
        else hooks_ran = false;  // cancelled: a later end writes again
    }
    return 0;
}

#else

void OnHangup(int) { end_asked = true; }

#endif

}  // namespace

void WatchSessionEnd()
{
    static bool watching = false;
    if (watching) return;
    watching = true;
#ifdef _WIN32
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    SDL_AddEventWatch(OnSystemMessage, nullptr);
#else
    struct sigaction old {};
    if (sigaction(SIGHUP, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
    struct sigaction sa {};
    sa.sa_handler = OnHangup;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGHUP, &sa, nullptr);
#endif
}

bool TakeSessionEnd() { return end_asked.exchange(false); }

}  // namespace kelvora
