#include <gtest/gtest.h>

#include <cmath>

#include "audio/ogg_loader.h"
#include "audio/sample.h"
#include "io/bank_stream.h"
#include "sample_test_files.h"

namespace {

using namespace sampletest;

Bytes BytesOf(const TAudioSamplePtr& s) { return Bytes(s->samples, s->samples + s->ByteCount()); }

TAudioSamplePtr LoadBytesAsSample(const Bytes& bytes)
{
    return LoadAudioSample(TUrl(TStreamPtr(TBankStream::Create(bytes, 1, 0))));
}

// Where two decodes first differ, in frames; -1 when they are equal.
long FirstDifference(const Bytes& a, const Bytes& b, int frameBytes)
{
    if (a == b) return -1;
    size_t n = std::min(a.size(), b.size());
    size_t i = 0;
    while (i < n && a[i] == b[i]) ++i;
    return long(i / size_t(frameBytes));
}

struct Reference {
    const char* file;
    int channels;
    int hertz;
};

// Debian's desktop sound theme: mono and stereo at several rates.
const Reference kThemeSounds[] = {
    {"suspend-error.oga", 1, 44100},   {"phone-outgoing-busy.oga", 1, 8000},
    {"audio-channel-front-left.oga", 1, 48000}, {"bell.oga", 2, 44100},
    {"complete.oga", 2, 44100},        {"service-login.oga", 2, 22050},
    {"camera-shutter.oga", 2, 96000},
};

TEST(OggLoader, DecodesRealFilesFrameForFrameLikeTheReferenceDecoder)
{
    for (const Reference& r : kThemeSounds) {
        SCOPED_TRACE(r.file);
        std::string path = kSounds + r.file;
        Bytes expected = Oggdec(path);
        ASSERT_FALSE(expected.empty()) << "oggdec (vorbis-tools) and sound-theme-freedesktop are needed";
        TAudioSamplePtr s = LoadAudioSample(path);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->format, r.channels == 1 ? FORMAT_MONO16LE : FORMAT_STEREO16LE);
        EXPECT_EQ(s->hertz, r.hertz);
        EXPECT_EQ(s->capacity, s->ByteCount());
        EXPECT_EQ(size_t(s->length), expected.size() / size_t(2 * r.channels));
        EXPECT_EQ(FirstDifference(BytesOf(s), expected, 2 * r.channels), -1);
    }
}

TEST(OggLoader, ReadsThroughAnyStreamNotOnlyFiles)
{
    std::string path = kSounds + "bell.oga";
    TAudioSamplePtr fromFile = LoadAudioSample(path);
    ASSERT_TRUE(fromFile);
    TAudioSamplePtr fromMemory = LoadBytesAsSample(ReadFileBytes(path));
    ASSERT_TRUE(fromMemory);
    EXPECT_EQ(BytesOf(fromMemory), BytesOf(fromFile));
    // The loader on its own, without the chain.
    TAudioSampleLoaderOGG ogg;
    TAudioSamplePtr direct = ogg.LoadAudioSample(TBankStream::Create(ReadFileBytes(path)));
    ASSERT_TRUE(direct);
    EXPECT_EQ(direct->length, fromFile->length);
}

TEST(OggLoader, ChainedFilesGiveTheirFirstStreamOnly)
{
    // Stereo then mono: the mono frames must not run on into the stereo ones.
    Bytes stereo = ReadFileBytes(kSounds + "bell.oga");
    Bytes mono = ReadFileBytes(kSounds + "suspend-error.oga");
    Bytes chained = stereo;
    chained.insert(chained.end(), mono.begin(), mono.end());
    TAudioSamplePtr first = LoadBytesAsSample(stereo);
    TAudioSamplePtr both = LoadBytesAsSample(chained);
    ASSERT_TRUE(first);
    ASSERT_TRUE(both);
    EXPECT_EQ(both->format, FORMAT_STEREO16LE);
    EXPECT_EQ(BytesOf(both), BytesOf(first));
}

TEST(OggLoader, TruncatedFilesGiveNullOrExactlyTheFramesBeforeTheCut)
{
    Bytes file = ReadFileBytes(kSounds + "trash-empty.oga");
    TAudioSamplePtr full = LoadBytesAsSample(file);
    ASSERT_TRUE(full);
    Bytes all = BytesOf(full);
    int kept = 0;
    for (size_t cut : {size_t(0), size_t(4), size_t(27), size_t(58), size_t(300), size_t(3000), size_t(8000),
                       file.size() / 2, file.size() * 3 / 4, file.size() - 500, file.size() - 1}) {
        SCOPED_TRACE(cut);
        TAudioSamplePtr s = LoadBytesAsSample(Bytes(file.begin(), file.begin() + long(cut)));
        if (!s) continue;
        ++kept;
        EXPECT_EQ(s->format, full->format);
        EXPECT_LT(s->length, full->length);
        EXPECT_GT(s->length, 0);
        EXPECT_TRUE(std::equal(s->samples, s->samples + s->ByteCount(), all.begin()));
    }
    // A file cut late still gives the sound up to the cut.
    EXPECT_GE(kept, 3);
}

TEST(OggLoader, CorruptOrForeignDataGivesNullOrAWellFormedSample)
{
    Bytes file = ReadFileBytes(kSounds + "complete.oga");
    ASSERT_FALSE(file.empty());
    TAudioSamplePtr full = LoadBytesAsSample(file);
    ASSERT_TRUE(full);
    for (size_t at = 0; at < file.size(); at += file.size() / 23 + 1) {
        Bytes bad = file;
        for (size_t i = at; i < std::min(bad.size(), at + 40); ++i) bad[i] ^= uint8_t(0x5A + i);
        TAudioSamplePtr s = LoadBytesAsSample(bad);
        if (s) {
            EXPECT_EQ(s->format, FORMAT_STEREO16LE) << at;
            EXPECT_LE(s->length, full->length * 2) << at;
        }
    }
    EXPECT_FALSE(LoadBytesAsSample({}));
    EXPECT_FALSE(LoadBytesAsSample(Bytes(5000, 0)));
    Bytes fake = {'O', 'g', 'g', 'S', 0, 2};
    fake.resize(4096, 0x41);
    EXPECT_FALSE(LoadBytesAsSample(fake));
    EXPECT_FALSE(LoadAudioSample(kSounds + "no-such-sound.oga"));
}

// A 6-channel file with a tone in one speaker only (WAV channel order).
double Rms(const TAudioSamplePtr& s, int channel)
{
    const auto* v = reinterpret_cast<const int16_t*>(s->samples);
    double sum = 0;
    for (int i = 0; i < s->length; ++i) sum += double(v[2 * i + channel]) * v[2 * i + channel];
    return std::sqrt(sum / std::max(s->length, 1));
}

TAudioSamplePtr SixChannelToneIn(int speaker)
{
    const int frames = 22050;
    Bytes pcm;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < 6; ++c)
            Put16(pcm, uint16_t(c == speaker ? int16_t(12000 * std::sin(i * 0.0628)) : 0));
    TempDir dir;
    WriteFileBytes(dir / "six.wav", MakeWav(6, 16, 44100, pcm));
    std::string cmd = "oggenc -Q -q 4 -o '" + (dir / "six.ogg") + "' '" + (dir / "six.wav") + "' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return nullptr;
    return LoadAudioSample(dir / "six.ogg");
}

TEST(OggLoader, MoreThanTwoChannelsMixDownBySpeakerPosition)
{
    TAudioSamplePtr left = SixChannelToneIn(0);   // front left
    ASSERT_TRUE(left) << "oggenc (vorbis-tools) is needed";
    EXPECT_EQ(left->format, FORMAT_STEREO16LE);
    EXPECT_EQ(left->length, 22050);
    EXPECT_GT(Rms(left, 0), 1000);
    EXPECT_LT(Rms(left, 1), Rms(left, 0) / 20);

    TAudioSamplePtr right = SixChannelToneIn(5);  // rear right
    ASSERT_TRUE(right);
    EXPECT_GT(Rms(right, 1), 1000);
    EXPECT_LT(Rms(right, 0), Rms(right, 1) / 20);

    TAudioSamplePtr centre = SixChannelToneIn(2);
    ASSERT_TRUE(centre);
    EXPECT_GT(Rms(centre, 0), 500);
    EXPECT_NEAR(Rms(centre, 0), Rms(centre, 1), Rms(centre, 0) * 0.02);
}

} // namespace
