/// @file
/// A loaded sound, ready to play on channels of the driver that made it.
#pragma once

#include <memory>

#include "kelvora/audio/channel.h"
#include "kelvora/audio/sample.h"
#include "kelvora/io/stream.h"

namespace kelvora {

class TSound;
/// A sound. Its frames stay in memory while anyone holds it or a channel
/// still plays it, and go with the last of them.
using TSoundPtr = std::shared_ptr<TSound>;

/// Load flag: loop the sound forever.
constexpr int SOUND_LOOP = 1;

/// A sound of the current audio driver, as LoadSound makes it. The base
/// sound is silent: Play and Cue hand out channels that do nothing.
class TSound {
public:
    virtual ~TSound() = default;
    /// Plays on channel (null: a channel of its own). Returns the channel
    /// that plays it, or null when it cannot play.
    virtual TChannelPtr Play(const TChannelPtr& channel);
    /// As Play, but the channel starts paused so settings can be made first.
    virtual TChannelPtr Cue(const TChannelPtr& channel);

    /// Decodes url (LoadAudioSample) and makes a sound of the current audio
    /// driver; null when the file cannot be opened or decoded.
    static TSoundPtr Load(const TUrl& url, int flags);
    /// A sound from a decoded sample; the sample is not kept.
    static TSoundPtr Load(const TAudioSamplePtr& sample, int flags);
};

}  // namespace kelvora
