// The start and recycle rings under load: the game's thread starts and
// stops voices while another thread runs the mixing calls.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "audio/manualaudiodevice.h"
#include "audio/mixer.h"
#include "audio/outputring.h"
#include "kelvora/audio/sample.h"
#include "audio/samplefill.h"
#include "audio/sdl/sdlaudiodevice.h"
#include "audio/voice.h"
#include "kelvora/system/clock.h"

using namespace kelvora;

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

// Plays s from its start for the given fragments on the manual output,
// the rate gliding up and down on the way; what was heard.
std::vector<int16_t> MixThrough(TVirtualClock& clock, softmix::manualdevice& out, MixerSound* s, int fragments)
{
    const int h = MixerPlaySound(s, 1, 0);
    MixerSetRate(h, 1.25f);
    MixerSetPaused(h, 0);
    clock.Advance(20);
    std::vector<int16_t> pcm(size_t(fragments) * 1024);
    for (int f = 0; f < fragments; ++f) {
        if (f == 200) MixerSetRate(h, 0.75f);
        if (f == 900) MixerSetRate(h, 1.5f);
        out.pull(pcm.data() + size_t(f) * 1024);
    }
    MixerStopChannel(h);
    out.pull(pcm.data());  // recycles the voice
    return pcm;
}

class ProgressiveSoundThreads : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetClock(clock_);
        auto device = std::make_unique<softmix::manualdevice>();
        out_ = device.get();
        ASSERT_EQ(MixerInit(std::move(device)), 0);
    }
    void TearDown() override
    {
        MixerClose();
        SetClock(nullptr);
    }
    // The sound as the driver hands it over; the caller frees it.
    static MixerSound* Adopt(const TAudioSamplePtr& p, int loop)
    {
        MixerSound* s = MixerAdoptSound(p->length, 16, p->Channels(), p->hertz, p->samples, loop, p->fill);
        p->fill.reset();
        p->Release();
        return s;
    }
    std::vector<int16_t> Mix(MixerSound* s, int fragments) { return MixThrough(*clock_, *out_, s, fragments); }

    std::shared_ptr<TVirtualClock> clock_ = std::make_shared<TVirtualClock>(1000);
    softmix::manualdevice* out_ = nullptr;
};

// The game's title music mixed while its decoding goes on in the
// background: the mix is, bit for bit, the mix of the whole decode, through
// two loops, with the rate gliding up and down on the way.
TEST_F(ProgressiveSoundThreads, MixesExactlyWhatTheWholeDecodeGives)
{
    const std::string music = std::string(KV_SOURCE_DIR) + "/data/moontitle.ogg";
    TAudioSamplePtr progressive = LoadAudioSampleProgressive(music);
    ASSERT_TRUE(progressive);
    ASSERT_TRUE(progressive->fill) << "the music should be decoded in the background";
    ASSERT_EQ(progressive->format, FORMAT_STEREO16LE);
    const int fragments = int(int64_t(progressive->length) * 2 / 512) + 50;  // past the second loop
    MixerSound* s = Adopt(progressive, 1);
    ASSERT_NE(s, nullptr);
    const std::vector<int16_t> heard = Mix(s, fragments);
    MixerFreeSound(s);

    TAudioSamplePtr whole = LoadAudioSample(music);
    ASSERT_TRUE(whole && !whole->fill);
    MixerSound* w = MixerCreateSound(whole->length, 16, 2, whole->hertz, whole->samples, 1);
    const std::vector<int16_t> expected = Mix(w, fragments);
    MixerFreeSound(w);
    EXPECT_TRUE(heard == expected);
}

// Keeps the background decoder busy until released: it holds the one
// decoding thread inside its first piece.
class HeldDecoder : public TSampleFill {
public:
    HeldDecoder() : TSampleFill(frames_, 2, 1, 0) {}
    std::atomic<bool> holding{false}, released{false}, gave_up{false};

protected:
    int Decode(Side side, uint8_t*, int) override
    {
        if (side == BACKGROUND) {
            holding.store(true);
            // Never for good: a mixer that waited for the decoder would
            // hang the test instead of failing it.
            for (int i = 0; i < 60000 && !released.load(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            gave_up.store(!released.load());
        }
        return 0;
    }
    void StartReader(int) override {}

private:
    uint8_t frames_[4] = {};
};

std::shared_ptr<HeldDecoder> HoldTheDecoder()
{
    auto held = std::make_shared<HeldDecoder>();
    StartSampleFill(held);
    while (!held->holding.load()) std::this_thread::yield();
    return held;
}

// The decoder thread runs ahead as far as it may, then is held back while
// the mixer plays the whole track: the mixer takes the pieces decoded and
// goes on with its own decoder from there, never waiting. The decoder was
// still held when the mix was done, so the mix waited on it for nothing.
TEST_F(ProgressiveSoundThreads, TheMixerNeverWaitsForAHeldBackDecoder)
{
    const std::string music = std::string(KV_SOURCE_DIR) + "/data/kelvora.ogg";
    TAudioSamplePtr progressive = LoadAudioSampleProgressive(music);
    ASSERT_TRUE(progressive && progressive->fill);
    const int queued = TSampleFill::QUEUE_PIECES * TSampleFill::PIECE_FRAMES;
    while (progressive->fill->FramesQueued() < queued) std::this_thread::yield();
    auto held = HoldTheDecoder();
    const int fragments = int(int64_t(progressive->length) * 2 / 512) + 50;
    MixerSound* s = Adopt(progressive, 1);
    ASSERT_NE(s, nullptr);
    const std::vector<int16_t> heard = Mix(s, fragments);
    EXPECT_FALSE(held->gave_up.load()) << "the mixer waited for the decoder";
    held->released.store(true);
    MixerFreeSound(s);

    TAudioSamplePtr whole = LoadAudioSample(music);
    ASSERT_TRUE(whole);
    MixerSound* w = MixerCreateSound(whole->length, 16, 2, whole->hertz, whole->samples, 1);
    EXPECT_TRUE(heard == Mix(w, fragments)) << "not the whole decode's mix";
    MixerFreeSound(w);
}

// A decoder that fails in its fourth piece (as a down-mix out of memory
// would): mono frames counting up, and an exception where it fails.
class FailingDecoder : public TSampleFill {
public:
    static constexpr int FAILS_AT = 3 * PIECE_FRAMES;
    static constexpr int STATED = 10 * PIECE_FRAMES;
    explicit FailingDecoder(int16_t* data) : TSampleFill(reinterpret_cast<uint8_t*>(data), 2, STATED, 0) {}

protected:
    int Decode(Side side, uint8_t* out, int room) override
    {
        int& at = at_[side];
        if (at >= FAILS_AT) throw std::bad_alloc();
        const int n = std::min(room, PIECE_FRAMES);
        for (int k = 0; k < n; ++k) reinterpret_cast<int16_t*>(out)[k] = int16_t(at + k + 1);
        at += n;
        return n;
    }
    void StartReader(int frame) override { at_[READER] = frame; }

private:
    int at_[2] = {0, 0};
};

// The failure ends the sound where the frames end, the same whether it
// comes in the background or in the mixer's own decoding, and the same as
// a whole decode of it; the program goes on.
TEST_F(ProgressiveSoundThreads, ADecoderThatThrowsEndsItsSoundAsAWholeDecodeWould)
{
    std::vector<int16_t> whole_data(FailingDecoder::STATED + 1);
    FailingDecoder whole(whole_data.data());
    EXPECT_EQ(whole.Complete(), FailingDecoder::FAILS_AT);

    for (bool in_background : {true, false}) {
        SCOPED_TRACE(in_background ? "fails in the background" : "fails in the mixer");
        auto* data = new uint8_t[size_t(FailingDecoder::STATED + 1) * 2];
        auto fill = std::make_shared<FailingDecoder>(reinterpret_cast<int16_t*>(data));
        std::shared_ptr<HeldDecoder> held;
        if (!in_background) held = HoldTheDecoder();
        StartSampleFill(fill);
        if (in_background)
            while (fill->FramesQueued() <= FailingDecoder::FAILS_AT) std::this_thread::yield();  // and the end
        MixerSound* s = MixerAdoptSound(FailingDecoder::STATED, 16, 1, 44100, data, 0, fill);
        ASSERT_NE(s, nullptr);
        fill.reset();
        const int h = MixerPlaySound(s, 0, MixerAllocChannel());
        clock_->Advance(20);
        std::vector<int16_t> pcm(1024);
        std::vector<int16_t> left;
        for (int f = 0; f < 30; ++f) {
            out_->pull(pcm.data());
            for (size_t k = 0; k < pcm.size(); k += 2) left.push_back(pcm[k]);
        }
        const auto first = std::find(left.begin(), left.end(), 1) - left.begin();
        ASSERT_LT(first, 2000);
        for (int k = 0; k < FailingDecoder::FAILS_AT; ++k)
            ASSERT_EQ(left[size_t(first + k)], whole_data[size_t(k)]) << "frame " << k;
        for (size_t k = size_t(first + FailingDecoder::FAILS_AT); k < left.size(); ++k)
            ASSERT_EQ(left[k], 0) << "played past the failure";
        EXPECT_EQ(MixerChannelStatus(h), 1) << "the sound has not ended";
        if (held) {
            EXPECT_FALSE(held->gave_up.load());
            held->released.store(true);
        }
        MixerStopChannel(h);
        out_->pull(pcm.data());
        MixerFreeSound(s);
    }
}

// Sounds dropped while their decoding goes on: the decoder lets go of the
// bytes before they are freed (the sanitizers see any use after).
TEST_F(ProgressiveSoundThreads, DroppedWhileDecodingFreesEverything)
{
    const std::string music = std::string(KV_SOURCE_DIR) + "/data/kelvora.ogg";
    for (int i = 0; i < 6; ++i) {
        TAudioSamplePtr a = LoadAudioSampleProgressive(music);
        TAudioSamplePtr b = LoadAudioSampleProgressive(music);
        ASSERT_TRUE(a && b);
        if (i % 2) std::this_thread::sleep_for(std::chrono::milliseconds(i));
        MixerSound* s = MixerAdoptSound(b->length, 16, 2, b->hertz, b->samples, i % 3 == 0, std::move(b->fill));
        ASSERT_NE(s, nullptr);
        b->Release();
        MixerFreeSound(s);
    }
    // Bytes taken from a sample still being decoded: the decoding stops
    // there, and the background lets go of it.
    TAudioSamplePtr c = LoadAudioSampleProgressive(music);
    ASSERT_TRUE(c && c->fill);
    std::weak_ptr<TSampleFill> fill = c->fill;
    delete[] c->Release();
    EXPECT_FALSE(c->fill);
    for (int i = 0; i < 10000 && !fill.expired(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(fill.expired()) << "the fill goes on decoding for no one";
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
