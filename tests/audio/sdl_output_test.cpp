// The real output on SDL audio (the "dummy" or "disk" driver in CI).
#include "audio/sdl/sdlaudiodevice.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "kelvora/audio/audio.h"
#include "audio/mixer.h"
#include "kelvora/audio/audiodriver.h"
#include "audio/manualaudiodevice.h"
#include "audio/softmixdriver.h"

using namespace kelvora;

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
    EXPECT_GE(sdl->ring()->Latency(), softmix::TOutputRing::START_LATENCY);
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

// Threads the system counts against uid's process limit.
long ThreadsOf(uid_t uid)
{
    long threads = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;  // self, thread-self, ...
        std::ifstream status(entry.path() / "status");
        std::string line;
        bool mine = false;
        while (std::getline(status, line)) {
            if (line.rfind("Uid:", 0) == 0) mine = std::stoul(line.substr(4)) == uid;
            if (mine && line.rfind("Threads:", 0) == 0) threads += std::stol(line.substr(8));
        }
    }
    return threads;
}

TEST(SdlOutput, ADeviceThatOpensButCannotStartLeavesTheNullDriver)
{
    if (getuid() != 0) GTEST_SKIP() << "needs root to become an unprivileged user with a thread limit";
    if (!std::getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);
    ShutdownAudioDriver();
    UseManualAudioOutput(0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // One thread more than this user runs: SDL's audio thread opens the
        // device, the refill thread then cannot start.
        constexpr uid_t NOBODY = 65534;
        if (setresgid(NOBODY, NOBODY, NOBODY) != 0 || setresuid(NOBODY, NOBODY, NOBODY) != 0) _exit(3);
        const rlim_t allowed = rlim_t(ThreadsOf(NOBODY) + 1);
        const rlimit limit{allowed, allowed};
        if (setrlimit(RLIMIT_NPROC, &limit) != 0) _exit(4);
        try {
            _exit(AudioDriver()->Name() == "Null" ? 0 : 1);
        } catch (...) {
            _exit(2);
        }
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the mixer claims to run without its refill; 2: the failure escaped AudioDriver()";
}

}  // namespace
