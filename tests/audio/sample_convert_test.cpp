#include <gtest/gtest.h>

#include <cstring>

#include "kelvora/audio/sample.h"
#include "sample_test_files.h"

using namespace kelvora;

namespace {

using sampletest::Bytes;
using sampletest::BytesOf;

TAudioSamplePtr Make(int format, const Bytes& bytes)
{
    TAudioSamplePtr s = TAudioSample::Create(int(bytes.size()) / SampleFrameBytes(format), 22050, format);
    std::memcpy(s->samples, bytes.data(), bytes.size());
    return s;
}

std::vector<int16_t> Values16(const TAudioSamplePtr& s)
{
    std::vector<int16_t> v(size_t(s->ByteCount() / 2));
    std::memcpy(v.data(), s->samples, v.size() * 2);
    return v;
}

TEST(AudioSample, CreateOwnsZeroedFramesStaticWrapsTheCallersAndCopyIsIndependent)
{
    TAudioSamplePtr s = TAudioSample::Create(10, 44100, FORMAT_STEREO16BE);
    EXPECT_EQ(s->capacity, 40);
    EXPECT_EQ(BytesOf(s), Bytes(40, 0));
    EXPECT_EQ(TAudioSample::Create(10, 44100, FORMAT_MONO8)->capacity, 10);

    uint8_t frames[4] = {1, 0, 2, 0};  // on the stack: never freed by the sample
    TAudioSamplePtr wrapped = TAudioSample::CreateStatic(frames, 2, 8000, FORMAT_MONO16LE);
    EXPECT_EQ(wrapped->capacity, -1);
    TAudioSamplePtr copy = wrapped->Copy();
    frames[0] = 9;
    EXPECT_EQ(BytesOf(copy), (Bytes{1, 0, 2, 0}));
    EXPECT_EQ(copy->hertz, 8000);
}

TEST(AudioSampleConvert, EightBitAndSixteenBitEndsMeetAndMonoAveragesTowardZero)
{
    TAudioSamplePtr m16 = Make(FORMAT_MONO8, {0, 128, 255})->Convert(FORMAT_MONO16LE);
    EXPECT_EQ(Values16(m16), (std::vector<int16_t>{-32768, 128, 32767}));
    EXPECT_EQ(m16->hertz, 22050);
    EXPECT_EQ(BytesOf(m16->Convert(FORMAT_MONO8)), (Bytes{0, 128, 255}));
    EXPECT_EQ(BytesOf(Make(FORMAT_STEREO16BE, {0x7F, 0xFF, 0x80, 0x00})->Convert(FORMAT_STEREO8)), (Bytes{255, 0}));
    // (1000, -3) -> 498 and (-3, 0) -> -1.
    TAudioSamplePtr st = Make(FORMAT_STEREO16LE, {0xE8, 0x03, 0xFD, 0xFF, 0xFD, 0xFF, 0x00, 0x00});
    EXPECT_EQ(Values16(st->Convert(FORMAT_MONO16LE)), (std::vector<int16_t>{498, -1}));
}

TEST(AudioSampleConvert, EveryTargetHasItsByteOrderAndLayout)
{
    // One frame, left 0x1234 and right -2, into every format and back.
    TAudioSamplePtr src = Make(FORMAT_STEREO16LE, {0x34, 0x12, 0xFE, 0xFF});
    const Bytes expected[7] = {
        {},
        {uint8_t(((0x1234 - 2) / 2 + 32768) / 257)},
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
        for (int back = 1; back <= 6; ++back)
            EXPECT_EQ(BytesOf(out->Convert(back)), BytesOf(Make(to, expected[to])->Convert(back))) << to << back;
    }
    EXPECT_EQ(BytesOf(src->Convert(FORMAT_STEREO16BE)->Convert(FORMAT_STEREO16LE)), BytesOf(src));
}

TEST(AudioSampleConvert, CodesOutsideOneToSixAreRefused)
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
    EXPECT_THROW(TAudioSample::Create(4, 8000, 0)->Convert(FORMAT_MONO8), TRuntimeException);
}

} // namespace
