#include "audio/outputring.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "audio/mixer.h"
#include "audio/voice.h"
#include "kelvora/system/clock.h"

using namespace kelvora;

namespace {

constexpr int FRAGMENT = 1024;

// A mixer playing one looping ramp, so every value heard tells which
// mixed frame it is: frame k sounds k mod 4096 on the left.
class RampRing : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::vector<int16_t> ramp(4096);
        for (int i = 0; i < 4096; ++i) ramp[size_t(i)] = int16_t(i);
        sound_ = NewMixerSound(4096, 16, 1, 44100, ramp.data(), 1);
        voice_.buffer = sound_;
        voice_.status.store(softmix::VOICE_LOOP);
        voice_.start_ms = Millisecs() - 1000;  // long past: sounds at once
        ASSERT_TRUE(mixer_.queue_start(&voice_));
    }
    void TearDown() override { ReleaseMixerSound(sound_); }

    // The card takes values at now_us; by default it keeps real time
    // (values played so far, at 88200 a second).
    std::vector<int16_t> Play(int values, int64_t now_us = -1)
    {
        if (now_us < 0) now_us = int64_t(ring_.Played()) * 1000000 / 88200;
        std::vector<int16_t> out(size_t(values), 1);
        ring_.Play(out.data(), values, now_us);
        return out;
    }

    // A card on its own schedule: one fragment per callback at each time
    // given, the refill woken after each run of callbacks and every 5 ms,
    // as the SDL output does. The share of silent values it heard.
    double Drive(const std::vector<int64_t>& callbacks_us)
    {
        int64_t values = 0, silent = 0;
        for (size_t i = 0; i < callbacks_us.size(); ++i) {
            const int64_t t = callbacks_us[i];
            for (; tick_us_ + 5000 <= t; tick_us_ += 5000) ring_.Update(mixer_);
            const auto out = Play(FRAGMENT, t);
            // The ramp passes 0 once in 4096 frames; silence stays there.
            for (size_t k = 2; k < out.size(); k += 2) silent += out[k] == 0 && out[k - 2] == 0;
            values += FRAGMENT / 2;
            if (i + 1 == callbacks_us.size() || callbacks_us[i + 1] != t) ring_.Update(mixer_);
        }
        return double(silent) / double(values);
    }

    MixerSound* sound_ = nullptr;
    int64_t tick_us_ = 0;
    softmix::sound voice_;
    softmix::mixer mixer_{FRAGMENT};
    // SDL's buffer: one fragment, counted in the lead.
    softmix::TOutputRing ring_{FRAGMENT, FRAGMENT};
};

TEST_F(RampRing, KeepsTheLeadWithTheCardsBufferCountedAndPlaysInOrder)
{
    EXPECT_EQ(ring_.Update(mixer_), 1) << "two fragments of lead, one of them in the card";
    EXPECT_EQ(ring_.Written(), 1u * FRAGMENT);
    int frame = 0;
    for (int round = 0; round < 40; ++round) {
        const auto out = Play(700);  // the card's pieces need not match fragments
        for (size_t k = 0; k < out.size(); k += 2, ++frame) ASSERT_EQ(out[k], frame % 4096) << "frame " << frame;
        ring_.Update(mixer_);
        ASSERT_GE(ring_.Written(), ring_.Played() + FRAGMENT);
    }
    EXPECT_EQ(ring_.Starvations(), 0);
    EXPECT_EQ(ring_.Latency(), softmix::TOutputRing::START_LATENCY);
}

TEST_F(RampRing, StarvationGivesSilenceThenALongerLeadThatComesDownOnceStable)
{
    ring_.Update(mixer_);
    // A device filling its buffers at start takes several pieces at once:
    // what it gets short then is not starvation.
    for (int i = 0; i < 3; ++i) Play(FRAGMENT, 0);
    EXPECT_EQ(ring_.Starvations(), 0);
    ring_.Update(mixer_);
    EXPECT_EQ(ring_.Latency(), softmix::TOutputRing::START_LATENCY);

    // Later, at its normal pace, the card takes more than was mixed: the
    // missing part is silence and the lead grows by a fragment.
    const int16_t last = Play(int(ring_.Written() - ring_.Played()), 2000000).end()[-2];
    auto out = Play(FRAGMENT, 3000000);
    for (int16_t v : out) ASSERT_EQ(v, 0);
    EXPECT_EQ(ring_.Starvations(), 1);
    EXPECT_EQ(ring_.Update(mixer_), 2);
    EXPECT_EQ(ring_.Latency(), 3);
    // Mixing goes on where the card is; nothing mixed was skipped.
    EXPECT_EQ(Play(2, 3020000)[0], last + 1) << "resumes right after the gap";

    for (int i = 0; i < 20; ++i) {
        Play(int(ring_.Written() - ring_.Played()) + FRAGMENT, 4000000 + i * 100000);
        ring_.Update(mixer_);
    }
    EXPECT_EQ(ring_.Latency(), softmix::TOutputRing::MAX_LATENCY) << "the lead stops growing at ten fragments";
    EXPECT_EQ(ring_.Starvations(), 21);
    EXPECT_EQ(ring_.Written(), ring_.Played() + 9u * FRAGMENT);

    // A stable minute brings it down one fragment, and so on.
    for (int64_t played = 0, t = 7000000; played < 61LL * 88200; played += 700, t += 7937) {
        Play(700, t);
        ring_.Update(mixer_);
    }
    EXPECT_EQ(ring_.Latency(), softmix::TOutputRing::MAX_LATENCY - 1);
    EXPECT_EQ(ring_.Starvations(), 21);
}

// Cards that call back in bursts, measured against the clock: the silence
// between is starving, and the lead grows until it covers the bursts.
TEST_F(RampRing, BurstsOfCallbacksStarveUntilTheLeadCoversThem)
{
    constexpr int64_t kFragmentUs = 11610;  // 512 frames
    ring_.Update(mixer_);
    std::vector<int64_t> steady;
    for (int k = 0; k < 200; ++k) steady.push_back(k * kFragmentUs);
    EXPECT_EQ(Drive(steady), 0.0);
    EXPECT_EQ(ring_.Starvations(), 0) << "a card keeping time never starves";
    EXPECT_EQ(ring_.Latency(), softmix::TOutputRing::START_LATENCY);

    // Two callbacks back to back every 23.2 ms, as clocked cards and sound
    // servers with a longer period do: 10 s of it.
    auto bursts = [&](int64_t from_us, int count) {
        std::vector<int64_t> at;
        for (int k = 0; k < count; ++k) at.insert(at.end(), 2, from_us + k * 2 * kFragmentUs);
        return at;
    };
    const int64_t start = 200 * kFragmentUs;
    const double before = Drive(bursts(start, 43));  // the first second
    const double after = Drive(bursts(start + 43 * 2 * kFragmentUs, 388));
    std::printf("bursts: %.1f %% silent in the first second, %.1f %% in the next nine; lead %d fragments, "
                "%d underruns\n", 100 * before, 100 * after, ring_.Latency(), ring_.Starvations());
    EXPECT_GT(ring_.Starvations(), 0) << "the silence in the bursts was not counted";
    EXPECT_EQ(ring_.Latency(), 3) << "one fragment more covers a burst of two";
    EXPECT_GT(before, 0.0);
    EXPECT_EQ(after, 0.0) << "the bursts still fall silent";

    // The card's thread runs 46 ms late, then catches up with the
    // callbacks it missed, back to back: real time asked for all of them.
    const int underruns = ring_.Starvations();
    int64_t t = start + 431 * 2 * kFragmentUs;
    std::vector<int64_t> late(8, t + 4 * kFragmentUs);
    EXPECT_GT(Drive(late), 0.0);
    EXPECT_GT(ring_.Starvations(), underruns) << "catching up is not ahead of real time";
    EXPECT_EQ(ring_.Latency(), 4);
    std::printf("a late thread catching up: lead %d fragments, %d underruns\n", ring_.Latency(),
                ring_.Starvations());
}

}  // namespace
