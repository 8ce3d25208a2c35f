// The audio driver over the software mixer and its outputs.
#pragma once

#include <string>

#include "kelvora/audio/audiodriver.h"
#include "audio/mixersound.h"

namespace kelvora {

class TSoftMixAudioDriver : public TAudioDriver {
public:
    // Output modes: the platform's sound card, the secondary output (none on
    // this platform), or the sound card first and the secondary if that fails.
    static constexpr int MODE_MULTIMEDIA = 0;
    static constexpr int MODE_DIRECTSOUND = 1;
    static constexpr int MODE_ANY = -1;

    TSoftMixAudioDriver(std::string name, int mode) : _name(std::move(name)), _mode(mode) {}
    // A new driver, linked at the head of the driver list.
    static std::shared_ptr<TSoftMixAudioDriver> Create(const std::string& name, int mode);

    std::string Name() override { return _name; }
    int Startup() override;
    void Shutdown() override;
    TSoundPtr CreateSound(const TAudioSamplePtr& sample, int flags) override;
    TSoundPtr AdoptSound(TAudioSamplePtr sample, int flags) override;
    TChannelPtr AllocChannel() override;

    std::string _name;
    int _mode;
};

class TSoftMixSound : public TSound {
public:
    explicit TSoftMixSound(MixerSound* sound) : mix_sound(sound) {}
    ~TSoftMixSound() override;
    static std::shared_ptr<TSoftMixSound> CreateWithSound(MixerSound* sound, const TAudioSamplePtr& sample);

    TChannelPtr Play(const TChannelPtr& channel) override;
    TChannelPtr Cue(const TChannelPtr& channel) override;

    MixerSound* mix_sound = nullptr;

private:
    TChannelPtr Start(const TChannelPtr& channel, int paused);
};

class TSoftMixChannel : public TChannel {
public:
    explicit TSoftMixChannel(int handle) : mix_channel(handle) {}
    // Gives the handle back; a sound still playing on it plays to its end.
    ~TSoftMixChannel() override;
    static std::shared_ptr<TSoftMixChannel> CreateWithChannel(int handle);

    void Stop() override;
    void SetPaused(int paused) override;
    void SetVolume(float volume) override;
    void SetPan(float pan) override;
    void SetDepth(float depth) override;
    void SetRate(float rate) override;
    int Playing() override;
    // Frames played.
    virtual int Position();

    int mix_channel = 0;
};

// Registers "SoftMix Multimedia" and "SoftMix" (the module's start-up).
void RegisterSoftMixDrivers();

}  // namespace kelvora
