#include "kelvora/audio/sound.h"

#include <map>

#include "io/background_work.h"
#include "kelvora/audio/audio.h"
#include "kelvora/audio/audiodriver.h"

namespace kelvora {

namespace {

// The samples PreloadSound is decoding, by path; used from the caller's thread alone.
std::map<std::string, std::shared_future<TAudioSamplePtr>>& Preloads()
{
    static auto* preloads = new std::map<std::string, std::shared_future<TAudioSamplePtr>>;
    return *preloads;
}

TAudioSamplePtr SampleOf(const TUrl& url)
{
    if (!url.stream && !url.text.empty()) {
        auto it = Preloads().find(url.text);
        if (it != Preloads().end()) {
            const std::shared_future<TAudioSamplePtr> sample = std::move(it->second);
            Preloads().erase(it);
            return AwaitBackground(sample);
        }
    }
    return LoadAudioSampleProgressive(url);
}

}  // namespace

void PreloadSound(const std::string& path)
{
    if (path.empty()) return;
    AudioSampleLoaders();  // the built-in loaders join the chain on this thread
    Preloads()[path] = InBackground<TAudioSamplePtr>([path] { return LoadAudioSampleProgressive(TUrl(path)); });
}

TChannelPtr TSound::Play(const TChannelPtr&) { return std::make_shared<TChannel>(); }

TChannelPtr TSound::Cue(const TChannelPtr&) { return std::make_shared<TChannel>(); }

TSoundPtr TSound::Load(const TUrl& url, int flags)
{
    // The mixer waits for frames a background decoder has not reached yet,
    // so a long sound costs the caller only its first piece.
    TAudioSamplePtr sample = SampleOf(url);
    if (!sample) return nullptr;
    return AudioDriver()->AdoptSound(std::move(sample), flags);  // decoded here, seen by no one else
}

TSoundPtr TSound::Load(const TAudioSamplePtr& sample, int flags)
{
    if (!sample) return nullptr;
    return AudioDriver()->CreateSound(sample, flags);
}

}  // namespace kelvora
