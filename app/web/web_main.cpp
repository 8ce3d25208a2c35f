// Kelvora 3D in a browser page: the desktop program's start-up, main loop
// and shutdown, on the page's clock, with the data preloaded into the page's
// file system and the two saved values kept in the browser's storage.
#include <emscripten.h>
#include <emscripten/html5.h>
#include <unistd.h>

#include <SDL.h>

#include <memory>

#include "game/globals.h"
#include "game/host_hooks.h"
#include "game/mainloop.h"
#include "game/player.h"
#include "game/saved_values.h"
#include "runtime/program.h"
#include "kelvora/system/clock.h"
#include "system/web/browser_clock.h"

using namespace kelvora;

// app/web/kelvora3d_lib.js
extern "C" {
void kv_web_started(int best_limit);
void kv_web_value_saved(const char* file, int value);
void kv_web_frame(int frame, int state, int score, int total, int best, int mode3d, int shots, int seed, int steer);
void kv_web_ended(int status);
}

namespace {

// The folder the page's start-up fills from the browser's storage.
const char* const SAVES = "/saves";
// The preloaded data/ sits here, as beside the desktop program.
const char* const GAME_DIR = "/game";

std::shared_ptr<TBrowserClock> clock_;
unsigned yields_at_frame_ = 0;
int frame_ = 0;
// The tab was hidden during play: the next frame starts in the pause menu.
bool hidden_in_play_ = false;

// Runs while the game waits in its clock, so only notes the change for the
// next frame's start. A hidden tab has no display refresh to end the wait:
// it ends at once, and that frame pauses the game while hidden. (When the
// browser takes the focus away first, the game waits suspended instead, and
// pauses in the first frame once the tab shows.)
EM_BOOL on_visibility_change(int, const EmscriptenVisibilityChangeEvent* e, void*)
{
    if (e->hidden && game_state == STATE_PLAY) {
        hidden_in_play_ = true;
        clock_->Wake();
    }
    return EM_FALSE;
}

void on_frame_start()
{
    // A frame that overran its slot does not sleep; it still waits for a
    // display refresh of its own, or the browser would show no picture
    // (and the game would outrun the display).
    if (frame_ > 0 && clock_->Yields() == yields_at_frame_) clock_->Delay(0);
    yields_at_frame_ = clock_->Yields();
    if (hidden_in_play_) {
        hidden_in_play_ = false;
        if (game_state == STATE_PLAY) pause_game();
    }
    ++frame_;
    // The total is what the results would show now: hits less the missed
    // shots' and the escaped aliens' penalties. The steering is the last
    // frame's (1 left, -1 right, 0 none).
    const int score = player ? player->score : 0;
    kv_web_frame(frame_, game_state, score, score + wasted_penalty + escaped_penalty, player ? player->best_sc : 0,
                 mode3d, shots_fired, rnd_seed, scroll_dir);
}

}  // namespace

// The page has put a best score another tab stored into the saves folder.
extern "C" EMSCRIPTEN_KEEPALIVE void kv_web_take_stored_best() { take_stored_best(); }

int main()
{
    kv_web_started(MAX_GAME_SCORE);
    const int status = RunGuarded([] {
        if (chdir(GAME_DIR) != 0) return 1;
        clock_ = std::make_shared<TBrowserClock>();
        SetClock(clock_);
        // SDL must not sleep on its own: the game's clock yields, and only
        // code that knows it may be suspended does.
        SDL_SetHint(SDL_HINT_EMSCRIPTEN_ASYNCIFY, "0");
        SDL_SetHint(SDL_HINT_EMSCRIPTEN_KEYBOARD_ELEMENT, "#canvas");
        // The canvas is the window: 640x480 at 1:1, scaled by the page,
        // which also goes full screen.
        game_start_wishes.window = true;
        saved_values_place place;
        place.folder = SAVES;
        use_saved_values_place(place);
        // The game writes each value as it changes (a tab may be killed at
        // any time, and never end the game): each goes to storage at once.
        set_saved_value_listener([](const char* file, int value) { kv_web_value_saved(file, value); });
        game_hooks.frame_start = on_frame_start;
        emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, on_visibility_change);
        const int result = run_game();
        emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, nullptr);
        game_hooks = {};
        set_saved_value_listener(nullptr);
        return result;
    });
    kv_web_ended(status);
    return status;
}
