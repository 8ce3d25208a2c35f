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

void TFocusKeys::FocusGained(uint32_t time, const std::function<bool(int vk)>& still_repeating, uint32_t wait_ms)
{
    gained_at_ = time;
    wait_ms_ = wait_ms;
    for (int vk = 1; vk < 256; ++vk)
        held_at_loss_[vk] = held_at_loss_[vk] && still_repeating && still_repeating(vk);
}

void TFocusKeys::Released(int vk)
{
    if (vk >= 1 && vk <= 255) held_at_loss_[vk] = false;
}

bool TFocusKeys::HeldOver(int vk, uint32_t time)
{
    if (vk < 1 || vk > 255 || !held_at_loss_[vk]) return false;
    held_at_loss_[vk] = false;
    return time - gained_at_ <= wait_ms_ + POLL_SLACK_MS;
}
