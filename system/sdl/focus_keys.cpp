#include "system/sdl/focus_keys.h"

void TFocusKeys::KeyUp(int vk, uint32_t time)
{
    if (vk < 1 || vk > 255) return;
    released_at_[vk] = time;
    held_at_loss_[vk] = false;
}

void TFocusKeys::FocusLost(uint32_t time)
{
    // The releases SDL made up as the focus went carry the same moment (a
    // millisecond of slack for a tick between them).
    for (int vk = 1; vk < 256; ++vk)
        held_at_loss_[vk] = released_at_[vk] != 0 && time - released_at_[vk] <= 1;
}

void TFocusKeys::FocusGained(uint32_t time) { gained_at_ = time; }

bool TFocusKeys::HeldOver(int vk, uint32_t time)
{
    if (vk < 1 || vk > 255 || !held_at_loss_[vk]) return false;
    held_at_loss_[vk] = false;
    return time - gained_at_ <= REPEAT_DELAY_MS;
}
