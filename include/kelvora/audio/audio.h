/// @file
/// The audio calls a game makes. Each forwards to the sound, the channel or
/// the current audio driver, and takes null for "none" (a null sound plays
/// nothing, a null channel ignores settings).
///
/// The first audio call opens the sound output: 44100 Hz 16-bit stereo, mixed
/// on a thread of the engine's own. Without a sound card the silent "Null"
/// driver stands in, so every call still works and returns objects that do
/// nothing. Make every call from the main thread.
#pragma once

#include "kelvora/audio/audiodriver.h"
#include "kelvora/audio/channel.h"
#include "kelvora/audio/sample.h"
#include "kelvora/audio/sound.h"

namespace kelvora {

/// Loads a WAV (8 or 16-bit PCM) or Ogg Vorbis file, from a path, an
/// "incbin::" name or a stream that can seek (one that cannot throws
/// TRuntimeException). flags: SOUND_LOOP to loop forever. Null when the file
/// cannot be opened or decoded. A long Ogg file is decoded in the
/// background while it plays; the call returns after the first piece.
TSoundPtr LoadSound(const TUrl& url, int flags = 0);
/// Starts decoding the sound at path on a background thread; the next
/// LoadSound of that path takes it, waiting for it if need be. The sound is
/// the same as without: this only moves the work, for a start-up that
/// decodes its sounds while its window opens.
void PreloadSound(const std::string& path);
/// A sound from samples already in memory (copied; the sample is not kept).
TSoundPtr LoadSound(const TAudioSamplePtr& sample, int flags = 0);
// <windows.h> makes PlaySound a macro for PlaySoundA or PlaySoundW: the declaration is
// kept from it and both of those names lead here too, so a call reaches
// the engine whichever header came first.
#pragma push_macro("PlaySound")
#undef PlaySound
/// Plays sound on channel, or on a channel of its own when channel is null,
/// and returns the channel that plays it (null when it cannot play). Playing
/// on a channel cuts off what it played and keeps its volume, pan, depth and
/// rate. A sound starts about 20 ms after the call.
///
/// Dropping the last reference to the returned channel lets the sound play to
/// its end; nothing can stop it then. Keep the channel of a looping sound.
TChannelPtr PlaySound(const TSoundPtr& sound, const TChannelPtr& channel = nullptr);
#ifdef _WIN32
inline TChannelPtr PlaySoundA(const TSoundPtr& sound, const TChannelPtr& channel = nullptr) { return PlaySound(sound, channel); }
inline TChannelPtr PlaySoundW(const TSoundPtr& sound, const TChannelPtr& channel = nullptr) { return PlaySound(sound, channel); }
#endif
#pragma pop_macro("PlaySound")

/// Like PlaySound, but the channel starts paused until ResumeChannel, so its
/// settings can be made first.
TChannelPtr CueSound(const TSoundPtr& sound, const TChannelPtr& channel = nullptr);
/// A channel of its own, silent until a sound plays on it: settings made on
/// it carry over to every sound played there. Null when all 4095 channels
/// are in use.
TChannelPtr AllocChannel();
/// Stops the channel's sound and gives the channel up: later settings do
/// nothing, and playing on it again gets a new channel (the one returned).
void StopChannel(const TChannelPtr& channel);
/// 1 while the channel sounds: not stopped, not finished, not paused.
int ChannelPlaying(const TChannelPtr& channel);
/// 0 silent, 1 as recorded, up to 8 louder (in steps of 1/4096).
void SetChannelVolume(const TChannelPtr& channel, float volume);
/// -1 left .. 0 centre .. 1 right; clamped to that range.
void SetChannelPan(const TChannelPtr& channel, float pan);
/// A negative depth inverts the right side (a surround effect); only the
/// sign counts.
void SetChannelDepth(const TChannelPtr& channel, float depth);
/// Playback speed and pitch: 1 as recorded, 2 an octave up; negative counts
/// as 0.
void SetChannelRate(const TChannelPtr& channel, float rate);
/// Holds the channel's sound where it is.
void PauseChannel(const TChannelPtr& channel);
/// Goes on from where PauseChannel or CueSound left it.
void ResumeChannel(const TChannelPtr& channel);

}  // namespace kelvora
