#include <gtest/gtest.h>

#include "audio/sample.h"
#include "audio/wav_loader.h"
#include "io/bank_stream.h"
#include "sample_test_files.h"

namespace {

using namespace sampletest;

TAudioSamplePtr Load(const Bytes& file) { return LoadAudioSample(TUrl(TStreamPtr(TBankStream::Create(file, 1, 0)))); }
Bytes BytesOf(const TAudioSamplePtr& s) { return Bytes(s->samples, s->samples + s->ByteCount()); }

TEST(WavLoader, LoadsPcmOfEachDepthAndChannelCount)
{
    const Bytes pcm = {0x00, 0x80, 0xFF, 0x7F, 0x10, 0x20, 0x30, 0x40};
    struct Case {
        int channels, bits, format, frames;
    } cases[] = {{1, 8, FORMAT_MONO8, 8}, {2, 8, FORMAT_STEREO8, 4}, {1, 16, FORMAT_MONO16LE, 4},
                 {2, 16, FORMAT_STEREO16LE, 2}};
    for (const Case& c : cases) {
        TAudioSamplePtr s = Load(MakeWav(c.channels, c.bits, 11025, pcm));
        ASSERT_TRUE(s) << c.channels << "ch " << c.bits << " bit";
        EXPECT_EQ(s->format, c.format);
        EXPECT_EQ(s->length, c.frames);
        EXPECT_EQ(s->hertz, 11025);
        EXPECT_EQ(BytesOf(s), pcm);
    }
}

TEST(WavLoader, SkipsUnknownChunksIncludingOddSizedOnes)
{
    Bytes extra = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0, 'f', 'a', 'c', 't', 4, 0, 0, 0, 9, 9, 9, 9};
    TAudioSamplePtr s = Load(MakeWav(1, 16, 8000, {1, 2, 3, 4}, extra));
    ASSERT_TRUE(s);
    EXPECT_EQ(BytesOf(s), (Bytes{1, 2, 3, 4}));
}

TEST(WavLoader, ADataSizeThatOverrunsTheFileKeepsTheWholeFramesThere)
{
    Bytes file = MakeWav(2, 16, 8000, Bytes(40, 7));
    file.erase(file.end() - 3, file.end());    // last frame cut short
    TAudioSamplePtr s = Load(file);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->length, 9);

    // Streaming writers leave the sizes at 0.
    const Bytes ten = {200, 201, 202, 203, 204, 205, 206, 207, 208, 209};
    Bytes streamed = MakeWav(1, 8, 8000, ten);
    for (int i = 4; i < 8; ++i) streamed[size_t(i)] = 0;
    streamed[streamed.size() - 14] = 0;          // data size, low byte
    TAudioSamplePtr t = Load(streamed);
    ASSERT_TRUE(t);
    EXPECT_EQ(BytesOf(t), ten);
}

TEST(WavLoader, DeclinesWhatItCannotPlay)
{
    EXPECT_FALSE(Load(MakeWav(1, 24, 8000, Bytes(12, 1))));      // 24-bit
    EXPECT_FALSE(Load(MakeWav(3, 16, 8000, Bytes(12, 1))));      // 3 channels
    EXPECT_FALSE(Load(MakeWav(1, 16, 8000, Bytes(12, 1), {}, 3)));  // float
    EXPECT_FALSE(Load(MakeWav(1, 16, 0, Bytes(12, 1))));          // no rate
    Bytes noFormat = MakeWav(1, 16, 8000, {1, 2});
    noFormat[12] = 'x';                                            // "fmt " renamed
    EXPECT_FALSE(Load(noFormat));
    Bytes rifx = MakeWav(1, 16, 8000, {1, 2});
    rifx[3] = 'X';
    EXPECT_FALSE(Load(rifx));
    Bytes header = MakeWav(1, 16, 8000, {1, 2});
    for (size_t cut = 0; cut < 44; ++cut) EXPECT_FALSE(Load(Bytes(header.begin(), header.begin() + long(cut)))) << cut;

    TAudioSampleLoaderWAV wav;
    EXPECT_FALSE(wav.LoadAudioSample(TBankStream::Create(ReadFileBytes(kSounds + "bell.oga"))));
}

} // namespace
