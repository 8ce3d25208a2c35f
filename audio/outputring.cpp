#include "audio/outputring.h"

#include <algorithm>
#include <cstring>

#include "audio/mixer.h"

namespace softmix {

TOutputRing::TOutputRing(int fragment_values)
    : fragment_(fragment_values), ring_(size_t(fragment_values) * FRAGMENTS), scratch_(size_t(fragment_values))
{
}

void TOutputRing::Play(int16_t* out, int count)
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
    play_.store(p + uint64_t(count), std::memory_order_release);
}

int TOutputRing::Update(mixer& mix)
{
    const uint64_t ring = ring_.size();
    const uint64_t p = play_.load(std::memory_order_acquire);
    uint64_t w = write_.load(std::memory_order_relaxed);
    int latency = latency_.load(std::memory_order_relaxed);
    if (p > 0 && w < p + 2 * uint64_t(fragment_)) {
        // Starving: keep a longer lead from now on. What the card already
        // took unmixed was heard as silence; mixing resumes from there.
        if (latency < MAX_LATENCY) latency_.store(latency += 2, std::memory_order_relaxed);
        starvations_.fetch_add(1, std::memory_order_relaxed);
        if (w < p) w = p;
    }
    int mixed = 0;
    while (w < p + uint64_t(latency) * uint64_t(fragment_)) {
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
