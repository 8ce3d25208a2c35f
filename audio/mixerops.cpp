// The game-thread side of the mixer: the channel table, voice allocation and
// the operations the driver binding calls. Voices are made and reused only
// here; the mixing thread hands finished ones back through the recycle ring.
#include <climits>
#include <cmath>
#include <exception>
#include <vector>

#include "audio/audiodevice.h"
#include "audio/channeltable.h"
#include "audio/mixer.h"
#include "kelvora/system/clock.h"

namespace kelvora {

using softmix::sound;

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

struct MixerState {
    std::unique_ptr<softmix::audiodevice> device;
    softmix::mixer* mix = nullptr;
    TChannelTable channels;
    std::vector<std::unique_ptr<sound>> voices;  // every voice made while this mixer runs
    sound* pool = nullptr;                       // voices ready for reuse
    int pooled = 0;
};

MixerState& State()
{
    // Never destroyed: channel objects may give their handles back while
    // the program's statics are torn down.
    static MixerState& state = *new MixerState;
    return state;
}

void Pool(MixerState& s, sound* v)
{
    v->queued = false;
    v->channel = 0;
    v->status.store(softmix::VOICE_FREE, kRelaxed);
    v->pool_next = s.pool;
    s.pool = v;
    ++s.pooled;
}

// Takes back what the mixing thread has finished with. A voice that still
// holds its implicit channel gives it back, unless the slot moved on.
void DrainRecycled(MixerState& s)
{
    sound* v;
    while (s.mix->take_recycled(v)) {
        if (v->channel && s.channels.Valid(v->channel) && s.channels.Voice(v->channel) == v) s.channels.Free(v->channel);
        ReleaseMixerSound(v->buffer);
        v->buffer = nullptr;
        Pool(s, v);
    }
}

// A pooled voice or a new one. Never drains the recycle ring: draining can
// free a channel the caller has already checked, so each operation drains
// once, before it looks at any handle.
sound* TakeVoice(MixerState& s)
{
    if (sound* v = s.pool) {
        s.pool = v->pool_next;
        v->pool_next = nullptr;
        --s.pooled;
        return v;
    }
    s.voices.push_back(std::make_unique<sound>());
    return s.voices.back().get();
}

// The voice of a valid channel; a channel without one gets an idle voice
// (stopped, neutral settings, not mixed) that carries its settings.
sound* ChannelVoice(MixerState& s, int handle)
{
    sound*& slot = s.channels.Voice(handle);
    if (!slot) {
        sound* v = TakeVoice(s);
        v->take_settings(nullptr);
        v->status.store(softmix::VOICE_STOPPED, kRelaxed);
        v->temporary.store(0, kRelaxed);
        v->played.store(0, kRelaxed);
        v->channel = handle;
        slot = v;
    }
    return slot;
}

// Marks a voice stopped so the next mixing call recycles it.
void MarkStopped(sound* v)
{
    v->temporary.store(1, kRelaxed);
    int st = v->status.load(kRelaxed);
    while (st != softmix::VOICE_FREE && !v->status.compare_exchange_weak(st, softmix::VOICE_STOPPED, kRelaxed)) {
    }
}

// Forgets the channel's voice and frees the slot. A voice the mixing thread
// owns plays on and is recycled when it ends; an idle one is pooled now.
void FreeChannel(MixerState& s, int handle)
{
    if (sound* v = s.channels.Voice(handle)) {
        if (v->queued)
            v->temporary.store(1, kRelaxed);
        else
            Pool(s, v);
    }
    s.channels.Free(handle);
}

// The running mixer's voice for handle, or null.
sound* Lookup(int handle)
{
    MixerState& s = State();
    if (!s.mix || !s.channels.Valid(handle)) return nullptr;
    return ChannelVoice(s, handle);
}

int16_t ToFixed16(float value, int lo, int hi)
{
    const double x = std::trunc(double(value) * 4096.0);
    if (std::isnan(x)) return 0;
    return int16_t(x < lo ? lo : x > hi ? hi : x);
}

}  // namespace

int MixerInit(std::unique_ptr<softmix::audiodevice> device)
{
    MixerState& s = State();
    if (s.device) MixerClose();
    if (!device) return -1;
    int started = -1;
    try {
        started = device->init();
    } catch (const std::exception&) {
        started = -1;  // an output that cannot start is no output: the driver falls back
    }
    if (started != 0 || !device->get_mixer()) {
        device->close();
        return -1;
    }
    s.device = std::move(device);
    s.mix = s.device->get_mixer();
    s.channels.Reset();
    return 0;
}

void MixerClose()
{
    MixerState& s = State();
    if (!s.device) return;
    s.device->close();  // no mixing call runs after this
    for (auto& v : s.voices) {
        ReleaseMixerSound(v->buffer);
        v->buffer = nullptr;
    }
    s.voices.clear();
    s.pool = nullptr;
    s.pooled = 0;
    s.channels.Reset();
    s.mix = nullptr;
    s.device.reset();
}

int MixerRunning() { return State().mix ? 1 : 0; }

MixerSound* MixerCreateSound(int length, int bits, int channels, int hertz, const void* frames, int loop)
{
    if (!State().mix) return nullptr;
    return NewMixerSound(length, bits, channels, hertz, frames, loop);
}

MixerSound* MixerAdoptSound(int length, int bits, int channels, int hertz, uint8_t* frames, int loop,
                            std::shared_ptr<TSampleFill> fill)
{
    if (!State().mix) return nullptr;
    return AdoptMixerSound(length, bits, channels, hertz, frames, loop, std::move(fill));
}

// The record does not depend on the mixer, so it goes even after MixerClose.
void MixerFreeSound(MixerSound* sound) { ReleaseMixerSound(sound); }

int MixerAllocChannel()
{
    MixerState& s = State();
    if (!s.mix) return 0;
    DrainRecycled(s);
    return s.channels.Alloc();
}

void MixerFreeChannel(int handle)
{
    MixerState& s = State();
    if (s.mix && s.channels.Valid(handle)) FreeChannel(s, handle);
}

int MixerPlaySound(MixerSound* snd, int paused, int handle)
{
    MixerState& s = State();
    if (!s.mix || !snd) return 0;
    DrainRecycled(s);
    const bool implicit = handle == 0;
    const sound* settings = nullptr;
    int h = 0;
    if (implicit) {
        h = s.channels.Alloc();  // may be 0: the voice then plays without a channel
        // ...but a paused voice without a channel could never be resumed or freed.
        if (!h && paused) return 0;
    } else {
        if (!s.channels.Valid(handle)) return 0;
        h = handle;
        settings = ChannelVoice(s, h);
    }

    const int now = Millisecs();
    sound* v = TakeVoice(s);
    v->take_settings(settings);
    ++snd->refs;
    v->buffer = snd;
    v->status.store((snd->loop ? softmix::VOICE_LOOP : softmix::VOICE_ONCE) | (paused ? softmix::VOICE_PAUSED : 0),
                    kRelaxed);
    v->position_ = 0;
    v->played.store(0, kRelaxed);
    v->start_ms = now;
    v->delay = 0;
    v->next = nullptr;
    v->temporary.store(implicit ? 1 : 0, kRelaxed);
    v->channel = h;
    v->queued = true;
    if (!s.mix->queue_start(v)) {
        // 4096 starts already wait for a mixing call: the output has stalled.
        ReleaseMixerSound(snd);
        v->buffer = nullptr;
        Pool(s, v);
        if (implicit && h) s.channels.Free(h);
        return 0;
    }
    if (h) {
        sound*& slot = s.channels.Voice(h);
        if (sound* previous = slot) {
            MarkStopped(previous);
            if (!previous->queued) Pool(s, previous);
        }
        slot = v;
    }
    return h;
}

void MixerStopChannel(int handle)
{
    MixerState& s = State();
    if (!s.mix || !s.channels.Valid(handle)) return;
    if (sound* v = s.channels.Voice(handle)) MarkStopped(v);
    FreeChannel(s, handle);
}

void MixerSetPaused(int handle, int paused)
{
    sound* v = Lookup(handle);
    if (!v) return;
    // A voice the mixing thread has just freed stays free.
    int st = v->status.load(kRelaxed);
    while (st != softmix::VOICE_FREE) {
        const int want = paused ? (st | softmix::VOICE_PAUSED) : (st & ~softmix::VOICE_PAUSED);
        if (v->status.compare_exchange_weak(st, want, kRelaxed)) break;
    }
}

void MixerSetVolume(int handle, float volume)
{
    if (sound* v = Lookup(handle)) v->set_volume(ToFixed16(volume, -32768, 32767));
}

void MixerSetPan(int handle, float pan)
{
    // Beyond the ends a pan would start inverting the other side.
    if (sound* v = Lookup(handle)) v->set_pan(ToFixed16(pan, -4096, 4096));
}

void MixerSetDepth(int handle, float depth)
{
    if (sound* v = Lookup(handle)) v->set_depth(ToFixed16(depth, -32768, 32767));
}

void MixerSetRate(int handle, float rate)
{
    sound* v = Lookup(handle);
    if (!v) return;
    double x = std::trunc(double(rate) * 65536.0);
    if (std::isnan(x) || x < 0) x = 0;  // the mixer only plays forwards
    if (x > INT_MAX) x = INT_MAX;
    v->set_rate(int32_t(x));
}

int MixerChannelStatus(int handle)
{
    sound* v = Lookup(handle);
    return v ? v->status.load(kRelaxed) : 0;
}

int MixerChannelPosition(int handle)
{
    sound* v = Lookup(handle);
    return v ? v->position() : 0;
}

TMixerCounts MixerCounts()
{
    MixerState& s = State();
    TMixerCounts c;
    if (!s.mix) return c;
    DrainRecycled(s);
    c.channels_in_use = s.channels.InUse();
    c.voices = int(s.voices.size());
    c.voices_pooled = s.pooled;
    return c;
}

}  // namespace kelvora
