#include "audio/mixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "mixer_fixture.h"

using namespace kelvora;

namespace {

using MixerOutput = MixerFixture;

std::vector<int16_t> Ramp(int n, int from, int step)
{
    std::vector<int16_t> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[size_t(i)] = int16_t(from + i * step);
    return v;
}

TEST_F(MixerOutput, UnitVoiceReproducesItsInputOnBothSides)
{
    // Extremes, odd values and a sign change.
    std::vector<int16_t> in = {32767, -32768, 1, -1, 0, 12345, -12345, 7, -32767, 32766};
    for (int i = 0; i < 600; ++i) in.push_back(int16_t((i * 7919) % 65536 - 32768));
    PlayNow(Sound(in));
    const auto out = Pull(2);
    for (size_t k = 0; k < in.size(); ++k) {
        ASSERT_EQ(L(out, int(k)), in[k]) << "frame " << k;
        ASSERT_EQ(R(out, int(k)), in[k]) << "frame " << k;
    }
    for (size_t k = in.size(); k < 1024; ++k) ASSERT_EQ(L(out, int(k)) | R(out, int(k)), 0) << "after the end, frame " << k;
}

TEST_F(MixerOutput, HalfRateGivesEachValueThenTheMidpoint)
{
    const std::vector<int16_t> in = {100, 300, -500, 32767, -32768, 1};
    PlayNow(Sound(in, 1, 22050));
    const auto out = Pull();
    const int expected[] = {100, 200, 300, -100, -500, 16133, 32767, -1, -32768, -16384, 1, 1};
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(L(out, k), expected[k]) << "frame " << k;
        EXPECT_EQ(R(out, k), expected[k]) << "frame " << k;
    }
    EXPECT_EQ(L(out, 12), 0);
}

TEST_F(MixerOutput, PanTurnsOneSideDownLinearlyAndNegativeDepthInverts)
{
    const std::vector<int16_t> in = {1000, -1001, 32767, -32768};
    const int right_pan = MixerAllocChannel();
    MixerSetPan(right_pan, 1.0f);
    const int half_left = MixerAllocChannel();
    MixerSetPan(half_left, -0.5f);
    const int deep = MixerAllocChannel();
    MixerSetDepth(deep, -0.01f);

    PlayNow(Sound(in), right_pan);
    auto out = Pull();
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(L(out, k), 0);
        EXPECT_EQ(R(out, k), in[size_t(k)]);
    }

    PlayNow(Sound(in), half_left);
    out = Pull();
    const int halved[] = {500, -501, 16383, -16384};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(L(out, k), in[size_t(k)]);
        EXPECT_EQ(R(out, k), halved[k]);
    }

    PlayNow(Sound(in), deep);
    out = Pull();
    const int inverted[] = {-1000, 1001, -32767, 32767};  // -(-32768) clips
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(L(out, k), in[size_t(k)]);
        EXPECT_EQ(R(out, k), inverted[k]);
    }
}

TEST_F(MixerOutput, VoicesAddUpAndClipOnlyAtTheOutput)
{
    const std::vector<int16_t> in = {32767, -32768, 20000, -20000, 10000};
    MixerSound* s = Sound(in);
    MixerPlaySound(s, 0, 0);
    PlayNow(s);
    const auto out = Pull();
    const int expected[] = {32767, -32768, 32767, -32768, 20000};
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(L(out, k), expected[k]);
        EXPECT_EQ(R(out, k), expected[k]);
    }
}

TEST_F(MixerOutput, EightBitAndStereoLayouts)
{
    const uint8_t mono8[] = {0, 128, 255, 64};
    MixerSound* m8 = MixerCreateSound(4, 8, 1, 22050, mono8, 0);
    ASSERT_NE(m8, nullptr);
    sounds_.push_back(m8);
    PlayNow(m8);
    auto out = Pull();
    const int m8_expected[] = {-32768, -16384, 0, 16256, 32512, 8064, -16384, -16384};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(L(out, k), m8_expected[k]) << "8-bit frame " << k;

    // Stereo 16-bit at half rate: each side interpolates on its own.
    PlayNow(Sound({100, -100, 300, -300, 500, 700}, 2, 22050));
    out = Pull();
    const int left[] = {100, 200, 300, 400, 500, 500};
    const int right[] = {-100, -200, -300, 200, 700, 700};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(L(out, k), left[k]) << "stereo frame " << k;
        EXPECT_EQ(R(out, k), right[k]) << "stereo frame " << k;
    }

    const uint8_t stereo8[] = {255, 0, 128, 128};
    MixerSound* s8 = MixerCreateSound(2, 8, 2, 44100, stereo8, 0);
    ASSERT_NE(s8, nullptr);
    sounds_.push_back(s8);
    PlayNow(s8);
    out = Pull();
    EXPECT_EQ(L(out, 0), 32512);
    EXPECT_EQ(R(out, 0), -32768);
    EXPECT_EQ(L(out, 1), 0);
    EXPECT_EQ(R(out, 1), 0);
}

// One voice of noise with extremes at rates that fall between source
// frames, every layout, against the interpolation written out frame by
// frame: x + floor((y - x) f / 65536) on 16 bits, 256 x - 32768 +
// floor((y - x) f / 256) on 8 bits, then (value * gain) >> 8 and the output's
// 4 bits. Gains near the 16-bit limit and an inverted full negative volume
// included.
TEST_F(MixerOutput, FractionalRatesInterpolateEveryLayoutExactly)
{
    struct Setting {
        float volume, pan, depth;
        int left, right;  // gains on the mixer's 4.12 scale
    };
    const Setting settings[] = {
        {0.75f, 0.25f, 0.0f, 2304, 3072},
        {32766.0f / 4096, -0.5f, -1.0f, 32766, -16383},
        {-8.0f, 0.0f, -1.0f, -32768, 32768},
    };
    const int hertz[] = {32000, 60293, 44101};
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int channels = 1; channels <= 2; ++channels) {
        for (int bits = 8; bits <= 16; bits += 8) {
            for (int t = 0; t < 3; ++t) {
                const int length = 1501;
                std::vector<int32_t> values(size_t(length * channels));
                std::vector<uint8_t> bytes(values.size() * size_t(bits / 8));
                for (size_t i = 0; i < values.size(); ++i) {
                    const uint32_t r = next() >> 8;
                    if (bits == 8) {
                        bytes[i] = i % 7 == 0 ? uint8_t(i % 2 ? 255 : 0) : uint8_t(r);
                        values[i] = bytes[i];
                    } else {
                        const int16_t v = i % 7 == 0 ? int16_t(i % 2 ? 32767 : -32768) : int16_t(r);
                        std::memcpy(&bytes[2 * i], &v, 2);
                        values[i] = v;
                    }
                }
                MixerSound* s = MixerCreateSound(length, bits, channels, hertz[t], bytes.data(), 0);
                ASSERT_NE(s, nullptr);
                sounds_.push_back(s);
                const Setting& set = settings[t];
                const int h = MixerAllocChannel();
                MixerSetVolume(h, set.volume);
                MixerSetPan(h, set.pan);
                MixerSetDepth(h, set.depth);
                PlayNow(s, h);
                const auto out = Pull(5);
                MixerFreeChannel(h);
                const int64_t step = int64_t(65536) * hertz[t] / 44100;
                for (int k = 0; k < 5 * FRAMES; ++k) {
                    const int64_t at = step * k;
                    const int64_t i = at >> 16;
                    const int64_t f = at & 0xFFFF;
                    for (int side = 0; side < 2; ++side) {
                        int expected = 0;
                        if (i < length) {
                            const int c = channels == 2 ? side : 0;
                            const int64_t x = values[size_t(i * channels + c)];
                            const int64_t y = i + 1 < length ? values[size_t((i + 1) * channels + c)] : x;
                            const int64_t v =
                                bits == 16 ? x + (((y - x) * f) >> 16) : x * 256 - 32768 + (((y - x) * f) >> 8);
                            const int64_t gain = side == 0 ? set.left : set.right;
                            expected = int(std::clamp<int64_t>(((v * gain) >> 8) >> 4, -32768, 32767));
                        }
                        ASSERT_EQ(out[size_t(2 * k + side)], expected)
                            << channels << " channel(s), " << bits << "-bit, " << hertz[t] << " Hz, frame " << k
                            << (side ? " right" : " left");
                    }
                }
            }
        }
    }
}

TEST_F(MixerOutput, LoopingVoiceCrossesItsEndWithoutAGap)
{
    const auto in = Ramp(100, -5000, 97);
    const int h = PlayNow(Sound(in, 1, 44100, 1));
    const auto out = Pull(3);  // crosses the end 15 times
    for (int k = 0; k < 3 * FRAMES; ++k) ASSERT_EQ(L(out, k), in[size_t(k % 100)]) << "frame " << k;
    EXPECT_EQ(MixerChannelStatus(h), softmix::VOICE_LOOP);
    EXPECT_EQ(MixerChannelPosition(h), 3 * FRAMES);

    // At half rate the frame after the last interpolates towards frame 0.
    const std::vector<int16_t> two = {1000, 3000};
    PlayNow(Sound(two, 1, 22050, 1), h);
    const auto slow = Pull();
    const int expected[] = {1000, 2000, 3000, 2000, 1000, 2000};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(L(slow, k), expected[k]) << "frame " << k;
}

TEST_F(MixerOutput, OneShotStopsWithinItsLastCallAndReportsStatusOne)
{
    const auto in = Ramp(700, 1, 1);
    const int channel = MixerAllocChannel();
    ASSERT_EQ(PlayNow(Sound(in), channel), channel);
    EXPECT_EQ(MixerChannelStatus(channel), softmix::VOICE_ONCE);
    auto out = Pull();
    EXPECT_EQ(MixerChannelStatus(channel), softmix::VOICE_ONCE);
    EXPECT_EQ(L(out, FRAMES - 1), FRAMES);
    out = Pull();
    EXPECT_EQ(MixerChannelStatus(channel), softmix::VOICE_STOPPED);
    EXPECT_EQ(MixerChannelPosition(channel), 700);
    EXPECT_EQ(L(out, 187), 700);
    for (int k = 188; k < FRAMES; ++k) ASSERT_EQ(L(out, k), 0) << "frame " << k;
    // The explicit channel keeps answering until it is given back.
    Pull();
    EXPECT_EQ(MixerChannelStatus(channel), softmix::VOICE_STOPPED);
    MixerFreeChannel(channel);
    EXPECT_EQ(MixerChannelStatus(channel), 0);
}

// The first frame on which a side sounds, or -1.
int FirstSounding(const std::vector<int16_t>& out, int side)
{
    for (size_t k = 0; 2 * k + 1 < out.size(); ++k)
        if (out[2 * k + size_t(side)] != 0) return int(k);
    return -1;
}

TEST_F(MixerOutput, StartLatencyKeepsVoicesStartedAppartApart)
{
    // Picked up 0 and 2 ms after the second start: 17 ms and 15 ms left of
    // the first voice's latency give 749 and 661 frames.
    const int expected_gap[] = {133, 132};
    for (int pickup_ms : {0, 2}) {
        SCOPED_TRACE(pickup_ms);
        MixerSound* s = Sound(std::vector<int16_t>(4000, 1000));
        const int left = MixerAllocChannel(), right = MixerAllocChannel();
        MixerSetPan(left, -1.0f);
        MixerSetPan(right, 1.0f);
        MixerPlaySound(s, 0, left);
        clock_->Advance(3);
        MixerPlaySound(s, 0, right);
        clock_->Advance(pickup_ms);
        const auto out = Pull(4);
        const int a = FirstSounding(out, 0), b = FirstSounding(out, 1);
        EXPECT_EQ(b - a, expected_gap[pickup_ms / 2]);
        EXPECT_EQ(a, (17 - pickup_ms) * 44100 / 1000);
        MixerStopChannel(left);
        MixerStopChannel(right);
        Pull();
    }
}

TEST_F(MixerOutput, VoicePickedUpLateStartsAtOnce)
{
    MixerSound* s = Sound(std::vector<int16_t>(100, 50));
    MixerPlaySound(s, 0, 0);
    clock_->Advance(500);
    EXPECT_EQ(FirstSounding(Pull(), 0), 0);
}

TEST_F(MixerOutput, VolumeGlidesOverOneCallWhilePlayingButJumpsWhilePaused)
{
    MixerSound* s = Sound(std::vector<int16_t>(8, 1000), 1, 44100, 1);
    const int h = PlayNow(s);
    EXPECT_EQ(L(Pull(), FRAMES - 1), 1000);
    MixerSetVolume(h, 0.5f);
    auto out = Pull();
    EXPECT_EQ(L(out, 0), 1000);
    EXPECT_EQ(L(out, 256), 750);  // halfway through the call, halfway down
    for (int k = 1; k < FRAMES; ++k) ASSERT_LE(L(out, k), L(out, k - 1)) << "frame " << k;
    EXPECT_EQ(L(out, FRAMES - 1), 500);
    out = Pull();
    for (int k = 0; k < FRAMES; ++k) ASSERT_EQ(L(out, k), 500) << "frame " << k;

    MixerSetPaused(h, 1);
    out = Pull();
    EXPECT_EQ(FirstSounding(out, 0), -1);
    MixerSetVolume(h, 0.25f);
    MixerSetPaused(h, 0);
    out = Pull();
    for (int k = 0; k < FRAMES; ++k) ASSERT_EQ(L(out, k), 250) << "frame " << k;
}

TEST_F(MixerOutput, CuedVoiceTakesItsSettingsBeforeTheFirstFrame)
{
    MixerSound* s = Sound(std::vector<int16_t>(2000, 4000));
    const int h = MixerPlaySound(s, 1, 0);
    ASSERT_NE(h, 0);
    EXPECT_EQ(MixerChannelStatus(h), softmix::VOICE_ONCE | softmix::VOICE_PAUSED);
    MixerSetVolume(h, 0.5f);
    MixerSetPan(h, 0.5f);
    MixerSetRate(h, 2.0f);
    clock_->Advance(30);
    // Paused: nothing sounds and the start latency waits too.
    EXPECT_EQ(FirstSounding(Pull(2), 0), -1);
    MixerSetPaused(h, 0);
    EXPECT_EQ(MixerChannelStatus(h), softmix::VOICE_ONCE);
    const auto out = Pull(3);
    EXPECT_EQ(L(out, 0), 1000);
    EXPECT_EQ(R(out, 0), 2000);
    EXPECT_EQ(L(out, 999), 1000);  // twice as fast: 2000 frames last 1000
    EXPECT_EQ(L(out, 1000), 0);
}

TEST_F(MixerOutput, RateGlidesFromTheCurrentStep)
{
    MixerSound* s = Sound(Ramp(30000, -15000, 1), 1, 44100, 0);
    const int h = PlayNow(s);
    Pull();
    MixerSetRate(h, 2.0f);
    auto out = Pull();
    // Steps grow from 1.0 towards 2.0 across the call: frame k has moved
    // about k + k*k/1024 frames on.
    EXPECT_EQ(L(out, 1) - L(out, 0), 1);
    EXPECT_NEAR(L(out, 511) - L(out, 510), 2, 1);
    EXPECT_NEAR(L(out, 511) - L(out, 0), 511 + 511 * 511 / 1024, 2);
    out = Pull();
    for (int k = 1; k < FRAMES; ++k) ASSERT_EQ(L(out, k) - L(out, k - 1), 2) << "frame " << k;
}

TEST_F(MixerOutput, StaleHandleDoesNothingAndReadsZero)
{
    MixerSound* s = Sound(std::vector<int16_t>(5000, 800), 1, 44100, 1);
    const int old_handle = MixerAllocChannel();
    MixerFreeChannel(old_handle);
    const int handle = MixerAllocChannel();
    ASSERT_NE(handle, old_handle);
    EXPECT_EQ(handle & 0xFFF, old_handle & 0xFFF) << "the same slot is handed out again";
    PlayNow(s, handle);

    EXPECT_EQ(MixerPlaySound(s, 0, old_handle), 0);
    MixerSetVolume(old_handle, 0.0f);
    MixerSetPan(old_handle, 1.0f);
    MixerSetDepth(old_handle, -1.0f);
    MixerSetRate(old_handle, 0.0f);
    MixerSetPaused(old_handle, 1);
    MixerStopChannel(old_handle);
    MixerFreeChannel(old_handle);
    EXPECT_EQ(MixerChannelStatus(old_handle), 0);
    EXPECT_EQ(MixerChannelPosition(old_handle), 0);

    const auto out = Pull();
    EXPECT_EQ(L(out, 0), 800);
    EXPECT_EQ(R(out, 0), 800);
    EXPECT_EQ(MixerChannelStatus(handle), softmix::VOICE_LOOP);
    EXPECT_EQ(MixerChannelStatus(0), 0);
    EXPECT_EQ(MixerChannelStatus(0x7FFFF000), 0);
}

TEST_F(MixerOutput, ChannelSettingsCarryOverToTheNextSound)
{
    MixerSound* s = Sound(std::vector<int16_t>(5000, 1600), 1, 44100, 1);
    const int h = MixerAllocChannel();
    EXPECT_EQ(MixerChannelStatus(h), softmix::VOICE_STOPPED) << "a fresh channel is idle";
    MixerSetVolume(h, 0.5f);
    PlayNow(s, h);
    auto out = Pull();
    EXPECT_EQ(L(out, 0), 800) << "no glide from the neutral volume";
    // Playing again on the channel replaces the voice.
    MixerSound* other = Sound(std::vector<int16_t>(5000, 400), 1, 44100, 1);
    PlayNow(other, h);
    out = Pull();
    EXPECT_EQ(L(out, FRAMES - 1), 200);
    MixerStopChannel(h);
    out = Pull();
    EXPECT_EQ(FirstSounding(out, 0), -1);
    EXPECT_EQ(MixerChannelStatus(h), 0);
    EXPECT_EQ(MixerCounts().channels_in_use, 0);
}

TEST_F(MixerOutput, ImplicitChannelsComeBackWhenTheirVoicesEnd)
{
    MixerSound* s = Sound(std::vector<int16_t>(100, 10));
    int handles[10];
    for (int& h : handles) h = MixerPlaySound(s, 0, 0);
    EXPECT_EQ(MixerCounts().channels_in_use, 10);
    clock_->Advance(20);
    const auto out = Pull();
    EXPECT_EQ(L(out, 0), 100);
    const TMixerCounts c = MixerCounts();
    EXPECT_EQ(c.channels_in_use, 0);
    EXPECT_EQ(c.voices, 10);
    EXPECT_EQ(c.voices_pooled, 10);
    for (int h : handles) EXPECT_EQ(MixerChannelStatus(h), 0);
    // Voices are reused, not made again.
    MixerPlaySound(s, 0, 0);
    EXPECT_EQ(MixerCounts().voices, 10);
}

TEST_F(MixerOutput, WithAllChannelsTakenAnImplicitVoiceStillPlays)
{
    std::vector<int> channels;
    for (int h; (h = MixerAllocChannel()) != 0;) channels.push_back(h);
    EXPECT_EQ(channels.size(), 4095u);
    EXPECT_EQ(PlayNow(Sound(std::vector<int16_t>(10, 300))), 0);
    EXPECT_EQ(L(Pull(), 0), 300);
    for (int h : channels) MixerFreeChannel(h);
    EXPECT_EQ(MixerCounts().channels_in_use, 0);
}

TEST_F(MixerOutput, FreedChannelLetsItsVoicePlayToTheEnd)
{
    MixerSound* s = Sound(std::vector<int16_t>(700, 123));
    const int h = MixerAllocChannel();
    PlayNow(s, h);
    MixerFreeChannel(h);
    auto out = Pull(2);
    EXPECT_EQ(L(out, 699), 123);
    EXPECT_EQ(L(out, 700), 0);
    const TMixerCounts c = MixerCounts();
    EXPECT_EQ(c.voices, c.voices_pooled) << "the finished voice was recycled";
}

TEST_F(MixerOutput, SilentVoiceOnlyMovesOn)
{
    MixerSound* s = Sound(Ramp(1000, 1, 1), 1, 44100, 1);
    const int h = MixerAllocChannel();
    MixerSetVolume(h, 0.0f);
    PlayNow(s, h);
    EXPECT_EQ(FirstSounding(Pull(3), 0), -1);
    EXPECT_EQ(MixerChannelPosition(h), 3 * FRAMES);
    MixerSetPaused(h, 1);
    MixerSetVolume(h, 1.0f);
    MixerSetPaused(h, 0);
    EXPECT_EQ(L(Pull(), 0), 3 * FRAMES % 1000 + 1) << "the loop went on where the silence left it";
}

TEST(MixerSoundRecord, GuardFrameAndRefusals)
{
    const int16_t values[] = {5, 6, 7};
    MixerSound* once = NewMixerSound(3, 16, 1, 44100, values, 0);
    MixerSound* looped = NewMixerSound(3, 16, 1, 44100, values, 1);
    ASSERT_TRUE(once && looped);
    EXPECT_EQ(reinterpret_cast<int16_t*>(once->data)[3], 7);
    EXPECT_EQ(reinterpret_cast<int16_t*>(looped->data)[3], 5);
    EXPECT_EQ(once->data_bytes, 6);
    EXPECT_EQ(once->owned_bytes, 8);
    ReleaseMixerSound(once);
    ReleaseMixerSound(looped);

    EXPECT_EQ(NewMixerSound(3, 12, 1, 44100, values, 0), nullptr);
    EXPECT_EQ(NewMixerSound(3, 16, 3, 44100, values, 0), nullptr);
    EXPECT_EQ(NewMixerSound(3, 16, 1, 0, values, 0), nullptr);
    EXPECT_EQ(NewMixerSound(-1, 16, 1, 44100, values, 0), nullptr);
    EXPECT_EQ(NewMixerSound(3, 16, 1, 44100, nullptr, 0), nullptr);
    // No mixer, no sound.
    EXPECT_EQ(MixerCreateSound(3, 16, 1, 44100, values, 0), nullptr);
    EXPECT_EQ(MixerAllocChannel(), 0);
    EXPECT_EQ(MixerPlaySound(nullptr, 0, 0), 0);
}

TEST_F(MixerOutput, EmptySoundFinishesWithoutReading)
{
    MixerSound* empty = Sound({}, 1, 44100, 1);
    ASSERT_NE(empty, nullptr);
    const int h = MixerAllocChannel();
    PlayNow(empty, h);
    EXPECT_EQ(FirstSounding(Pull(), 0), -1);
    EXPECT_EQ(MixerChannelStatus(h), softmix::VOICE_STOPPED);
}

}  // namespace
