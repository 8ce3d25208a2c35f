#include "audio/softmixdriver.h"

#include "audio/manualaudiodevice.h"
#include "audio/mixer.h"
#include "audio/output_device.h"
#include "audio/voice.h"

namespace kelvora {

namespace {

// Starts the mixer on the output of one mode; true on success.
bool StartOutput(int mode)
{
    if (mode != TSoftMixAudioDriver::MODE_MULTIMEDIA) return false;  // no secondary output here
    if (ManualAudioOutputInUse()) return MixerInit(std::make_unique<softmix::manualdevice>()) == 0;
    return MixerInit(MakeSoundCardDevice()) == 0;
}

}  // namespace

std::shared_ptr<TSoftMixAudioDriver> TSoftMixAudioDriver::Create(const std::string& name, int mode)
{
    auto driver = std::make_shared<TSoftMixAudioDriver>(name, mode);
    RegisterAudioDriver(driver);
    return driver;
}

int TSoftMixAudioDriver::Startup()
{
    if (_mode == MODE_ANY) return StartOutput(MODE_MULTIMEDIA) || StartOutput(MODE_DIRECTSOUND) ? 1 : 0;
    return StartOutput(_mode) ? 1 : 0;
}

void TSoftMixAudioDriver::Shutdown() { MixerClose(); }

namespace {

// A sound over the sample's frames; with adopt, frames nobody else can see
// any more are taken over rather than copied, so a decoded sound is kept once.
TSoundPtr MakeSound(const TAudioSamplePtr& sample, int flags, bool adopt)
{
    if (!sample) return nullptr;
    const int channels = sample->Channels();
    if (channels == 0) return nullptr;
    // The mixer reads 16-bit values in the machine's (little-endian) order.
    TAudioSamplePtr converted;
    if (sample->format == FORMAT_MONO16BE) converted = sample->Convert(FORMAT_MONO16LE);
    if (sample->format == FORMAT_STEREO16BE) converted = sample->Convert(FORMAT_STEREO16LE);
    const TAudioSamplePtr& pcm = converted ? converted : sample;
    const int bits = pcm->FrameBytes() * 8 / channels;
    const int loop = flags & SOUND_LOOP;
    MixerSound* sound = nullptr;
    if ((adopt || converted) && pcm.use_count() == 1 && pcm->spare_room) {
        sound = MixerAdoptSound(pcm->length, bits, channels, pcm->hertz, pcm->samples, loop, pcm->fill);
        if (sound) {
            pcm->fill.reset();  // the mixer goes on with it
            pcm->Release();
        }
    }
    if (!sound) pcm->Complete();  // copied: every frame first
    if (!sound) sound = MixerCreateSound(pcm->length, bits, channels, pcm->hertz, pcm->samples, loop);
    if (!sound) return nullptr;
    return TSoftMixSound::CreateWithSound(sound, sample);
}

}  // namespace

TSoundPtr TSoftMixAudioDriver::CreateSound(const TAudioSamplePtr& sample, int flags) { return MakeSound(sample, flags, false); }

TSoundPtr TSoftMixAudioDriver::AdoptSound(TAudioSamplePtr sample, int flags) { return MakeSound(sample, flags, true); }

TChannelPtr TSoftMixAudioDriver::AllocChannel()
{
    const int handle = MixerAllocChannel();
    if (!handle) return nullptr;
    return TSoftMixChannel::CreateWithChannel(handle);
}

TSoftMixSound::~TSoftMixSound() { MixerFreeSound(mix_sound); }

std::shared_ptr<TSoftMixSound> TSoftMixSound::CreateWithSound(MixerSound* sound, const TAudioSamplePtr&)
{
    return std::make_shared<TSoftMixSound>(sound);
}

TChannelPtr TSoftMixSound::Play(const TChannelPtr& channel) { return Start(channel, 0); }

TChannelPtr TSoftMixSound::Cue(const TChannelPtr& channel) { return Start(channel, 1); }

TChannelPtr TSoftMixSound::Start(const TChannelPtr& channel, int paused)
{
    int handle = 0;
    if (channel) {
        auto* own = dynamic_cast<TSoftMixChannel*>(channel.get());
        if (!own) return nullptr;  // a channel of another driver
        handle = own->mix_channel;
    }
    const int h = MixerPlaySound(mix_sound, paused, handle);
    if (h == 0) return nullptr;
    if (channel && h == handle) return channel;
    return TSoftMixChannel::CreateWithChannel(h);
}

TSoftMixChannel::~TSoftMixChannel()
{
    if (mix_channel) MixerFreeChannel(mix_channel);
}

std::shared_ptr<TSoftMixChannel> TSoftMixChannel::CreateWithChannel(int handle)
{
    return std::make_shared<TSoftMixChannel>(handle);
}

void TSoftMixChannel::Stop()
{
    MixerStopChannel(mix_channel);
    mix_channel = 0;
}

void TSoftMixChannel::SetPaused(int paused) { MixerSetPaused(mix_channel, paused); }
void TSoftMixChannel::SetVolume(float volume) { MixerSetVolume(mix_channel, volume); }
void TSoftMixChannel::SetPan(float pan) { MixerSetPan(mix_channel, pan); }
void TSoftMixChannel::SetDepth(float depth) { MixerSetDepth(mix_channel, depth); }
void TSoftMixChannel::SetRate(float rate) { MixerSetRate(mix_channel, rate); }

int TSoftMixChannel::Playing()
{
    const int status = MixerChannelStatus(mix_channel);
    return status != 0 && !(status & softmix::VOICE_STOPPED) && !(status & softmix::VOICE_PAUSED) ? 1 : 0;
}

int TSoftMixChannel::Position() { return MixerChannelPosition(mix_channel); }

void RegisterSoftMixDrivers()
{
    // No secondary output library on this platform, so no "SoftMix DirectSound".
    TSoftMixAudioDriver::Create("SoftMix Multimedia", TSoftMixAudioDriver::MODE_MULTIMEDIA);
    TSoftMixAudioDriver::Create("SoftMix", TSoftMixAudioDriver::MODE_ANY);
}

}  // namespace kelvora
