// A fixed ring shared by exactly one writing thread and one reading thread,
// without locks. Each side owns one index; the other side only reads it.
#pragma once

#include <atomic>
#include <cstdint>

namespace kelvora {

template <typename T, uint32_t N>
class TSpscRing {
    static_assert(N > 0 && (N & (N - 1)) == 0, "ring size must be a power of two");

public:
    // Writer side. False when the ring is full (nothing is overwritten).
    bool Push(T item)
    {
        uint32_t w = write_.load(std::memory_order_relaxed);
        // Acquire: the reader must be done with a slot before it is reused.
        if (w - read_.load(std::memory_order_acquire) == N) return false;
        items_[w & (N - 1)] = item;
        write_.store(w + 1, std::memory_order_release);
        return true;
    }

    // Reader side. False when the ring is empty.
    bool Pop(T& item)
    {
        uint32_t r = read_.load(std::memory_order_relaxed);
        if (r == write_.load(std::memory_order_acquire)) return false;
        item = items_[r & (N - 1)];
        read_.store(r + 1, std::memory_order_release);
        return true;
    }

    static constexpr uint32_t Capacity() { return N; }

private:
    alignas(64) std::atomic<uint32_t> write_{0};
    alignas(64) std::atomic<uint32_t> read_{0};
    T items_[N]{};
};

}  // namespace kelvora
