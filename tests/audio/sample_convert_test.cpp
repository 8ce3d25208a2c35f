#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/sample.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes BytesOf(const TAudioSamplePtr& s) { return Bytes(s->samples, s->samples + s->ByteCount()); }

TAudioSamplePtr Make(int format, const Bytes& bytes, int hertz = 22050)
{
    int frames = int(bytes.size()) / SampleFrameBytes(format);
    TAudioSamplePtr s = TAudioSample::Create(frames, hertz, format);
    std::memcpy(s->samples, bytes.data(), bytes.size());
    return s;
}

TEST(AudioSample, CreateOwnsZeroedFramesAndStaticWrapsTheCallers)
{
    const int frames[7] = {0, 1, 2, 2, 2, 4, 4};
    for (int f = 0; f <= 6; ++f) {
        TAudioSamplePtr s = TAudioSample::Create(10, 44100, f);
        EXPECT_EQ(s->capacity, 10 * frames[f]);
        EXPECT_EQ(s->length, 10);
        EXPECT_EQ(s->hertz, 44100);
        EXPECT_EQ(BytesOf(s), Bytes(size_t(s->capacity), 0));
    }
    EXPECT_EQ(SampleChannels(FORMAT_STEREO8), 2);
    EXPECT_EQ(SampleChannels(FORMAT_MONO16BE), 1);
    EXPECT_EQ(SampleFrameBytes(99), 0);

    // A stack buffer: the sample must never free it.
    uint8_t frames16[8] = {1, 0, 2, 0, 3, 0, 4, 0};
    TAudioSamplePtr wrapped = TAudioSample::CreateStatic(frames16, 4, 8000, FORMAT_MONO16LE);
    EXPECT_EQ(wrapped->capacity, -1);
    EXPECT_EQ(wrapped->samples, frames16);

    TAudioSamplePtr copy = wrapped->Copy();
    EXPECT_NE(copy->samples, frames16);
    EXPECT_EQ(copy->capacity, 8);
    EXPECT_EQ(BytesOf(copy), Bytes(frames16, frames16 + 8));
    frames16[0] = 9;
    EXPECT_EQ(copy->samples[0], 1);
    wrapped.reset();
}

TEST(AudioSampleConvert, EightBitValuesSpreadOverTheSixteenBitRange)
{
    TAudioSamplePtr m8 = Make(FORMAT_MONO8, {0, 128, 255});
    TAudioSamplePtr m16 = m8->Convert(FORMAT_MONO16LE);
    ASSERT_EQ(m16->length, 3);
    const auto* v = reinterpret_cast<const int16_t*>(m16->samples);
    EXPECT_EQ(v[0], -32768);
    EXPECT_EQ(v[1], 128);
    EXPECT_EQ(v[2], 32767);
    EXPECT_EQ(m16->hertz, 22050);
    // And back: 8-bit survives the round trip exactly.
    EXPECT_EQ(BytesOf(m16->Convert(FORMAT_MONO8)), (Bytes{0, 128, 255}));
    EXPECT_EQ(BytesOf(m8->Convert(FORMAT_STEREO8)), (Bytes{0, 0, 128, 128, 255, 255}));
}

TEST(AudioSampleConvert, MonoTargetsAverageRoundingTowardZero)
{
    // Frames (1000, -3) and (-3, 0) as 16-bit little-endian stereo.
    TAudioSamplePtr st = Make(FORMAT_STEREO16LE, {0xE8, 0x03, 0xFD, 0xFF, 0xFD, 0xFF, 0x00, 0x00});
    TAudioSamplePtr mono = st->Convert(FORMAT_MONO16LE);
    const auto* v = reinterpret_cast<const int16_t*>(mono->samples);
    EXPECT_EQ(v[0], 498);
    EXPECT_EQ(v[1], -1);
    EXPECT_EQ(BytesOf(st->Convert(FORMAT_MONO16BE)), (Bytes{0x01, 0xF2, 0xFF, 0xFF}));
}

TEST(AudioSampleConvert, SixteenBitEndsReachTheEightBitEnds)
{
    // 32767 and -32768, in both byte orders and channel counts.
    EXPECT_EQ(BytesOf(Make(FORMAT_MONO16LE, {0xFF, 0x7F, 0x00, 0x80})->Convert(FORMAT_MONO8)), (Bytes{255, 0}));
    EXPECT_EQ(BytesOf(Make(FORMAT_STEREO16BE, {0x7F, 0xFF, 0x80, 0x00})->Convert(FORMAT_STEREO8)),
              (Bytes{255, 0}));
    // Full-scale opposites average to 0 (-1 / 2 rounds toward zero): silence.
    EXPECT_EQ(BytesOf(Make(FORMAT_STEREO16LE, {0xFF, 0x7F, 0x00, 0x80})->Convert(FORMAT_MONO8)), (Bytes{127}));
}

TEST(AudioSampleConvert, EveryFormatHasItsByteOrderAndLayout)
{
    // One frame, left 0x1234 and right -2 (0xFFFE), into every format.
    TAudioSamplePtr src = Make(FORMAT_STEREO16LE, {0x34, 0x12, 0xFE, 0xFF});
    const Bytes expected[7] = {
        {},
        {uint8_t(((0x1234 - 2) / 2 + 32768) / 257)},  // mono: the average
        {0x19, 0x09},
        {0x09, 0x19},
        {uint8_t((0x1234 + 32768) / 257), uint8_t((-2 + 32768) / 257)},
        {0x34, 0x12, 0xFE, 0xFF},
        {0x12, 0x34, 0xFF, 0xFE},
    };
    for (int to = 1; to <= 6; ++to) {
        TAudioSamplePtr out = src->Convert(to);
        EXPECT_EQ(out->format, to);
        EXPECT_EQ(BytesOf(out), expected[to]) << "format " << to;
        // Each target read back into little-endian stereo lands on the same
        // values as converting straight there.
        for (int via = 1; via <= 6; ++via)
            EXPECT_EQ(BytesOf(out->Convert(via)), BytesOf(Make(to, expected[to])->Convert(via)));
    }
    // 16-bit stereo passes through every 16-bit stereo format unchanged.
    EXPECT_EQ(BytesOf(src->Convert(FORMAT_STEREO16BE)->Convert(FORMAT_STEREO16LE)), BytesOf(src));
}

TEST(AudioSampleConvert, UnknownCodesAreRefused)
{
    TAudioSamplePtr s = Make(FORMAT_MONO16LE, {1, 2});
    for (int bad : {0, 7, -1}) {
        try {
            s->Convert(bad);
            ADD_FAILURE() << "converted to " << bad;
        } catch (const TRuntimeException& e) {
            EXPECT_STREQ(e.what(), "Unimplemented sample format conversion");
        }
    }
    TAudioSamplePtr none = TAudioSample::Create(4, 8000, 0);
    EXPECT_THROW(none->Convert(FORMAT_MONO8), TRuntimeException);
    EXPECT_THROW(none->Convert(0), TRuntimeException);
}

TEST(AudioSampleConvert, EmptySamplesConvertToEmptySamples)
{
    TAudioSamplePtr s = TAudioSample::Create(0, 8000, FORMAT_STEREO8);
    TAudioSamplePtr out = s->Convert(FORMAT_MONO16BE);
    EXPECT_EQ(out->length, 0);
    EXPECT_EQ(out->capacity, 0);
}

} // namespace
