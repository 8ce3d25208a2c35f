#include "kelvora/audio/audiodriver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kelvora/audio/audio.h"
#include "audio/manualaudiodevice.h"
#include "audio/mixersound.h"
#include "audio/softmixdriver.h"
#include "io/background_work.h"
#include "kelvora/io/filesystem.h"
#include "kelvora/io/stream.h"
#include "runtime/utf8_path.h"
#include "kelvora/system/clock.h"

using namespace kelvora;

namespace {

constexpr int FRAMES = 512;
const char* kBell = "/usr/share/sounds/freedesktop/stereo/bell.oga";

// The "SoftMix" driver on a manual output and virtual time.
class SoftMixDriver : public ::testing::Test {
protected:
    void SetUp() override
    {
        clock_ = std::make_shared<TVirtualClock>(50000);
        SetClock(clock_);
        UseManualAudioOutput(1);
        ASSERT_EQ(SetAudioDriver("softmix"), 1);
    }
    void TearDown() override
    {
        ShutdownAudioDriver();
        UseManualAudioOutput(0);
        SetClock(nullptr);
    }

    std::vector<int16_t> Pull(int fragments = 1)
    {
        std::vector<int16_t> out(size_t(FRAMES) * 2 * size_t(fragments));
        for (int f = 0; f < fragments; ++f) EXPECT_EQ(PullAudioFragment(out.data() + FRAMES * 2 * f), FRAMES * 2);
        return out;
    }

    // A 16-bit mono sound of n frames, each value v.
    static TSoundPtr Flat(int n, int16_t v, int flags = 0)
    {
        auto sample = TAudioSample::Create(n, 44100, FORMAT_MONO16LE);
        for (int i = 0; i < n; ++i) reinterpret_cast<int16_t*>(sample->samples)[i] = v;
        return LoadSound(sample, flags);
    }

    std::shared_ptr<TVirtualClock> clock_;
};

TEST(AudioDrivers, ListedNewestFirstAndFoundIgnoringCase)
{
    const std::vector<std::string> expected = {"SoftMix", "SoftMix Multimedia", "Null"};
    EXPECT_EQ(AudioDrivers(), expected);
    EXPECT_EQ(AudioDriverExists("SOFTMIX multimedia"), 1);
    EXPECT_EQ(AudioDriverExists("null"), 1);
    EXPECT_EQ(AudioDriverExists("SoftMixer"), 0);

    ASSERT_EQ(SetAudioDriver("NULL"), 1);
    EXPECT_EQ(AudioDriver()->Name(), "Null");
    EXPECT_EQ(SetAudioDriver("no such driver"), 0);
    EXPECT_EQ(AudioDriver()->Name(), "Null") << "a failed choice leaves the silent driver";
    ShutdownAudioDriver();
}

TEST_F(SoftMixDriver, CuedChannelWaitsForResume)
{
    EXPECT_EQ(AudioDriver()->Name(), "SoftMix");
    TSoundPtr sound = Flat(3000, 1000);
    ASSERT_NE(sound, nullptr);
    TChannelPtr channel = CueSound(sound);
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(ChannelPlaying(channel), 0);
    SetChannelVolume(channel, 0.5f);
    clock_->Advance(40);
    EXPECT_EQ(Pull()[0], 0);
    EXPECT_EQ(ChannelPlaying(channel), 0);
    ResumeChannel(channel);
    EXPECT_EQ(ChannelPlaying(channel), 1);
    EXPECT_EQ(Pull(3)[0], 500) << "the volume set while cued holds from the first frame";
    PauseChannel(channel);
    EXPECT_EQ(ChannelPlaying(channel), 0);
    ResumeChannel(channel);
    Pull(5);
    EXPECT_EQ(ChannelPlaying(channel), 0) << "a one-shot reports 0 once its last frame is mixed";
}

TEST_F(SoftMixDriver, LoopingSoundPlaysUntilStopped)
{
    TSoundPtr music = Flat(700, 300, SOUND_LOOP);
    TChannelPtr channel = AllocChannel();
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(ChannelPlaying(channel), 0);
    EXPECT_EQ(PlaySound(music, channel), channel) << "playing on a channel returns that channel";
    clock_->Advance(20);
    for (int i = 0; i < 20; ++i) {
        const auto out = Pull();
        ASSERT_EQ(out[2 * (FRAMES - 1)], 300);
        ASSERT_EQ(ChannelPlaying(channel), 1);
    }
    EXPECT_EQ(static_cast<TSoftMixChannel&>(*channel).Position(), 20 * FRAMES);
    StopChannel(channel);
    EXPECT_EQ(ChannelPlaying(channel), 0);
    EXPECT_EQ(Pull()[0], 0);
}

TEST_F(SoftMixDriver, SamplesOfEveryLayoutPlayAsRecorded)
{
    // Big-endian 16-bit is converted first; 8-bit plays as it is.
    auto be = TAudioSample::Create(2, 44100, FORMAT_STEREO16BE);
    const uint8_t be_bytes[] = {0x12, 0x34, 0xFF, 0xFE, 0x80, 0x00, 0x7F, 0xFF};
    std::copy(std::begin(be_bytes), std::end(be_bytes), be->samples);
    auto u8 = TAudioSample::Create(2, 44100, FORMAT_MONO8);
    u8->samples[0] = 0;
    u8->samples[1] = 192;
    const TChannelPtr left = AllocChannel(), right = AllocChannel();
    SetChannelPan(left, -1.0f);
    SetChannelPan(right, 1.0f);
    PlaySound(LoadSound(be), left);
    PlaySound(LoadSound(u8), right);
    clock_->Advance(20);
    const auto out = Pull();
    EXPECT_EQ(out[0], 0x1234);
    EXPECT_EQ(out[2], -32768);
    EXPECT_EQ(out[1], -32768);  // only the 8-bit sound reaches the right side
    EXPECT_EQ(out[3], 16384);
}

TEST_F(SoftMixDriver, AFileIsKeptOnceAndACallersSampleStaysItsOwn)
{
    TAudioSamplePtr sample = LoadAudioSample(kBell);
    if (!sample) GTEST_SKIP() << kBell << " is not installed";
    ASSERT_EQ(sample->format, FORMAT_STEREO16LE);
    const std::vector<uint8_t> bytes(sample->samples, sample->samples + sample->ByteCount());
    const int64_t one = int64_t(sample->length + 1) * sample->FrameBytes();  // with the guard frame
    const int64_t before = MixerSoundBytes();
    TSoundPtr from_sample = LoadSound(sample, 0);
    ASSERT_NE(sample->samples, nullptr) << "the caller's sample was emptied";
    EXPECT_EQ(std::vector<uint8_t>(sample->samples, sample->samples + sample->ByteCount()), bytes);
    EXPECT_EQ(MixerSoundBytes() - before, one);
    // Decoded from a file, the frames are taken over: one copy, not two.
    TSoundPtr from_file = LoadSound(kBell, 0);
    EXPECT_EQ(MixerSoundBytes() - before, 2 * one);
    PlaySound(from_file, nullptr);
    clock_->Advance(20);
    const auto out = Pull();
    EXPECT_EQ(std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(out.data()),
                                   reinterpret_cast<const uint8_t*>(out.data()) + 4 * FRAMES),
              std::vector<uint8_t>(bytes.begin(), bytes.begin() + 4 * FRAMES));
}

TEST_F(SoftMixDriver, APreloadedFileIsTheSameSoundDecodedAhead)
{
    TAudioSamplePtr sample = LoadAudioSample(kBell);
    if (!sample) GTEST_SKIP() << kBell << " is not installed";
    namespace fs = std::filesystem;
    const std::string copy = PathUtf8(fs::temp_directory_path() / ("kv_preload_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".oga"));
    const std::vector<uint8_t> bell = LoadBytes(kBell);
    ASSERT_TRUE(ReplaceFileContents(copy, bell.data(), int(bell.size())));
    PreloadSound(copy);
    PreloadSound("/no/such/file.ogg");
    FinishBackgroundWork();
    fs::remove(Utf8Path(copy));  // what loads now was decoded ahead
    TSoundPtr sound = LoadSound(copy);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(LoadSound(copy), nullptr) << "a preload is taken once";
    EXPECT_EQ(LoadSound("/no/such/file.ogg"), nullptr);
    PlaySound(sound, nullptr);
    clock_->Advance(20);
    const auto out = Pull();
    EXPECT_EQ(std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(out.data()),
                                   reinterpret_cast<const uint8_t*>(out.data()) + 4 * FRAMES),
              std::vector<uint8_t>(sample->samples, sample->samples + 4 * FRAMES));
}

TEST_F(SoftMixDriver, ChannelsOfAnotherDriverAreRefused)
{
    TSoundPtr sound = Flat(10, 1);
    EXPECT_EQ(PlaySound(sound, std::make_shared<TChannel>()), nullptr);
    EXPECT_EQ(CueSound(sound, std::make_shared<TChannel>()), nullptr);
    EXPECT_EQ(LoadSound(TAudioSamplePtr()), nullptr);
    EXPECT_EQ(LoadSound("/no/such/file.ogg"), nullptr);
    EXPECT_EQ(PlaySound(nullptr), nullptr);
    EXPECT_EQ(ChannelPlaying(nullptr), 0);
}

TEST_F(SoftMixDriver, DroppedChannelObjectLetsTheSoundPlayOn)
{
    TSoundPtr sound = Flat(1500, 700);
    {
        TChannelPtr channel = CueSound(sound);
        ResumeChannel(channel);
    }
    TSoundPtr{}.swap(sound);  // neither the channel nor the sound object is held
    clock_->Advance(20);
    const auto out = Pull(3);
    EXPECT_EQ(out[2 * 1499], 700);
    EXPECT_EQ(out[2 * 1500], 0);
}

// SDL is told to use an output that does not exist.
class NoSoundDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* was = std::getenv("SDL_AUDIODRIVER");
        saved_ = was ? was : "";
        had_ = was != nullptr;
        setenv("SDL_AUDIODRIVER", "no-such-audio-output", 1);
        ShutdownAudioDriver();
    }
    void TearDown() override
    {
        ShutdownAudioDriver();
        if (had_)
            setenv("SDL_AUDIODRIVER", saved_.c_str(), 1);
        else
            unsetenv("SDL_AUDIODRIVER");
    }
    std::string saved_;
    bool had_ = false;
};

TEST_F(NoSoundDevice, NullDriverIsChosenAndSoundsStillLoad)
{
    EXPECT_EQ(AudioDriver()->Name(), "Null");
    EXPECT_EQ(SetAudioDriver("SoftMix"), 0);
    EXPECT_EQ(AudioDriver()->Name(), "Null");
    auto sample = TAudioSample::Create(100, 22050, FORMAT_MONO16LE);
    TSoundPtr sound = LoadSound(sample, SOUND_LOOP);
    ASSERT_NE(sound, nullptr) << "a silent sound, not null";
    TChannelPtr channel = CueSound(sound);
    ASSERT_NE(channel, nullptr);
    ResumeChannel(channel);
    SetChannelVolume(channel, 1.0f);
    EXPECT_EQ(ChannelPlaying(channel), 0);
    EXPECT_NE(AllocChannel(), nullptr);
    if (LoadAudioSample(kBell)) {
        EXPECT_NE(LoadSound(kBell), nullptr);
    }
}

}  // namespace
