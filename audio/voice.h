// Voices: one playing instance of a sound, with the settings the game
// changes while the mixing thread reads them.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/mixersound.h"

namespace kelvora {

namespace softmix {

// Voice status bits.
enum : int {
    VOICE_FREE = 0,      // the mixer recycles it
    VOICE_STOPPED = 1,   // stopped or finished
    VOICE_ONCE = 2,      // playing once
    VOICE_LOOP = 4,      // playing in a loop
    VOICE_STREAM = 8,    // reserved for streamed sounds
    VOICE_PAUSED = 0x10  // added to VOICE_ONCE or VOICE_LOOP
};

// Fixed-point neutral settings: rate 16.16, volume 4.12, pan and depth 4.12.
constexpr int32_t NEUTRAL_RATE = 65536;
constexpr int16_t NEUTRAL_VOLUME = 4096;

// Something with playback settings. The defaults are the neutral values and
// setters are ignored. Getters take 1 for the target value, 0 for the current one.
class output {
public:
    virtual ~output() = default;
    virtual void set_rate(int32_t) {}
    virtual void set_volume(int16_t) {}
    virtual void set_pan(int16_t) {}
    virtual void set_depth(int16_t) {}
    virtual int32_t get_rate(int) const { return NEUTRAL_RATE; }
    virtual int16_t get_volume(int) const { return NEUTRAL_VOLUME; }
    virtual int16_t get_pan(int) const { return 0; }
    virtual int16_t get_depth(int) const { return 0; }
    virtual int position() const { return 0; }
};

// A voice. Fields the game's thread writes while the mixing thread runs are
// atomics (relaxed: each is read once per mixing call); the rest is handed
// over through the start and recycle rings.
class sound : public output {
public:
    // Setters store the target; while paused the current value too, so the
    // change applies at once instead of gliding (depth: target only).
    void set_rate(int32_t rate) override;
    void set_volume(int16_t volume) override;
    void set_pan(int16_t pan) override;
    void set_depth(int16_t depth) override;
    int32_t get_rate(int target) const override;
    int16_t get_volume(int target) const override;
    int16_t get_pan(int target) const override;
    int16_t get_depth(int target) const override;
    // Frames played since the start, repeats of a looping sound included.
    int position() const override;

    // Neutral settings, or a copy of another voice's targets.
    void take_settings(const output* from);

    std::atomic<int> status{VOICE_FREE};
    std::atomic<int> temporary{0};  // 1: implicit channel, or stopped
    int channel = 0;                // game thread only

    sound* next = nullptr;          // active list; mixing thread only
    MixerSound* buffer = nullptr;   // holds a reference while non-null

    uint64_t position_ = 0;                // 32.32, in sample values; wraps when looping
    std::atomic<uint64_t> played{0};       // same steps, never wrapped

    std::atomic<int32_t> rate_cur{NEUTRAL_RATE}, rate_tgt{NEUTRAL_RATE};
    std::atomic<int16_t> vol_cur{NEUTRAL_VOLUME}, vol_tgt{NEUTRAL_VOLUME};
    std::atomic<int16_t> pan_cur{0}, pan_tgt{0};
    std::atomic<int16_t> depth_cur{0}, depth_tgt{0};

    int start_ms = 0;  // Millisecs() when started
    int delay = 0;     // frames still to wait before the first one sounds; mixing thread only

    // Game-thread bookkeeping: handed to the mixing thread (start ring,
    // active list or recycle ring) rather than idle on a channel or pooled.
    bool queued = false;
    sound* pool_next = nullptr;
};

}  // namespace softmix

}  // namespace kelvora
