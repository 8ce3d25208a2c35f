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

    std::vector<int16_t> Play(int values)
    {
        std::vector<int16_t> out(size_t(values), 1);
        ring_.Play(out.data(), values);
        return out;
    }

    MixerSound* sound_ = nullptr;
    softmix::sound voice_;
    softmix::mixer mixer_{FRAGMENT};
    softmix::TOutputRing ring_{FRAGMENT};
};

TEST_F(RampRing, KeepsSixFragmentsAheadAndPlaysThemInOrder)
{
    EXPECT_EQ(ring_.Update(mixer_), 6);
    EXPECT_EQ(ring_.Written(), 6u * FRAGMENT);
    int frame = 0;
    for (int round = 0; round < 40; ++round) {
        const auto out = Play(700);  // the card's pieces need not match fragments
        for (size_t k = 0; k < out.size(); k += 2, ++frame) ASSERT_EQ(out[k], frame % 4096) << "frame " << frame;
        ring_.Update(mixer_);
        ASSERT_GE(ring_.Written(), ring_.Played() + 6u * FRAGMENT - FRAGMENT);
    }
    EXPECT_EQ(ring_.Starvations(), 0);
    EXPECT_EQ(ring_.Latency(), 6);
}

TEST_F(RampRing, StarvationGivesSilenceThenALongerLead)
{
    ring_.Update(mixer_);
    // The card takes more than was mixed: the missing part is silence.
    auto out = Play(7 * FRAGMENT);
    EXPECT_EQ(out[size_t(6 * FRAGMENT - 2)], 3 * FRAGMENT - 1);
    for (int k = 6 * FRAGMENT; k < 7 * FRAGMENT; ++k) ASSERT_EQ(out[size_t(k)], 0);
    EXPECT_EQ(ring_.Update(mixer_), 8);
    EXPECT_EQ(ring_.Latency(), 8);
    EXPECT_EQ(ring_.Starvations(), 1);
    // Mixing goes on where it stopped; nothing mixed was skipped.
    out = Play(2);
    EXPECT_EQ(out[0], 3 * FRAGMENT);

    // Falling within two fragments counts too, before anything is lost.
    Play(int(ring_.Written() - ring_.Played()) - FRAGMENT);
    ring_.Update(mixer_);
    EXPECT_EQ(ring_.Latency(), 10);
    Play(int(ring_.Written() - ring_.Played()));
    ring_.Update(mixer_);
    EXPECT_EQ(ring_.Latency(), 10) << "the lead stops growing at ten fragments";
    EXPECT_EQ(ring_.Starvations(), 3);
    EXPECT_EQ(ring_.Written(), ring_.Played() + 10u * FRAGMENT);
}

}  // namespace
