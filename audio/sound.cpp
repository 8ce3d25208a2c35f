#include "kelvora/audio/sound.h"

#include "kelvora/audio/audiodriver.h"

namespace kelvora {

TChannelPtr TSound::Play(const TChannelPtr&) { return std::make_shared<TChannel>(); }

TChannelPtr TSound::Cue(const TChannelPtr&) { return std::make_shared<TChannel>(); }

TSoundPtr TSound::Load(const TUrl& url, int flags)
{
    // The mixer waits for frames a background decoder has not reached yet,
    // so a long sound costs the caller only its first piece.
    TAudioSamplePtr sample = LoadAudioSampleProgressive(url);
    if (!sample) return nullptr;
    return AudioDriver()->AdoptSound(std::move(sample), flags);  // decoded here, seen by no one else
}

TSoundPtr TSound::Load(const TAudioSamplePtr& sample, int flags)
{
    if (!sample) return nullptr;
    return AudioDriver()->CreateSound(sample, flags);
}

}  // namespace kelvora
