// The real output on SDL audio (the "dummy" or "disk" driver in CI).
#include "audio/sdlaudiodevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "audio/mixer.h"
#include "audio/softmixdriver.h"

namespace {

bool Within10s(const std::function<bool()>& done)
{
    for (int i = 0; i < 1000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

TEST(SdlOutput, PlaysASoundToItsEnd)
{
    if (!std::getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);
    auto device = std::make_unique<softmix::sdldevice>();
    softmix::sdldevice* sdl = device.get();
    if (MixerInit(std::move(device)) != 0) GTEST_SKIP() << "no SDL audio output here";
    const std::vector<int16_t> tone(4410, 2000);  // 0.1 s
    MixerSound* sound = MixerCreateSound(4410, 16, 1, 44100, tone.data(), 0);
    const int channel = MixerAllocChannel();
    ASSERT_EQ(MixerPlaySound(sound, 0, channel), channel);
    MixerFreeSound(sound);
    EXPECT_TRUE(Within10s([&] { return MixerChannelStatus(channel) == softmix::VOICE_STOPPED; }));
    EXPECT_EQ(MixerChannelPosition(channel), 4410);
    // The card has been taking data and the refill keeps its lead.
    EXPECT_GT(sdl->ring()->Played(), 0u);
    EXPECT_GE(sdl->ring()->Latency(), 6);
    MixerClose();
    EXPECT_EQ(MixerRunning(), 0);
}

TEST(SdlOutput, OggFilePlaysThroughTheDriverToItsEnd)
{
    const char* path = "/usr/share/sounds/freedesktop/stereo/complete.oga";
    if (!std::getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);
    TAudioSamplePtr sample = LoadAudioSample(path);
    if (!sample) GTEST_SKIP() << path << " is not installed";
    if (SetAudioDriver("SoftMix") != 1) GTEST_SKIP() << "no SDL audio output here";
    TSoundPtr sound = LoadSound(path);
    ASSERT_NE(sound, nullptr);
    TChannelPtr channel = AllocChannel();
    ASSERT_EQ(PlaySound(sound, channel), channel);
    EXPECT_EQ(ChannelPlaying(channel), 1);
    EXPECT_TRUE(Within10s([&] { return ChannelPlaying(channel) == 0; }));
    EXPECT_EQ(static_cast<TSoftMixChannel&>(*channel).Position(), sample->length);
    ShutdownAudioDriver();
}

TEST(SdlOutput, NoDeviceFailsCleanly)
{
    const char* was = std::getenv("SDL_AUDIODRIVER");
    const std::string saved = was ? was : "";
    setenv("SDL_AUDIODRIVER", "no-such-audio-output", 1);
    EXPECT_EQ(MixerInit(std::make_unique<softmix::sdldevice>()), -1);
    EXPECT_EQ(MixerRunning(), 0);
    EXPECT_EQ(MixerAllocChannel(), 0);
    if (was)
        setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
    else
        unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
