// The software mixer: any number of voices mixed with integer fixed point
// into one 44100 Hz 16-bit stereo stream. The game's thread starts and
// controls voices through the Mixer* operations; an output device's thread
// runs the mixing calls. The two share voices through two rings and
// per-voice setting words, without locks.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/mixersound.h"
#include "audio/spscring.h"
#include "audio/voice.h"

namespace kelvora {

namespace softmix {

class audiodevice;

// The mixing engine. mix16 runs on the output's thread and never allocates,
// frees or locks; the queue operations run on the game's thread.
class mixer : public output {
public:
    static constexpr uint32_t QUEUE_SIZE = 4096;
    // Frames of mixed time between a start call and the voice's first frame.
    static constexpr int START_LATENCY_MS = 20;

    explicit mixer(int size, int rate = 44100, int out_channels = 2);

    // Mixes count values (count / 2 frames; default: size) into out as
    // 16-bit samples and clears the accumulator.
    void mix16(int16_t* out, int count = -1);
    int size() const { return size_; }
    int rate() const { return rate_; }

    // Game thread: hands a filled voice to the mixing thread. False when
    // 4096 starts are already waiting.
    bool queue_start(sound* voice) { return starts_.Push(voice); }
    // Game thread: a voice the mixing thread is done with, if any.
    bool take_recycled(sound*& voice) { return recycled_.Pop(voice); }

private:
    enum Result { KEEP, FINISHED, PAUSED, FREE };
    void mix(int count);
    Result mix_voice(sound& voice, int32_t* acc, int frames);
    // A sound still being decoded: readies the frames n output frames at
    // rate can reach; the length to mix with.
    int FramesReady(const MixerSound& b, uint64_t position, int32_t rate, int n) const;

    std::vector<int32_t> accumulator_;
    int size_, rate_;
    [[maybe_unused]] int out_channels_;  // what the device asked for; mixing is always stereo
    sound* active_ = nullptr;
    TSpscRing<sound*, QUEUE_SIZE> starts_;    // game -> mixing thread
    TSpscRing<sound*, QUEUE_SIZE> recycled_;  // mixing thread -> game
};

}  // namespace softmix

// Starts the mixer on device: 0 on success, -1 when the device cannot start
// (the device is closed and dropped then). A running mixer is closed first.
int MixerInit(std::unique_ptr<softmix::audiodevice> device);
// Stops the output, recycles every voice and forgets the device.
void MixerClose();
// 1 while a mixer runs.
int MixerRunning();

// A sound the mixer can play, over a copy of the frames; null when no
// mixer runs or the arguments make no playable sound.
MixerSound* MixerCreateSound(int length, int bits, int channels, int hertz, const void* frames, int loop);
// The same over frames it takes over (new[], room for one frame more after
// them, as TAudioSample::Create leaves); null, the bytes still the
// caller's, when no mixer runs or no sound can be made. With a fill the
// frames are still being decoded: voices wait for those they reach.
MixerSound* MixerAdoptSound(int length, int bits, int channels, int hertz, uint8_t* frames, int loop,
                            std::shared_ptr<TSampleFill> fill = nullptr);
// Drops the caller's reference; voices still playing keep theirs.
void MixerFreeSound(MixerSound* sound);

// Channel handles: slot index in the low 12 bits, the slot's serial above.
// 0 when all 4095 channels are in use.
int MixerAllocChannel();
// Gives the channel back; a voice still playing on it plays to its end.
void MixerFreeChannel(int handle);
// Starts sound on the channel (handle 0: a channel of its own, freed with
// the voice). Returns the handle, or 0 when the voice has no channel.
int MixerPlaySound(MixerSound* sound, int paused, int handle);
void MixerStopChannel(int handle);
void MixerSetPaused(int handle, int paused);
void MixerSetVolume(int handle, float volume);
void MixerSetPan(int handle, float pan);
void MixerSetDepth(int handle, float depth);
void MixerSetRate(int handle, float rate);
// The voice's status bits; 0 for a stale or invalid handle.
int MixerChannelStatus(int handle);
// Frames played on the channel's voice.
int MixerChannelPosition(int handle);

// Bookkeeping for tests and diagnostics (game thread).
struct TMixerCounts {
    int channels_in_use = 0;
    int voices = 0;         // voices ever made by this mixer
    int voices_pooled = 0;  // back from the mixing thread, ready for reuse
};
TMixerCounts MixerCounts();

}  // namespace kelvora
