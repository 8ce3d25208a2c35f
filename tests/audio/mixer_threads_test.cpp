// The start and recycle rings under load: the game's thread starts and
// stops voices while another thread runs the mixing calls.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdlib>
#include <cstdint>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "audio/manualaudiodevice.h"
#include "audio/mixer.h"
#include "audio/outputring.h"
#include "audio/sample.h"
#include "audio/sdl/sdlaudiodevice.h"
#include "audio/voice.h"
#include "system/clock.h"

namespace {

// A mixing thread pulling fragments as fast as it can, summing what it hears.
class MixingThread {
public:
    explicit MixingThread(softmix::manualdevice* device)
        : thread_([this, device] {
              std::vector<int16_t> out(1024);
              while (!stop_.load()) {
                  device->pull(out.data());
                  for (size_t k = 0; k < out.size(); k += 2) {
                      left_sum_ += out[k];
                      if (out[k] == 32767 || out[k] == -32768) clipped_ = true;
                  }
                  fragments_.fetch_add(1);
              }
          })
    {
    }
    ~MixingThread() { Stop(); }
    void Stop()
    {
        stop_.store(true);
        if (thread_.joinable()) thread_.join();
    }
    // Waits for n more mixing calls.
    void Wait(int n)
    {
        const int target = fragments_.load() + n;
        while (fragments_.load() < target) std::this_thread::yield();
    }
    int64_t LeftSum() const { return left_sum_; }  // after Stop
    bool Clipped() const { return clipped_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<int> fragments_{0};
    int64_t left_sum_ = 0;
    bool clipped_ = false;
    std::thread thread_;
};

class MixerThreads : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetClock(nullptr);  // real time: the start latency really passes
        auto device = std::make_unique<softmix::manualdevice>();
        device_ = device.get();
        ASSERT_EQ(MixerInit(std::move(device)), 0);
    }
    void TearDown() override { MixerClose(); }

    // Gives the mixing thread time until pred holds; false after ten seconds.
    template <typename Pred>
    bool Eventually(MixingThread& mixing, Pred pred)
    {
        for (int i = 0; i < 10000; ++i) {
            if (pred()) return true;
            mixing.Wait(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return pred();
    }

    softmix::manualdevice* device_ = nullptr;
};

// Voices handed to the mixing thread and not yet back.
int VoicesInFlight()
{
    const TMixerCounts c = MixerCounts();
    return c.voices - c.voices_pooled;
}

TEST_F(MixerThreads, EveryOneShotSoundsExactlyOnceAndGivesItsChannelBack)
{
    // Each voice adds 16 to 64 left values; overlapping voices add up
    // exactly as long as fewer than 2048 overlap.
    const std::vector<int16_t> dc(64, 16);
    MixerSound* s = MixerCreateSound(64, 16, 1, 44100, dc.data(), 0);
    ASSERT_NE(s, nullptr);
    constexpr int VOICES = 6000;
    MixingThread mixing(device_);
    for (int i = 0; i < VOICES; ++i) {
        if (i % 2) {
            ASSERT_NE(MixerPlaySound(s, 0, 0), 0) << "start " << i;
        } else {
            // The game's way: cue, set the volume while paused, resume, let go.
            const int h = MixerPlaySound(s, 1, 0);
            ASSERT_NE(h, 0) << "start " << i;
            MixerSetVolume(h, 1.0f);
            MixerSetPaused(h, 0);
            MixerFreeChannel(h);
        }
        while (VoicesInFlight() > 1000) mixing.Wait(1);
    }
    MixerFreeSound(s);
    EXPECT_TRUE(Eventually(mixing, [] { return VoicesInFlight() == 0; }));
    mixing.Stop();
    EXPECT_EQ(mixing.LeftSum(), int64_t(VOICES) * 64 * 16) << "a voice was lost or mixed twice";
    EXPECT_FALSE(mixing.Clipped());
    const TMixerCounts c = MixerCounts();
    EXPECT_EQ(c.channels_in_use, 0);
    EXPECT_EQ(c.voices, c.voices_pooled);
    EXPECT_LE(c.voices, 1100);
}

TEST_F(MixerThreads, StartsAndStopsOnSharedChannelsLeaveNothingBehind)
{
    std::vector<int16_t> wave(3000);
    for (size_t i = 0; i < wave.size(); ++i) wave[i] = int16_t((i * 37) % 2000 - 1000);
    MixerSound* looped = MixerCreateSound(1500, 16, 2, 22050, wave.data(), 1);
    MixerSound* once = MixerCreateSound(3000, 16, 1, 48000, wave.data(), 0);
    ASSERT_TRUE(looped && once);
    std::mt19937 rng(20261208);
    std::vector<int> channel(48, 0);
    MixingThread mixing(device_);
    for (int i = 0; i < 30000; ++i) {
        int& h = channel[rng() % channel.size()];
        const float value = float(rng() % 2001) / 1000.0f;  // 0 .. 2
        switch (rng() % 8) {
        case 0:
        case 1:
            if (!h) h = MixerAllocChannel();
            ASSERT_EQ(MixerPlaySound(rng() % 2 ? looped : once, int(rng() % 2), h), h);
            break;
        case 2:
            MixerStopChannel(h);
            h = 0;
            break;
        case 3:
            MixerSetVolume(h, value);
            MixerSetPan(h, value - 1.0f);
            break;
        case 4:
            MixerSetRate(h, value);
            MixerSetDepth(h, value - 1.0f);
            break;
        case 5:
            MixerSetPaused(h, int(rng() % 2));
            (void)MixerChannelStatus(h);
            (void)MixerChannelPosition(h);
            break;
        default: {
            const int cued = MixerPlaySound(once, 1, 0);
            MixerSetVolume(cued, 0.5f);
            MixerSetPaused(cued, 0);
            MixerFreeChannel(cued);
        }
        }
        if (i % 64 == 0) mixing.Wait(1);
    }
    for (int& h : channel) MixerStopChannel(h);
    MixerFreeSound(looped);
    MixerFreeSound(once);
    EXPECT_TRUE(Eventually(mixing, [] { return VoicesInFlight() == 0; }));
    mixing.Stop();
    const TMixerCounts c = MixerCounts();
    EXPECT_EQ(c.channels_in_use, 0);
    EXPECT_EQ(c.voices, c.voices_pooled);
    std::vector<int16_t> out(1024, 1);
    device_->pull(out.data());
    for (int16_t v : out) ASSERT_EQ(v, 0) << "something still sounds after every channel stopped";
}

// A mixing thread that runs only when asked, and a clock that asks it from
// inside the game thread's next clock read: the mixing call then lands in
// the middle of a mixer operation, where a real output thread may be.
class OnDemandMixing {
public:
    explicit OnDemandMixing(softmix::manualdevice* device)
        : thread_([this, device] {
              std::vector<int16_t> out(1024);
              for (;;) {
                  int n;
                  {
                      std::unique_lock lock(m_);
                      cv_.wait(lock, [this] { return stop_ || asked_ > 0; });
                      if (stop_) return;
                      n = asked_;
                  }
                  for (int i = 0; i < n; ++i) device->pull(out.data());
                  std::lock_guard lock(m_);
                  asked_ = 0;
                  cv_.notify_all();
              }
          })
    {
    }
    ~OnDemandMixing()
    {
        {
            std::lock_guard lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    // Runs n mixing calls on the mixing thread and waits for them.
    void Mix(int n)
    {
        std::unique_lock lock(m_);
        asked_ = n;
        cv_.notify_all();
        cv_.wait(lock, [this] { return asked_ == 0; });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    int asked_ = 0;
    bool stop_ = false;
    std::thread thread_;
};

class WindowClock : public TClock {
public:
    explicit WindowClock(OnDemandMixing& mixing) : mixing_(mixing), game_(std::this_thread::get_id()) {}
    int Millisecs() override
    {
        if (std::this_thread::get_id() == game_ && fragments_ > 0) {
            const int n = fragments_;
            fragments_ = 0;
            mixing_.Mix(n);
        }
        return 0;
    }
    void Delay(int) override {}
    // The game thread's next clock read runs n mixing calls first.
    void Arm(int n) { fragments_ = n; }

private:
    OnDemandMixing& mixing_;
    std::thread::id game_;
    int fragments_ = 0;
};

TEST_F(MixerThreads, ReplayOnAChannelWhoseSoundEndsMeanwhileKeepsTheChannel)
{
    const std::vector<int16_t> blip(64, 100);
    MixerSound* once = MixerCreateSound(64, 16, 1, 44100, blip.data(), 0);
    MixerSound* loop = MixerCreateSound(64, 16, 1, 44100, blip.data(), 1);
    ASSERT_TRUE(once && loop);
    OnDemandMixing mixing(device_);
    auto clock = std::make_shared<WindowClock>(mixing);
    SetClock(clock);
    for (int round = 0; round < 20; ++round) {
        const int h = MixerPlaySound(once, 0, 0);  // the channel PlaySound(s) hands out
        ASSERT_NE(h, 0);
        // The blip (20 ms start latency + 64 frames) ends within the mixing
        // calls the replay's clock read triggers.
        clock->Arm(3);
        const int replay = MixerPlaySound(loop, 0, h);
        if (replay == 0) continue;  // refusing is fine; a dead handle is not
        ASSERT_EQ(replay, h);
        EXPECT_EQ(MixerChannelStatus(h), softmix::VOICE_LOOP) << "round " << round << ": the loop has no channel";
        MixerStopChannel(h);
        mixing.Mix(2);
        const TMixerCounts c = MixerCounts();
        ASSERT_EQ(c.channels_in_use, 0) << "round " << round;
        ASSERT_EQ(c.voices, c.voices_pooled) << "round " << round << ": a voice plays on that nothing can stop";
    }
    SetClock(nullptr);
    MixerFreeSound(once);
    MixerFreeSound(loop);
}

TEST_F(MixerThreads, CueWithEveryChannelTakenQueuesNothing)
{
    const std::vector<int16_t> blip(64, 100);
    MixerSound* s = MixerCreateSound(64, 16, 1, 44100, blip.data(), 0);
    std::vector<int> taken;
    while (const int h = MixerAllocChannel()) taken.push_back(h);
    ASSERT_EQ(taken.size(), 4095u);
    MixingThread mixing(device_);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(MixerPlaySound(s, 1, 0), 0);
    // A cue nobody can resume must not wait in the mixer for good.
    EXPECT_TRUE(Eventually(mixing, [] { return VoicesInFlight() == 0; })) << VoicesInFlight() << " cued voices stuck";
    // Started unpaused it still plays, without a channel, and comes back.
    EXPECT_EQ(MixerPlaySound(s, 0, 0), 0);
    EXPECT_TRUE(Eventually(mixing, [] { return VoicesInFlight() == 0; }));
    mixing.Stop();
    for (int h : taken) MixerFreeChannel(h);
    MixerFreeSound(s);
}

// The game's title music mixed while its decoding goes on in the
// background: the mixing call waits for the frames it reaches, so the mix
// is, bit for bit, the mix of the whole decode, through two loops, with
// the rate gliding up and down on the way.
TEST(ProgressiveSoundThreads, MixesExactlyWhatTheWholeDecodeGives)
{
    const std::string music = std::string(KV_SOURCE_DIR) + "/data/moontitle.ogg";
    auto clock = std::make_shared<TVirtualClock>(1000);
    SetClock(clock);
    auto device = std::make_unique<softmix::manualdevice>();
    softmix::manualdevice* out = device.get();
    ASSERT_EQ(MixerInit(std::move(device)), 0);

    auto mix = [&](MixerSound* s, int fragments) {
        const int h = MixerPlaySound(s, 1, 0);
        MixerSetRate(h, 1.25f);
        MixerSetPaused(h, 0);
        clock->Advance(20);
        std::vector<int16_t> pcm(size_t(fragments) * 1024);
        for (int f = 0; f < fragments; ++f) {
            if (f == 200) MixerSetRate(h, 0.75f);
            if (f == 900) MixerSetRate(h, 1.5f);
            out->pull(pcm.data() + size_t(f) * 1024);
        }
        MixerStopChannel(h);
        out->pull(pcm.data());  // recycles the voice
        return pcm;
    };

    TAudioSamplePtr progressive = LoadAudioSampleProgressive(music);
    ASSERT_TRUE(progressive);
    ASSERT_TRUE(progressive->fill) << "the music should be decoded in the background";
    ASSERT_EQ(progressive->format, FORMAT_STEREO16LE);
    const int fragments = int(int64_t(progressive->length) * 2 / 512) + 50;  // past the second loop
    MixerSound* s = MixerAdoptSound(progressive->length, 16, 2, progressive->hertz, progressive->samples, 1,
                                    progressive->fill);
    ASSERT_NE(s, nullptr);
    progressive->Release();
    const std::vector<int16_t> heard = mix(s, fragments);
    MixerFreeSound(s);

    TAudioSamplePtr whole = LoadAudioSample(music);
    ASSERT_TRUE(whole && !whole->fill);
    MixerSound* w = MixerCreateSound(whole->length, 16, 2, whole->hertz, whole->samples, 1);
    const std::vector<int16_t> expected = mix(w, fragments);
    MixerFreeSound(w);
    MixerClose();
    SetClock(nullptr);
    EXPECT_TRUE(heard == expected);
}

// Sounds dropped while their decoding goes on: the decoder lets go of the
// bytes before they are freed (the sanitizers see any use after).
TEST(ProgressiveSoundThreads, DroppedWhileDecodingFreesEverything)
{
    const std::string music = std::string(KV_SOURCE_DIR) + "/data/kelvora.ogg";
    ASSERT_EQ(MixerInit(std::make_unique<softmix::manualdevice>()), 0);
    for (int i = 0; i < 6; ++i) {
        TAudioSamplePtr a = LoadAudioSampleProgressive(music);
        TAudioSamplePtr b = LoadAudioSampleProgressive(music);
        ASSERT_TRUE(a && b);
        if (i % 2) std::this_thread::sleep_for(std::chrono::milliseconds(i));
        MixerSound* s = MixerAdoptSound(b->length, 16, 2, b->hertz, b->samples, i % 3 == 0, b->fill);
        ASSERT_NE(s, nullptr);
        b->Release();
        MixerFreeSound(s);
    }
    MixerClose();
}

TEST(OutputRingThreads, CardHearsTheMixedFramesInOrderOrSilence)
{
    // One looping ramp: the left value of mixed frame k is k mod 4096.
    std::vector<int16_t> ramp(4096);
    for (int i = 0; i < 4096; ++i) ramp[size_t(i)] = int16_t(i);
    MixerSound* sound = NewMixerSound(4096, 16, 1, 44100, ramp.data(), 1);
    softmix::sound voice;
    voice.buffer = sound;
    voice.status.store(softmix::VOICE_LOOP);
    voice.start_ms = Millisecs() - 1000;
    softmix::mixer mix(1024);
    ASSERT_TRUE(mix.queue_start(&voice));
    softmix::TOutputRing ring(1024);
    ring.Update(mix);

    std::atomic<bool> stop{false};
    std::thread refill([&] {
        while (!stop.load()) {
            ring.Update(mix);
            std::this_thread::yield();
        }
    });
    // The card takes odd-sized pieces; now and then it races ahead of the
    // refill and hears silence. Frames mixed too late for it are dropped, so
    // after silence the ramp may resume further on; anywhere else it runs on
    // frame by frame.
    int64_t expected = 0, heard = 0;
    int previous = 0;
    std::vector<int16_t> out(2 * 1500);
    for (int i = 0; i < 3000; ++i) {
        const int values = 2 * (100 + (i * 37) % 1400);
        ring.Play(out.data(), values, int64_t(i) * 1000);
        for (int k = 0; k < values; k += 2) {
            const int v = out[size_t(k)];
            if (v != expected % 4096 && v != 0) {
                ASSERT_EQ(previous, 0) << "a mixed frame was skipped or repeated without a gap";
                expected = v;
            }
            if (v == expected % 4096) {
                ++expected;
                ++heard;
            }
            previous = v;
        }
        if (i % 50 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    stop.store(true);
    refill.join();
    EXPECT_GT(heard, 0);
    EXPECT_LE(ring.Latency(), softmix::TOutputRing::MAX_LATENCY);
    ReleaseMixerSound(sound);
}

TEST(SdlOutputThreads, StartsAndStopsWhileTheCardPlays)
{
    if (!std::getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);
    SetClock(nullptr);
    if (MixerInit(std::make_unique<softmix::sdldevice>()) != 0) GTEST_SKIP() << "no SDL audio output here";
    const std::vector<int16_t> blip(300, 100);
    MixerSound* sound = MixerCreateSound(300, 16, 1, 44100, blip.data(), 0);
    std::vector<int> channel(16, 0);
    for (int i = 0; i < 2000; ++i) {
        int& h = channel[size_t(i) % channel.size()];
        if (i % 3 == 2) {
            MixerStopChannel(h);
            h = 0;
        } else {
            if (!h) h = MixerAllocChannel();
            MixerPlaySound(sound, 0, h);
            MixerPlaySound(sound, 0, 0);
        }
        if (i % 100 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (int& h : channel) MixerStopChannel(h);
    MixerFreeSound(sound);
    bool settled = false;
    for (int i = 0; i < 1000 && !settled; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        settled = VoicesInFlight() == 0;
    }
    EXPECT_TRUE(settled) << "voices still out after ten seconds";
    EXPECT_EQ(MixerCounts().channels_in_use, 0);
    MixerClose();
}

}  // namespace
