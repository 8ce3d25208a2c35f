#include "system/event_translator.h"

#include "kelvora/system/event.h"
#include "system/pointer_mapping.h"

namespace kelvora {

namespace {
// Slot of a modifier key in the held-modifier table, or -1.
int ModifierSlot(int vk)
{
    if (vk >= 160 && vk <= 165) return vk - 160;
    if (vk == 91) return 6;
    if (vk == 92) return 7;
    return -1;
}

// Generic Shift, Control and Alt are never reported; take the left one.
int SideSpecific(int vk)
{
    if (vk == 16) return 160;
    if (vk == 17) return 162;
    if (vk == 18) return 164;
    return vk;
}
}  // namespace

void TEventTranslator::Emit(int id, int data, int x, int y) { TEvent::Create(id, nullptr, data, mods_, x, y)->Emit(); }

void TEventTranslator::Close() { Emit(EVENT_APPTERMINATE, 0, 0, 0); }

void TEventTranslator::Focus(bool gained, const std::vector<int>& held)
{
    // Keys released while another window had the focus never report their
    // release here, so nothing counts as held across a focus change. Keys
    // still down when it returns are re-reported by the platform as presses
    // (held modifiers on X11 and Wayland): those are no new press.
    if (!gained) Reset();
    for (int vk : held) SetHeld(vk, true);
    Emit(gained ? EVENT_APPRESUME : EVENT_APPSUSPEND, 0, 0, 0);
}

void TEventTranslator::SetHeld(int vk, bool down)
{
    vk = SideSpecific(vk);
    if (vk < 1 || vk > 255) return;
    int slot = ModifierSlot(vk);
    if (slot >= 0) {
        mod_keys_[slot] = down;
        const bool* k = mod_keys_;
        mods_ = ((k[0] || k[1]) ? 1 : 0) + ((k[2] || k[3]) ? 2 : 0) + ((k[4] || k[5]) ? 4 : 0) + ((k[6] || k[7]) ? 8 : 0);
    }
    keys_[vk] = down;
}

void TEventTranslator::Key(int vk, bool down, bool repeat)
{
    vk = SideSpecific(vk);
    if (vk < 1 || vk > 255) return;
    int id = EVENT_KEYUP;
    if (down) id = (repeat || keys_[vk]) ? EVENT_KEYREPEAT : EVENT_KEYDOWN;
    SetHeld(vk, down);
    Emit(id, vk, 0, 0);
}

void TEventTranslator::Char(int code) { Emit(EVENT_KEYCHAR, code, 0, 0); }

void TEventTranslator::Button(int button, bool down, double window_x, double window_y)
{
    if (button < 1 || button > 3) return;
    TPointerMapping m = GetPointerMapping();
    last_x_ = WindowToGameX(m, window_x);
    last_y_ = WindowToGameY(m, window_y);
    if (down)
        buttons_ |= 1 << button;
    else
        buttons_ &= ~(1 << button);
    Emit(down ? EVENT_MOUSEDOWN : EVENT_MOUSEUP, button, last_x_, last_y_);
}

void TEventTranslator::Motion(double window_x, double window_y, int window_w, int window_h)
{
    TPointerMapping m = GetPointerMapping();
    int x = WindowToGameX(m, window_x);
    int y = WindowToGameY(m, window_y);
    bool inside = window_x >= 0 && window_x < window_w && window_y >= 0 && window_y < window_h;
    if (inside != inside_) {
        if (inside_) Emit(EVENT_MOUSELEAVE, 0, x, y);
        inside_ = inside;
        UpdateCursor();
        if (inside_) Emit(EVENT_MOUSEENTER, 0, x, y);
    }
    last_x_ = x;
    last_y_ = y;
    int held = 0;
    if (buttons_ & (1 << 1)) held = 1;
    if (buttons_ & (1 << 3)) held = 4;
    if (buttons_ & (1 << 2)) held = 2;
    Emit(EVENT_MOUSEMOVE, held, x, y);
}

void TEventTranslator::Wheel(int steps, double window_x, double window_y)
{
    TPointerMapping m = GetPointerMapping();
    Emit(EVENT_MOUSEWHEEL, steps, WindowToGameX(m, window_x), WindowToGameY(m, window_y));
}

void TEventTranslator::Leave()
{
    if (!inside_) return;
    inside_ = false;
    UpdateCursor();
    Emit(EVENT_MOUSELEAVE, 0, last_x_, last_y_);
}

void TEventTranslator::SetMouseVisible(int visible)
{
    mouse_visible_ = visible != 0;
    UpdateCursor();
}

void TEventTranslator::UpdateCursor()
{
    if (apply_cursor) apply_cursor(CursorShown());
}

void TEventTranslator::Reset()
{
    for (bool& k : keys_) k = false;
    for (bool& k : mod_keys_) k = false;
    mods_ = 0;
    buttons_ = 0;
}

}  // namespace kelvora
