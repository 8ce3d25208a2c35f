// Kelvora 3D in a browser page: the desktop program's start-up, main loop
// and shutdown, on the page's clock, with the data preloaded into the page's
// file system and the two saved values kept in the browser's storage. The
// session is recorded as --record records it on the desktop, and each game's
// end hands the recording so far to the page, which may send it to a score
// table (app/web/scores.js).
#include <emscripten.h>
#include <emscripten/html5.h>
#include <unistd.h>

#include <SDL.h>

#include <memory>

#include "app/session_recording.h"
#include "app/web/page_input.h"
#include "game/globals.h"
#include "game/host_hooks.h"
#include "game/mainloop.h"
#include "game/player.h"
#include "game/saved_values.h"
#include "runtime/program.h"
#include "kelvora/render/graphics.h"
#include "kelvora/system/clock.h"
#include "kelvora/system/hook.h"
#include "kelvora/system/joystick.h"
#include "system/web/browser_clock.h"

using namespace kelvora;

// app/web/kelvora3d_lib.js
extern "C" {
void kv_web_started(int best_limit);
void kv_web_value_saved(const char* file, int value);
void kv_web_frame(int frame, int state, int score, int total, int best, int mode3d, int shots, int seed, int steer);
void kv_web_game_ended(const char* recording, int length, int final_score);
void kv_web_ended(int status);
}

namespace {

// The folder the page's start-up fills from the browser's storage.
const char* const SAVES = "/saves";
// The preloaded data/ sits here, as beside the desktop program.
const char* const GAME_DIR = "/game";

std::shared_ptr<TPacedBrowserClock> clock_;
std::shared_ptr<TPageInput> input_;
session_recording* session_ = nullptr;
// The page asked for the recording so far (kv_web_send_recording_so_far).
bool send_so_far_ = false;
unsigned yields_at_frame_ = 0;
int frame_ = 0;
// From Flip's start to the next frame's start (or a suspended wait): the
// game reads its keys after Flip's wait, in the same frame.
bool in_flip_ = false;

// Runs while the game waits in its clock. A game in play whose tab is
// hidden pauses as Escape pauses it: pressed now, in Flip's wait, the frame
// in progress ends in the pause menu. A hidden tab has no display refresh
// to end the wait: it ends at once, and that frame pauses the game while
// hidden. (Where the browser takes the focus away first, the game has
// paused already: TPageInput.)
EM_BOOL on_visibility_change(int, const EmscriptenVisibilityChangeEvent* e, void*)
{
    if (!e->hidden || game_state != STATE_PLAY || !input_)
        return EM_FALSE;
    // (At the frame's own start, its poll is next.)
    input_->LeavePlay(in_flip_);
    clock_->Wake();
    return EM_FALSE;
}

THookData on_flip(int, THookData data, THookData)
{
    in_flip_ = true;
    return data;
}

void on_idle() { in_flip_ = false; }

void on_frame_start()
{
    in_flip_ = false;
    if (input_)
        input_->BeginFrame();
    // A frame that left no time to wait in (after a wait that moved the
    // clock on, as a suspended one) still waits for a display refresh of
    // its own, or the browser would show no picture. The clock does not
    // move for it, and what arrives meanwhile waits for the frame's poll.
    if (frame_ > 0 && clock_->Yields() == yields_at_frame_) clock_->Delay(0);
    yields_at_frame_ = clock_->Yields();
    ++frame_;
    // The total is what the results would show now: hits less the missed
    // shots' and the escaped aliens' penalties. The steering is the last
    // frame's (1 left, -1 right, 0 none).
    const int score = player ? player->score : 0;
    const int total = score + wasted_penalty + escaped_penalty;
    kv_web_frame(frame_, game_state, score, total, player ? player->best_sc : 0, mode3d, shots_fired, rnd_seed,
                 scroll_dir);
    if (send_so_far_ && session_) {
        // Between frames, as at a game's end: the state after the last one.
        send_so_far_ = false;
        const std::string text = session_->so_far();
        kv_web_game_ended(text.data(), static_cast<int>(text.size()), total);
    }
}

}  // namespace

// The page has put a best score another tab stored into the saves folder:
// 1 when the game took it (a change the session's recording cannot hold).
extern "C" EMSCRIPTEN_KEEPALIVE int kv_web_take_stored_best()
{
    const int before = player ? player->best_sc : 0;
    take_stored_best();
    return player && player->best_sc != before ? 1 : 0;
}

// For the page's tests: the session's recording up to the next frame's
// start goes to the page as a game's end hands it over (sent, with a name).
extern "C" EMSCRIPTEN_KEEPALIVE void kv_web_send_recording_so_far() { send_so_far_ = true; }

int main()
{
    kv_web_started(MAX_GAME_SCORE);
    const int status = RunGuarded([] {
        if (chdir(GAME_DIR) != 0) return 1;
        // The game reads time only through this clock's delays, as the
        // replay harness's virtual clock: the same start gives the same seed.
        const int clock_ms = TBrowserClock().Millisecs();
        clock_ = std::make_shared<TPacedBrowserClock>(clock_ms);
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
        // The page's hooks first: the recording's run after them.
        game_hooks.frame_start = on_frame_start;
        game_hooks.idle = on_idle;
        AddHook(FlipHook(), on_flip, nullptr);
        input_ = std::make_shared<TPageInput>(CreateSDLSystemDriver());
        int result = 0;
        {
            session_recording session(input_, CreateSDLJoystickSystem(), clock_ms);
            session.on_game_end = [](const std::string& text, int final_score) {
                kv_web_game_ended(text.data(), static_cast<int>(text.size()), final_score);
            };
            // (Forgotten however the game ends: an error included.)
            struct current {
                explicit current(session_recording& s) { session_ = &s; }
                ~current() { session_ = nullptr; }
            } in_use(session);
            emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, on_visibility_change);
            result = run_game();
            emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, nullptr);
        }
        RemoveHook(FlipHook(), on_flip, nullptr);
        game_hooks = {};
        set_saved_value_listener(nullptr);
        return result;
    });
    kv_web_ended(status);
    return status;
}
