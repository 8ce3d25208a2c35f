// The mixer's channel handles. Game thread only.
#pragma once

#include <cstdint>

namespace kelvora {

namespace softmix {
class sound;
}

// 4096 slots; slot 0 heads the free list and is never handed out. A handle
// is index | serial: the slot's serial grows by 4096 each time it is handed
// out, so a handle kept after its slot was given out again no longer matches.
class TChannelTable {
public:
    static constexpr int SLOTS = 4096;
    static constexpr uint32_t INDEX_MASK = SLOTS - 1;

    TChannelTable() { Reset(); }
    // Every slot free. Serials carry on, so handles of an earlier mixer stay stale.
    void Reset();
    // 0 when all 4095 are in use.
    int Alloc();
    // Allocated and the serial matches.
    bool Valid(int handle) const;
    // The voice pointer of a valid handle's slot.
    softmix::sound*& Voice(int handle) { return slots_[uint32_t(handle) & INDEX_MASK].voice; }
    // Puts a valid handle's slot back on the free list.
    void Free(int handle);
    int InUse() const { return in_use_; }

private:
    struct Slot {
        softmix::sound* voice = nullptr;
        int next_free = 0;
        uint32_t serial = SLOTS;
        bool used = false;
    };
    Slot slots_[SLOTS];
    int in_use_ = 0;
};

}  // namespace kelvora
