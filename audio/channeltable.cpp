#include "audio/channeltable.h"

namespace kelvora {

void TChannelTable::Reset()
{
    for (int i = 0; i < SLOTS; ++i) {
        slots_[i].voice = nullptr;
        slots_[i].used = false;
        slots_[i].next_free = i + 1 < SLOTS ? i + 1 : 0;
    }
    in_use_ = 0;
}

int TChannelTable::Alloc()
{
    const int index = slots_[0].next_free;
    if (index == 0) return 0;
    Slot& s = slots_[index];
    slots_[0].next_free = s.next_free;
    s.serial += SLOTS;  // wraps after 2^20 hand-outs; the index keeps the handle non-zero
    s.used = true;
    s.voice = nullptr;
    ++in_use_;
    return int(uint32_t(index) | s.serial);
}

bool TChannelTable::Valid(int handle) const
{
    const uint32_t h = uint32_t(handle);
    const uint32_t index = h & INDEX_MASK;
    if (index == 0) return false;
    const Slot& s = slots_[index];
    return s.used && s.serial == (h & ~INDEX_MASK);
}

void TChannelTable::Free(int handle)
{
    const uint32_t index = uint32_t(handle) & INDEX_MASK;
    Slot& s = slots_[index];
    s.voice = nullptr;
    s.used = false;
    s.next_free = slots_[0].next_free;
    slots_[0].next_free = int(index);
    --in_use_;
}

}  // namespace kelvora
