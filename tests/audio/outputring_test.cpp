#include "audio/outputring.h"

#include <gtest/gtest.h>

#include <vector>

#include "audio/mixer.h"
#include "audio/voice.h"
#include "system/clock.h"

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

    MixerSound* sound_ = nullptr;
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

}  // namespace
