// The game's audio calls. Each forwards to the sound, the channel or the
// current audio driver.
#pragma once

#include "kelvora/audio/audiodriver.h"
#include "kelvora/audio/channel.h"
#include "kelvora/audio/sample.h"
#include "kelvora/audio/sound.h"

namespace kelvora {

// flags: SOUND_LOOP to loop forever. Null when the file cannot be loaded.
TSoundPtr LoadSound(const TUrl& url, int flags = 0);
TSoundPtr LoadSound(const TAudioSamplePtr& sample, int flags = 0);
// <windows.h> makes PlaySound a macro for PlaySoundA or PlaySoundW: the declaration is
// kept from it and both of those names lead here too, so a call reaches
// the engine whichever header came first.
#pragma push_macro("PlaySound")
#undef PlaySound
TChannelPtr PlaySound(const TSoundPtr& sound, const TChannelPtr& channel = nullptr);
#ifdef _WIN32
inline TChannelPtr PlaySoundA(const TSoundPtr& sound, const TChannelPtr& channel = nullptr) { return PlaySound(sound, channel); }
inline TChannelPtr PlaySoundW(const TSoundPtr& sound, const TChannelPtr& channel = nullptr) { return PlaySound(sound, channel); }
#endif
#pragma pop_macro("PlaySound")

// Like PlaySound, but the channel starts paused until ResumeChannel.
TChannelPtr CueSound(const TSoundPtr& sound, const TChannelPtr& channel = nullptr);
TChannelPtr AllocChannel();
void StopChannel(const TChannelPtr& channel);
int ChannelPlaying(const TChannelPtr& channel);
void SetChannelVolume(const TChannelPtr& channel, float volume);
void SetChannelPan(const TChannelPtr& channel, float pan);
void SetChannelDepth(const TChannelPtr& channel, float depth);
void SetChannelRate(const TChannelPtr& channel, float rate);
void PauseChannel(const TChannelPtr& channel);
void ResumeChannel(const TChannelPtr& channel);

}  // namespace kelvora
