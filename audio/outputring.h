// The ring between the mixer and a sound card that pulls data on its own
// thread. A periodic refill keeps the mixed data `latency` fragments ahead
// of what the card has taken; when the card gets within two fragments of
// the mixed data (the refill fell behind), the latency grows by two
// fragments, up to ten.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace softmix {

class mixer;

class TOutputRing {
public:
    static constexpr int FRAGMENTS = 32;
    static constexpr int START_LATENCY = 6;  // fragments: about 70 ms at 512 frames
    static constexpr int MAX_LATENCY = 10;

    explicit TOutputRing(int fragment_values = 1024);

    // Card side: the next count values. What has not been mixed in time is
    // silence; the card's position moves on regardless.
    void Play(int16_t* out, int count);
    // Refill side, one periodic update: mixes whole fragments until the
    // latency is covered. Returns the number of fragments mixed.
    int Update(mixer& mix);

    int Latency() const { return latency_.load(std::memory_order_relaxed); }
    int Starvations() const { return starvations_.load(std::memory_order_relaxed); }
    uint64_t Written() const { return write_.load(std::memory_order_relaxed); }
    uint64_t Played() const { return play_.load(std::memory_order_relaxed); }

private:
    const int fragment_;
    std::vector<int16_t> ring_;
    std::vector<int16_t> scratch_;
    // Values counted since the start, not wrapped. write_ is stored only by
    // the refill, play_ only by the card; each publishes the ring slots it
    // is done with.
    std::atomic<uint64_t> write_{0};
    std::atomic<uint64_t> play_{0};
    std::atomic<int> latency_{START_LATENCY};
    std::atomic<int> starvations_{0};
};

}  // namespace softmix
