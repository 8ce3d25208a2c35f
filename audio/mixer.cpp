// The mixing calls. Everything here runs on the output's thread: no
// allocation, no freeing, no locks.
#include "audio/mixer.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "audio/samplefill.h"
#include "kelvora/system/clock.h"

namespace kelvora {

namespace softmix {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// Linear interpolation between values a and b of one channel; f is the
// 16-bit fraction. 8-bit values are lifted to the 16-bit range first.
// The 16-bit product of a full-scale swing and the fraction needs 33 bits:
// it is split at bit 8 of the fraction so that 32-bit lanes give the same
// floor((y - x) * f / 65536).
inline int32_t Lerp16(int32_t x, int32_t y, int32_t f)
{
    const int32_t d = y - x;
    return x + ((d * (f >> 8) + ((d * (f & 255)) >> 8)) >> 8);
}

inline int32_t Lerp8(int32_t x, int32_t y, int32_t f) { return (x * 256 - 32768) + (((y - x) * f) >> 8); }

template <int Bits>
inline int32_t Value(const uint8_t* data, uint64_t i)
{
    if constexpr (Bits == 16)
        return reinterpret_cast<const int16_t*>(data)[i];
    else
        return data[i];
}

// The same result with one wide product, cheaper where the code stays scalar.
inline int32_t Lerp16Wide(int32_t x, int32_t y, uint32_t f) { return x + int32_t((int64_t(y - x) * f) >> 16); }

template <int Bits>
inline int32_t Lerp(const uint8_t* data, uint64_t a, uint64_t b, uint32_t f)
{
    if constexpr (Bits == 16)
        return Lerp16Wide(Value<16>(data, a), Value<16>(data, b), f);
    else
        return Lerp8(Value<8>(data, a), Value<8>(data, b), int32_t(f));
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
inline int32_t Add(int32_t acc, int32_t value) { return int32_t(uint32_t(acc) + uint32_t(value)); }

struct Run {
    int64_t step;    // 16.16 source frames per output frame
    int64_t dstep;   // growth per frame while gliding
    int32_t vol256;  // volume * 256
    int32_t dvol;    // growth per frame while gliding
    int32_t pan;
    bool invert;
};

// n frames read at the source rate with a constant fraction f (a rate of
// exactly 1): consecutive values, no position arithmetic. The loops are kept
// free of branches and of anything wider than 32 bits so that the compiler
// turns them into vector code.
template <int Channels, int Bits>
void MixExact(const uint8_t* data, uint64_t i, int32_t f, int32_t* __restrict acc, int n, int32_t left, int32_t right)
{
    using T = std::conditional_t<Bits == 16, int16_t, uint8_t>;
    const T* __restrict d = reinterpret_cast<const T*>(data) + i;
    if (f == 0) {
        if constexpr (Channels == 1) {
            for (int k = 0; k < n; ++k) {
                const int32_t s = Bits == 16 ? int32_t(d[k]) : int32_t(d[k]) * 256 - 32768;
                acc[2 * k] = Add(acc[2 * k], (s * left) >> 8);
                acc[2 * k + 1] = Add(acc[2 * k + 1], (s * right) >> 8);
            }
        } else {
            for (int k = 0; k < n; ++k) {
                const int32_t sl = Bits == 16 ? int32_t(d[2 * k]) : int32_t(d[2 * k]) * 256 - 32768;
                const int32_t sr = Bits == 16 ? int32_t(d[2 * k + 1]) : int32_t(d[2 * k + 1]) * 256 - 32768;
                acc[2 * k] = Add(acc[2 * k], (sl * left) >> 8);
                acc[2 * k + 1] = Add(acc[2 * k + 1], (sr * right) >> 8);
            }
        }
        return;
    }
    for (int k = 0; k < n; ++k) {
        int32_t sl, sr;
        if constexpr (Channels == 1) {
            sl = sr = Bits == 16 ? Lerp16(d[k], d[k + 1], f) : Lerp8(d[k], d[k + 1], f);
        } else if constexpr (Bits == 16) {
            sl = Lerp16(d[2 * k], d[2 * k + 2], f);
            sr = Lerp16(d[2 * k + 1], d[2 * k + 3], f);
        } else {
            sl = Lerp8(d[2 * k], d[2 * k + 2], f);
            sr = Lerp8(d[2 * k + 1], d[2 * k + 3], f);
        }
        acc[2 * k] = Add(acc[2 * k], (sl * left) >> 8);
        acc[2 * k + 1] = Add(acc[2 * k + 1], (sr * right) >> 8);
    }
}

// n frames at any constant rate; no end test inside.
template <int Channels, int Bits>
void MixSteppedScalar(const uint8_t* data, uint64_t pos, uint64_t inc, int32_t* __restrict acc, int n, int32_t left,
                      int32_t right)
{
    for (int k = 0; k < n; ++k) {
        int32_t sl, sr;
        Fetch<Channels, Bits>(data, pos, sl, sr);
        acc[2 * k] = Add(acc[2 * k], (sl * left) >> 8);
        acc[2 * k + 1] = Add(acc[2 * k + 1], (sr * right) >> 8);
        pos += inc;
    }
}

#if defined(__SSE2__)
// The two source values each output value of one frame reads, as 16-bit
// pairs (x, y) in output order: left, right.
template <int Channels, int Bits>
inline __m128i PairsOfTwoFrames(const uint8_t* data, uint64_t frame0, uint64_t frame1)
{
    const uint64_t i0 = (frame0 >> 32) * Channels, i1 = (frame1 >> 32) * Channels;
    const __m128i zero = _mm_setzero_si128();
    if constexpr (Channels == 2 && Bits == 16) {
        const __m128i v = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(data + 2 * i0)),
                                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(data + 2 * i1)));
        return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xD8), 0xD8);  // xl xr yl yr -> xl yl xr yr
    } else if constexpr (Channels == 2) {
        uint32_t a, b;
        std::memcpy(&a, data + i0, 4);
        std::memcpy(&b, data + i1, 4);
        const __m128i v4 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(a)), _mm_cvtsi32_si128(int(b)));
        const __m128i v = _mm_unpacklo_epi8(v4, zero);
        return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xD8), 0xD8);
    } else if constexpr (Bits == 16) {
        uint32_t a, b;
        std::memcpy(&a, data + 2 * i0, 4);
        std::memcpy(&b, data + 2 * i1, 4);
        const __m128i v = _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(a)), _mm_cvtsi32_si128(int(b)));
        return _mm_unpacklo_epi32(v, v);
    } else {
        uint16_t a, b;
        std::memcpy(&a, data + i0, 2);
        std::memcpy(&b, data + i1, 2);
        const __m128i v = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(a | uint32_t(b) << 16)), zero);
        return _mm_unpacklo_epi32(v, v);
    }
}

// The same frames two at a time in 16-bit multiply-adds. With the fraction
// f = 256 fh + fl, A = x (255 - fh) + y fh and B = x (256 - fl) + y fl:
// A + (B >> 8) = 256 x + (y - x) fh + floor((y - x) fl / 256) exactly, which
// is 256 times the 16-bit interpolation before its floor, and the 8-bit one
// before its offset. Needs gains that fit 16 bits.
template <int Channels, int Bits>
void MixStepped(const uint8_t* data, uint64_t pos, uint64_t inc, int32_t* __restrict acc, int n, int32_t left,
                int32_t right)
{
    if (left < -32768 || left > 32767 || right < -32768 || right > 32767)
        return MixSteppedScalar<Channels, Bits>(data, pos, inc, acc, n, left, right);
    // Counted in frames; for stereo the position counts two values a frame
    // and the increment is even, so halving both gives the same frames.
    uint64_t frame = Channels == 1 ? pos : pos >> 1;
    const uint64_t step = Channels == 1 ? inc : inc >> 1;
    const __m128i gains = _mm_set_epi16(0, int16_t(right), 0, int16_t(left), 0, int16_t(right), 0, int16_t(left));
    const __m128i flip = _mm_set_epi16(0, 255, 0, 255, 0, 255, 0, 255);
    const __m128i one = _mm_set_epi16(0, 1, 0, 1, 0, 1, 0, 1);
    const __m128i low8 = _mm_set1_epi16(255);
    int k = 0;
    for (; k + 2 <= n; k += 2) {
        const uint64_t frame1 = frame + step;
        const __m128i xy = PairsOfTwoFrames<Channels, Bits>(data, frame, frame1);
        const uint32_t f01 = (uint32_t(frame >> 16) & 0xFFFF) | (uint32_t(frame1) & 0xFFFF0000u);
        frame = frame1 + step;
        __m128i f = _mm_unpacklo_epi16(_mm_cvtsi32_si128(int(f01)), _mm_cvtsi32_si128(int(f01)));
        f = _mm_unpacklo_epi32(f, f);  // f0 x4, f1 x4
        const __m128i fh = _mm_srli_epi16(f, 8), fl = _mm_and_si128(f, low8);
        const __m128i a = _mm_madd_epi16(xy, _mm_xor_si128(fh, flip));
        const __m128i b = _mm_madd_epi16(xy, _mm_add_epi16(_mm_xor_si128(fl, flip), one));
        const __m128i sum = _mm_add_epi32(a, _mm_srai_epi32(b, 8));
        const __m128i s = Bits == 16 ? _mm_srai_epi32(sum, 8) : _mm_sub_epi32(sum, _mm_set1_epi32(32768));
        // s fits 16 bits, so its low half times the gain is the whole product.
        const __m128i p = _mm_srai_epi32(_mm_madd_epi16(s, gains), 8);
        __m128i* out = reinterpret_cast<__m128i*>(acc + 2 * k);
        _mm_storeu_si128(out, _mm_add_epi32(_mm_loadu_si128(out), p));
    }
    if (k < n) MixSteppedScalar<Channels, Bits>(data, pos + inc * uint64_t(k), inc, acc + 2 * k, n - k, left, right);
}
#else
template <int Channels, int Bits>
void MixStepped(const uint8_t* data, uint64_t pos, uint64_t inc, int32_t* acc, int n, int32_t left, int32_t right)
{
    MixSteppedScalar<Channels, Bits>(data, pos, inc, acc, n, left, right);
}
#endif

// Mixes n frames of one voice; true when a one-shot voice reached its end.
// A constant rate mixes in stretches that end where the position crosses
// the end of the data, so the per-frame loops need no end test.
template <int Channels, int Bits>
bool MixSteady(const MixerSound& b, int length, uint64_t& pos_io, uint64_t& played_io, int32_t* acc, int n,
               const Run& r)
{
    const uint8_t* data = b.data;
    const uint64_t end = (uint64_t(length) * Channels) << 32;
    int32_t left, right;
    Levels(r.vol256 >> 8, r.pan, r.invert, left, right);
    const uint64_t inc = (uint64_t(r.step) * Channels) << 16;
    uint64_t pos = pos_io, played = played_io;
    bool finished = false;
    while (n > 0) {
        // Frames mixed before the position passes the end: each frame is
        // mixed, then the position advances and is tested.
        int m = n;
        if (inc > 0) {
            const uint64_t left_to_end = end > pos ? end - pos : 0;
            const uint64_t frames = left_to_end == 0 ? 1 : (left_to_end + inc - 1) / inc;
            if (frames < uint64_t(n)) m = int(frames);
        }
        if (inc == (uint64_t(Channels) << 32)) {
            const uint64_t frame = Channels == 1 ? pos : pos >> 1;
            const uint64_t i = (frame >> 32) * Channels;
            MixExact<Channels, Bits>(data, i, int32_t(uint32_t(frame >> 16) & 0xFFFF), acc, m, left, right);
        } else {
            MixStepped<Channels, Bits>(data, pos, inc, acc, m, left, right);
        }
        pos += inc * uint64_t(m);
        played += inc * uint64_t(m);
        acc += 2 * m;
        n -= m;
        if (pos >= end && inc > 0) {
            if (!b.loop) {
                finished = true;
                break;
            }
            pos %= end;
        }
    }
    pos_io = pos;
    played_io = played;
    return finished;
}

// Mixes n frames while the rate and volume glide; true when a one-shot
// voice reached its end. One call per change, so kept simple.
template <int Channels, int Bits>
bool MixGlide(const MixerSound& b, int length, uint64_t& pos_io, uint64_t& played_io, int32_t* acc, int n, Run r)
{
    const uint8_t* data = b.data;
    const uint64_t end = uint64_t(length) * Channels;
    const bool loop = b.loop != 0;
    uint64_t pos = pos_io, played = played_io;
    bool finished = false;
    int32_t left, right;
    for (int k = 0; k < n; ++k) {
        Levels(r.vol256 >> 8, r.pan, r.invert, left, right);
        int32_t sl, sr;
        Fetch<Channels, Bits>(data, pos, sl, sr);
        acc[2 * k] = Add(acc[2 * k], (sl * left) >> 8);
        acc[2 * k + 1] = Add(acc[2 * k + 1], (sr * right) >> 8);
        const uint64_t inc = (uint64_t(r.step) * Channels) << 16;
        pos += inc;
        played += inc;
        r.step += r.dstep;
        r.vol256 += r.dvol;
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

template <int Channels, int Bits, bool Glide>
bool MixRun(const MixerSound& b, int length, uint64_t& pos, uint64_t& played, int32_t* acc, int n, const Run& r)
{
    if constexpr (Glide)
        return MixGlide<Channels, Bits>(b, length, pos, played, acc, n, r);
    else
        return MixSteady<Channels, Bits>(b, length, pos, played, acc, n, r);
}

template <bool Glide>
bool MixLayout(const MixerSound& b, int length, uint64_t& pos, uint64_t& played, int32_t* acc, int n, const Run& r)
{
    if (b.channels == 1)
        return b.bits == 16 ? MixRun<1, 16, Glide>(b, length, pos, played, acc, n, r)
                            : MixRun<1, 8, Glide>(b, length, pos, played, acc, n, r);
    return b.bits == 16 ? MixRun<2, 16, Glide>(b, length, pos, played, acc, n, r)
                        : MixRun<2, 8, Glide>(b, length, pos, played, acc, n, r);
}

}  // namespace

mixer::mixer(int size, int rate, int out_channels)
    : accumulator_(size_t(std::max(size, 2))), size_(std::max(size, 2) & ~1), rate_(rate), out_channels_(out_channels)
{
}

int mixer::FramesReady(const MixerSound& b, uint64_t position, int32_t rate, int n) const
{
    // Frames up to where the faster of the two rates takes the position in
    // this call, and the next one for interpolation, with a frame to spare.
    const uint64_t step = uint64_t(rate) * uint64_t(b.hertz) / uint64_t(rate_);
    const uint64_t need = (position >> 32) / uint64_t(b.channels) + ((step * uint64_t(n)) >> 16) + 3;
    const int final_length = b.fill->Reach(int(std::min<uint64_t>(need, INT32_MAX)));
    // Until the decoding ends, the frames this call reaches lie before the
    // end, so the stated length serves.
    return final_length >= 0 ? final_length : b.length;
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
    const int32_t rate_cur = v.rate_cur.load(kRelaxed), rate_tgt = v.rate_tgt.load(kRelaxed);
    const int length = b.fill ? FramesReady(b, v.position_, std::max(rate_cur, rate_tgt), n) : b.length;
    const uint64_t end = uint64_t(length) * uint64_t(b.channels);
    if ((v.position_ >> 32) >= end) return FINISHED;  // nothing left to play (empty sound)

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
            finished = MixLayout<false>(b, length, v.position_, played, acc, n, r);
        }
    } else {
        // Glide from the current to the target values across this call.
        const int64_t step_tgt = int64_t(rate_tgt) * b.hertz / rate_;
        const Run r{step_cur, (step_tgt - step_cur) / n, vol_cur * 256, (vol_tgt - vol_cur) * 256 / n, pan, depth < 0};
        finished = MixLayout<true>(b, length, v.position_, played, acc, n, r);
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

}  // namespace kelvora
