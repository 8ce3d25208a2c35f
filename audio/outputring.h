// The ring between the mixer and a sound card that pulls data on its own
// thread. A periodic refill keeps the mixed data `latency` fragments ahead
// of what the card will play next, the card's own buffer included. The lead
// starts small; each time the card really starves it grows by one fragment,
// up to ten, and after a minute without starving it comes down by one. A
// step down that starves soon doubles the wait before the next one.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace kelvora {

namespace softmix {

class mixer;

class TOutputRing {
public:
    static constexpr int FRAGMENTS = 32;
    static constexpr int START_LATENCY = 2;  // fragments, card buffer included: about 23 ms at 512 frames
    static constexpr int MAX_LATENCY = 10;
    static constexpr int STABLE_SECONDS = 60;  // without starving before the lead comes down a step

    // device_values: what the card buffers once it has taken it (SDL's
    // buffer), counted as part of the lead.
    explicit TOutputRing(int fragment_values = 1024, int device_values = 0, int rate = 44100);

    // Card side: the next count values, at now_us on a monotonic clock. What
    // has not been mixed in time is silence; the card's position moves on
    // regardless. Running short is starving whenever real time asked for
    // the values: bursts of callbacks and a late thread catching up count.
    // It is not when the card takes more than real time gives it, beyond
    // its own buffer and this request, over the last REAL_TIME_MARKS
    // requests: a card filling its buffers, as at start, where the first
    // request's duration passes before anything counts.
    void Play(int16_t* out, int count, int64_t now_us);
    // Refill side, one periodic update: adjusts the lead, then mixes whole
    // fragments until it is covered. Returns the number of fragments mixed.
    int Update(mixer& mix);

    int Latency() const { return latency_.load(std::memory_order_relaxed); }
    int LatencyValues() const { return Latency() * fragment_; }
    int Starvations() const { return starvations_.load(std::memory_order_relaxed); }
    int MaxLatency() const { return max_latency_.load(std::memory_order_relaxed); }
    uint64_t Written() const { return write_.load(std::memory_order_relaxed); }
    uint64_t Played() const { return play_.load(std::memory_order_relaxed); }

private:
    const int fragment_;
    const int device_values_;
    const int values_per_second_;
    std::vector<int16_t> ring_;
    std::vector<int16_t> scratch_;
    // Values counted since the start, not wrapped. write_ is stored only by
    // the refill, play_ only by the card; each publishes the ring slots it
    // is done with.
    std::atomic<uint64_t> write_{0};
    std::atomic<uint64_t> play_{0};
    std::atomic<int> latency_{START_LATENCY};
    std::atomic<int> max_latency_{START_LATENCY};
    std::atomic<int> starvations_{0};
    // Card side only: when the card started, and where it stood at its
    // last requests, to compare with real time.
    static constexpr int REAL_TIME_MARKS = 64;
    struct Mark {
        int64_t us;
        uint64_t played;
    };
    bool AheadOfRealTime(uint64_t played, int count, int64_t now_us) const;
    int64_t start_us_ = -1;
    int64_t start_lasts_us_ = 0;
    Mark marks_[REAL_TIME_MARKS] = {};
    uint64_t marks_count_ = 0;
    // Refill side only.
    int seen_starvations_ = 0;
    uint64_t stable_since_ = 0;
    uint64_t stable_values_;  // played without starving before the next step down
    bool came_down_ = false;
    static constexpr uint64_t MAX_STABLE_VALUES = 64ull * 60 * 88200;
};

}  // namespace softmix

}  // namespace kelvora
