#include "system/sdl/focus_keys.h"

namespace kelvora {

void TFocusKeys::KeyUp(int vk, uint32_t time)
{
    if (vk < 1 || vk > 255) return;
    released_at_[vk] = time;
    held_at_loss_[vk] = false;
}

void TFocusKeys::FocusLost(uint32_t time)
{
    // The releases SDL made up as the focus went come just before (slack
    // for a busy machine: a key really let go just before is found up again
    // as the focus returns).
    for (int vk = 1; vk < 256; ++vk)
        held_at_loss_[vk] = released_at_[vk] != 0 && time - released_at_[vk] <= POLL_SLACK_MS;
}

void TFocusKeys::FocusGained(uint32_t time, const std::function<bool(int vk)>& still_repeating, bool releases_seen,
                             uint32_t wait_ms)
{
    gained_at_ = time;
    releases_seen_ = releases_seen;
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
    return releases_seen_ || time - gained_at_ <= wait_ms_ + POLL_SLACK_MS;
}

}  // namespace kelvora
