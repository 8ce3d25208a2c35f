#include "app/web/page_input.h"

#include <emscripten.h>

#include <climits>

#include "game/globals.h"
#include "kelvora/system/event.h"
#include "kelvora/system/hook.h"

namespace kelvora {

namespace {

TPageInput* current = nullptr;
bool focus_lost = false;

// Notes a focus loss among the events a poll delivers (after every other
// hook: it changes nothing).
THookData watch_focus(int, THookData data, THookData)
{
    auto* ev = static_cast<TEvent*>(data.get());
    if (ev && ev->id == EVENT_APPSUSPEND)
        focus_lost = true;
    return data;
}

constexpr int ESCAPE = 27;

}  // namespace

TPageInput::TPageInput(std::shared_ptr<TSystemDriver> inner) : TSystemDriverWrapper(std::move(inner))
{
    current = this;
    // Once, for good: the driver may be the current one until the program's
    // statics go, the hooks' with them.
    static const bool watching = (AddHook(EmitEventHook(), watch_focus, nullptr, INT_MIN), true);
    (void)watching;
}

TPageInput::~TPageInput()
{
    if (current == this)
        current = nullptr;
}

TPageInput* TPageInput::Current() { return current; }

void TPageInput::Poll()
{
    std::vector<pending> now;
    now.swap(pending_);
    for (const pending& p : now) {
        if (p.move)
            inner_->MoveMouse(p.a, p.b);
        else
            Emit(p.a, p.b != 0);
    }
    const bool in_play = game_state == STATE_PLAY;
    focus_lost = false;
    inner_->Poll();
    if (focus_lost && in_play)
        LeavePlay(true);
}

void TPageInput::LeavePlay(bool now)
{
    if (left_)
        return;
    left_ = true;
    if (now) {
        PressNow(ESCAPE);
    } else {
        Key(ESCAPE, true);
        Key(ESCAPE, false);
    }
}

void TPageInput::MoveMouse(int x, int y) { pending_.push_back({true, x, y}); }

void TPageInput::Key(int key, bool down)
{
    // Bounded: a page that calls without the game polling (a stalled
    // program) must not grow it without end.
    if (key >= 1 && key <= 255 && pending_.size() < 4096)
        pending_.push_back({false, key, down ? 1 : 0});
}

void TPageInput::PressNow(int key)
{
    Emit(key, true);
    Emit(key, false);
}

void TPageInput::Emit(int key, bool down)
{
    if (key < 1 || key > 255)
        return;
    const bool was = held_[key];
    held_[key] = down;
    const int mods = (held_[160] || held_[161] ? MODIFIER_SHIFT : 0) |
                     (held_[162] || held_[163] ? MODIFIER_CONTROL : 0) | (held_[164] || held_[165] ? MODIFIER_OPTION : 0);
    const int id = down ? (was ? EVENT_KEYREPEAT : EVENT_KEYDOWN) : EVENT_KEYUP;
    TEvent::Create(id, nullptr, key, mods)->Emit();
}

}  // namespace kelvora

// The page's on-screen controls (touch_controls.js) press and release the
// game's keys: 37-40 the arrows, 162 Left Control, 32 Space; down 1 pressed,
// 0 released. Called from the page's touch handlers, which run while the
// program waits in a Delay: the keys are held back for the next poll.
extern "C" EMSCRIPTEN_KEEPALIVE void kv_web_touch_key(int key, int down)
{
    if (kelvora::TPageInput* input = kelvora::TPageInput::Current())
        input->Key(key, down != 0);
}
