// The mixing calls. Everything here runs on the output's thread: no
// allocation, no freeing, no locks.
#include "audio/mixer.h"

#include <algorithm>

#include "system/clock.h"

namespace softmix {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// Linear interpolation between values a and b of one channel; f is the
// 16-bit fraction. 8-bit values are lifted to the 16-bit range first.
template <int Bits>
inline int32_t Lerp(const uint8_t* data, uint64_t a, uint64_t b, uint32_t f)
{
    if constexpr (Bits == 16) {
        const auto* d = reinterpret_cast<const int16_t*>(data);
        const int32_t x = d[a], y = d[b];
        // 64-bit product: a full-scale swing times the fraction overflows 32 bits.
        return x + int32_t((int64_t(y - x) * f) >> 16);
    } else {
        const int32_t x = data[a], y = data[b];
        return (x * 256 - 32768) + (((y - x) * int32_t(f)) >> 8);
    }
}

// The left and right values at position (32.32, counted in sample values).
template <int Channels, int Bits>
inline void Fetch(const uint8_t* data, uint64_t pos, int32_t& left, int32_t& right)
{
    if constexpr (Channels == 1) {
        const uint64_t i = pos >> 32;
        const uint32_t f = uint32_t(pos >> 16) & 0xFFFF;
        left = right = Lerp<Bits>(data, i, i + 1, f);
    } else {
        const uint64_t frame = pos >> 1;
        const uint64_t i = (frame >> 32) * 2;
        const uint32_t f = uint32_t(frame >> 16) & 0xFFFF;
        left = Lerp<Bits>(data, i, i + 2, f);
        right = Lerp<Bits>(data, i + 1, i + 3, f);
    }
}

// Output gains from a 4.12 volume: the pan turns one side down linearly,
// a negative depth inverts the right side.
inline void Levels(int32_t volume, int32_t pan, bool invert, int32_t& left, int32_t& right)
{
    left = right = volume;
    if (pan > 0) left = (volume * (4096 - pan)) >> 12;
    if (pan < 0) right = (volume * (4096 + pan)) >> 12;
    if (invert) right = -right;
}

// Voices add up in the accumulator without limit; wrap rather than overflow.
inline void Add(int32_t& acc, int32_t value) { acc = int32_t(uint32_t(acc) + uint32_t(value)); }

struct Run {
    int64_t step;    // 16.16 source frames per output frame
    int64_t dstep;   // growth per frame while gliding
    int32_t vol256;  // volume * 256
    int32_t dvol;    // growth per frame while gliding
    int32_t pan;
    bool invert;
};

// Mixes n frames of one voice; true when a one-shot voice reached its end.
template <int Channels, int Bits, bool Glide>
bool MixRun(const MixerSound& b, uint64_t& pos_io, uint64_t& played_io, int32_t* acc, int n, Run r)
{
    const uint8_t* data = b.data;
    const uint64_t end = uint64_t(b.length) * Channels;
    const bool loop = b.loop != 0;
    uint64_t pos = pos_io, played = played_io;
    bool finished = false;
    int32_t left, right;
    Levels(r.vol256 >> 8, r.pan, r.invert, left, right);
    uint64_t inc = (uint64_t(r.step) * Channels) << 16;
    for (int k = 0; k < n; ++k) {
        if constexpr (Glide) Levels(r.vol256 >> 8, r.pan, r.invert, left, right);
        int32_t sl, sr;
        Fetch<Channels, Bits>(data, pos, sl, sr);
        Add(acc[2 * k], (sl * left) >> 8);
        Add(acc[2 * k + 1], (sr * right) >> 8);
        if constexpr (Glide) inc = (uint64_t(r.step) * Channels) << 16;
        pos += inc;
        played += inc;
        if constexpr (Glide) {
            r.step += r.dstep;
            r.vol256 += r.dvol;
        }
        if ((pos >> 32) >= end) {
            if (!loop) {
                finished = true;
                break;
            }
            pos %= end << 32;
        }
    }
    pos_io = pos;
    played_io = played;
    return finished;
}

template <bool Glide>
bool MixLayout(const MixerSound& b, uint64_t& pos, uint64_t& played, int32_t* acc, int n, const Run& r)
{
    if (b.channels == 1)
        return b.bits == 16 ? MixRun<1, 16, Glide>(b, pos, played, acc, n, r) : MixRun<1, 8, Glide>(b, pos, played, acc, n, r);
    return b.bits == 16 ? MixRun<2, 16, Glide>(b, pos, played, acc, n, r) : MixRun<2, 8, Glide>(b, pos, played, acc, n, r);
}

}  // namespace

mixer::mixer(int size, int rate, int out_channels)
    : accumulator_(size_t(std::max(size, 2))), size_(std::max(size, 2) & ~1), rate_(rate), out_channels_(out_channels)
{
}

mixer::Result mixer::mix_voice(sound& v, int32_t* acc, int frames)
{
    const int status = v.status.load(kRelaxed);
    if (status == VOICE_FREE) return FREE;
    if (status & VOICE_STOPPED) return FINISHED;
    if (status & VOICE_PAUSED) return PAUSED;
    if (v.delay >= frames) {
        v.delay -= frames;
        return KEEP;
    }
    acc += 2 * v.delay;
    const int n = frames - v.delay;
    v.delay = 0;

    const MixerSound& b = *v.buffer;
    const uint64_t end = uint64_t(b.length) * uint64_t(b.channels);
    if ((v.position_ >> 32) >= end) return FINISHED;  // nothing left to play (empty sound)

    const int32_t rate_cur = v.rate_cur.load(kRelaxed), rate_tgt = v.rate_tgt.load(kRelaxed);
    const int32_t vol_cur = v.vol_cur.load(kRelaxed), vol_tgt = v.vol_tgt.load(kRelaxed);
    const int16_t pan = v.pan_tgt.load(kRelaxed), depth = v.depth_tgt.load(kRelaxed);
    v.pan_cur.store(pan, kRelaxed);
    v.depth_cur.store(depth, kRelaxed);

    const int64_t step_cur = int64_t(rate_cur) * b.hertz / rate_;
    uint64_t played = v.played.load(kRelaxed);
    bool finished;
    if (rate_cur == rate_tgt && vol_cur == vol_tgt) {
        if (vol_cur == 0) {
            // Silent: only the position moves.
            const uint64_t inc = ((uint64_t(step_cur) * uint64_t(b.channels)) << 16) * uint64_t(n);
            v.position_ += inc;
            played += inc;
            finished = false;
            if ((v.position_ >> 32) >= end) {
                if (b.loop)
                    v.position_ %= end << 32;
                else
                    finished = true;
            }
        } else {
            const Run r{step_cur, 0, vol_cur * 256, 0, pan, depth < 0};
            finished = MixLayout<false>(b, v.position_, played, acc, n, r);
        }
    } else {
        // Glide from the current to the target values across this call.
        const int64_t step_tgt = int64_t(rate_tgt) * b.hertz / rate_;
        const Run r{step_cur, (step_tgt - step_cur) / n, vol_cur * 256, (vol_tgt - vol_cur) * 256 / n, pan, depth < 0};
        finished = MixLayout<true>(b, v.position_, played, acc, n, r);
        v.rate_cur.store(rate_tgt, kRelaxed);
        v.vol_cur.store(int16_t(vol_tgt), kRelaxed);
    }
    v.played.store(played, kRelaxed);
    return finished ? FINISHED : KEEP;
}

void mixer::mix(int count)
{
    const int frames = count / 2;
    int32_t* acc = accumulator_.data();

    sound* v;
    bool have_now = false;
    int now = 0;
    while (starts_.Pop(v)) {
        if (!have_now) {
            now = Millisecs();
            have_now = true;
        }
        // The voice sounds START_LATENCY_MS of mixed time after its start
        // call, so the jitter of this thread does not shift voices against
        // each other; one picked up later starts at once.
        int32_t wait = int32_t(uint32_t(v->start_ms) + uint32_t(START_LATENCY_MS) - uint32_t(now));
        wait = std::clamp(wait, 0, START_LATENCY_MS);
        v->delay = int(int64_t(wait) * rate_ / 1000);
        v->next = active_;
        active_ = v;
    }

    sound** link = &active_;
    while ((v = *link) != nullptr) {
        const Result r = mix_voice(*v, acc, frames);
        bool recycle = r == FREE;
        if (r == FINISHED) {
            if (v->temporary.load(kRelaxed)) {
                recycle = true;
            } else if (!(v->status.load(kRelaxed) & VOICE_STOPPED)) {
                v->status.store(VOICE_STOPPED, kRelaxed);  // kept so its channel can still be asked
            }
        }
        if (recycle) {
            v->status.store(VOICE_FREE, kRelaxed);
            // The game's thread drops the sound reference and reuses the
            // voice. A full ring leaves it here to try again next call.
            sound* next = v->next;
            v->next = nullptr;  // before the push: from then on the voice is the game's
            if (recycled_.Push(v)) {
                *link = next;
                continue;
            }
            v->next = next;
        }
        link = &v->next;
    }
}

void mixer::mix16(int16_t* out, int count)
{
    if (count < 0 || count > size_) count = size_;
    count &= ~1;
    mix(count);
    int32_t* acc = accumulator_.data();
    for (int i = 0; i < count; ++i) {
        // The accumulator keeps 4 bits below the output resolution.
        out[i] = int16_t(std::clamp(acc[i] >> 4, -32768, 32767));
        acc[i] = 0;
    }
}

}  // namespace softmix
