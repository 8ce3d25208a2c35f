#include "kelvora/audio/audio.h"

namespace kelvora {

TSoundPtr LoadSound(const TUrl& url, int flags) { return TSound::Load(url, flags); }

TSoundPtr LoadSound(const TAudioSamplePtr& sample, int flags) { return TSound::Load(sample, flags); }

TChannelPtr PlaySound(const TSoundPtr& sound, const TChannelPtr& channel)
{
    return sound ? sound->Play(channel) : nullptr;
}

TChannelPtr CueSound(const TSoundPtr& sound, const TChannelPtr& channel)
{
    return sound ? sound->Cue(channel) : nullptr;
}

TChannelPtr AllocChannel() { return AudioDriver()->AllocChannel(); }

void StopChannel(const TChannelPtr& channel)
{
    if (channel) channel->Stop();
}

int ChannelPlaying(const TChannelPtr& channel) { return channel ? channel->Playing() : 0; }

void SetChannelVolume(const TChannelPtr& channel, float volume)
{
    if (channel) channel->SetVolume(volume);
}

void SetChannelPan(const TChannelPtr& channel, float pan)
{
    if (channel) channel->SetPan(pan);
}

void SetChannelDepth(const TChannelPtr& channel, float depth)
{
    if (channel) channel->SetDepth(depth);
}

void SetChannelRate(const TChannelPtr& channel, float rate)
{
    if (channel) channel->SetRate(rate);
}

void PauseChannel(const TChannelPtr& channel)
{
    if (channel) channel->SetPaused(1);
}

void ResumeChannel(const TChannelPtr& channel)
{
    if (channel) channel->SetPaused(0);
}

}  // namespace kelvora
