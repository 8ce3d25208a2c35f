#include "audio/outputring.h"

#include <algorithm>
#include <cstring>

#include "audio/mixer.h"

namespace kelvora {

namespace softmix {

TOutputRing::TOutputRing(int fragment_values, int device_values, int rate)
    : fragment_(fragment_values),
      device_values_(std::max(device_values, 0)),
      values_per_second_(rate * 2),
      ring_(size_t(fragment_values) * FRAGMENTS),
      scratch_(size_t(fragment_values)),
      stable_values_(uint64_t(STABLE_SECONDS) * uint64_t(values_per_second_))
{
}

void TOutputRing::Play(int16_t* out, int count, int64_t now_us)
{
    const uint64_t ring = ring_.size();
    const uint64_t w = write_.load(std::memory_order_acquire);
    const uint64_t p = play_.load(std::memory_order_relaxed);
    const uint64_t ready = w > p ? std::min<uint64_t>(w - p, uint64_t(count)) : 0;
    for (uint64_t k = 0; k < ready;) {
        const uint64_t at = (p + k) % ring;
        const uint64_t n = std::min(ready - k, ring - at);
        std::memcpy(out + k, ring_.data() + at, n * sizeof(int16_t));
        k += n;
    }
    std::memset(out + ready, 0, (uint64_t(count) - ready) * sizeof(int16_t));
    if (start_us_ < 0) {
        start_us_ = now_us;
        start_lasts_us_ = int64_t(count) * 1000000 / values_per_second_;
    }
    if (ready < uint64_t(count) && now_us - start_us_ >= start_lasts_us_ && !AheadOfRealTime(p, count, now_us))
        starvations_.fetch_add(1, std::memory_order_relaxed);
    marks_[marks_count_++ % REAL_TIME_MARKS] = {now_us, p};
    play_.store(p + uint64_t(count), std::memory_order_release);
}

bool TOutputRing::AheadOfRealTime(uint64_t played, int count, int64_t now_us) const
{
    if (marks_count_ == 0) return false;
    const Mark& oldest = marks_[marks_count_ < REAL_TIME_MARKS ? 0 : marks_count_ % REAL_TIME_MARKS];
    const int64_t real = (now_us - oldest.us) * values_per_second_ / 1000000;
    const int64_t taken = int64_t(played - oldest.played);
    return taken - real > int64_t(device_values_) + count;
}

int TOutputRing::Update(mixer& mix)
{
    const uint64_t ring = ring_.size();
    const uint64_t p = play_.load(std::memory_order_acquire);
    uint64_t w = write_.load(std::memory_order_relaxed);
    int latency = latency_.load(std::memory_order_relaxed);
    const int starvations = starvations_.load(std::memory_order_relaxed);
    if (starvations != seen_starvations_) {
        seen_starvations_ = starvations;
        // Starving soon after coming down: wait longer before the next step down.
        if (came_down_ && p - stable_since_ < stable_values_ && stable_values_ < MAX_STABLE_VALUES) stable_values_ *= 2;
        came_down_ = false;
        if (latency < MAX_LATENCY) latency_.store(++latency, std::memory_order_relaxed);
        if (latency > max_latency_.load(std::memory_order_relaxed)) max_latency_.store(latency, std::memory_order_relaxed);
        stable_since_ = p;
    } else if (latency > START_LATENCY && p - stable_since_ >= stable_values_) {
        latency_.store(--latency, std::memory_order_relaxed);
        stable_since_ = p;
        came_down_ = true;
    }
    // What the card already took unmixed was heard as silence; mixing
    // resumes from there.
    if (w < p) w = p;
    const int64_t ahead = std::max<int64_t>(int64_t(latency) * fragment_ - device_values_, fragment_);
    int mixed = 0;
    while (w < p + uint64_t(ahead)) {
        mix.mix16(scratch_.data(), fragment_);
        for (uint64_t k = 0; k < uint64_t(fragment_);) {
            const uint64_t at = (w + k) % ring;
            const uint64_t n = std::min(uint64_t(fragment_) - k, ring - at);
            std::memcpy(ring_.data() + at, scratch_.data() + k, n * sizeof(int16_t));
            k += n;
        }
        w += uint64_t(fragment_);
        write_.store(w, std::memory_order_release);
        ++mixed;
    }
    write_.store(w, std::memory_order_release);
    return mixed;
}

}  // namespace softmix

}  // namespace kelvora
