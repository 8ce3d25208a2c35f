// The page's side of any program built with the page template
// (cmake/WebPage.cmake) that brings no page code of its own: the browser's
// clock, so that the program's waits hand the thread to the browser, and a
// call to the page at every Flip, which shows the picture once it is there.
#include <SDL.h>

#include <memory>

#include "kelvora/render/graphics.h"
#include "kelvora/system/clock.h"
#include "kelvora/system/hook.h"
#include "system/web/browser_clock.h"

using namespace kelvora;

// app/web/web_shell_lib.js
extern "C" void kv_page_frame();

namespace {

std::shared_ptr<TBrowserClock> clock_;
unsigned yields_at_flip_ = 0;

THookData OnFlip(int, THookData data, THookData)
{
    // A frame that left no time to wait in still waits for a display refresh
    // of its own: the browser shows nothing and takes no input otherwise.
    if (clock_->Yields() == yields_at_flip_) clock_->Delay(0);
    yields_at_flip_ = clock_->Yields();
    kv_page_frame();
    return data;
}

// Before main, so that the program's first wait already yields.
[[maybe_unused]] const bool installed = [] {
    clock_ = std::make_shared<TBrowserClock>();
    SetClock(clock_);
    // SDL must not sleep on its own: only the clock knows the page's pace.
    SDL_SetHint(SDL_HINT_EMSCRIPTEN_ASYNCIFY, "0");
    SDL_SetHint(SDL_HINT_EMSCRIPTEN_KEYBOARD_ELEMENT, "#canvas");
    AddHook(FlipHook(), OnFlip, nullptr);
    return true;
}();

}  // namespace
