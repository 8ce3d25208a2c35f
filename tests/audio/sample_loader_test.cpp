#include <gtest/gtest.h>

#include "audio/ogg_loader.h"
#include "kelvora/audio/sample.h"
#include "audio/wav_loader.h"
#include "kelvora/io/stream_factory.h"
#include "sample_test_files.h"

using namespace kelvora;

namespace {

using namespace sampletest;

TEST(SampleLoaders, WavIsAskedBeforeOggAndBothLoadFromDisk)
{
    TAudioSampleLoader* first = AudioSampleLoaders();
    EXPECT_TRUE(dynamic_cast<TAudioSampleLoaderWAV*>(first));
    EXPECT_TRUE(dynamic_cast<TAudioSampleLoaderOGG*>(first->_succ));

    TempDir dir;
    WriteFileBytes(dir / "zap.wav", MakeWav(1, 16, 22050, {1, 0, 2, 0}));
    TAudioSamplePtr wav = LoadAudioSample(dir / "zap.wav");
    ASSERT_TRUE(wav);
    EXPECT_EQ(wav->length, 2);
    EXPECT_TRUE(LoadAudioSample(kSounds + "bell.oga"));
    WriteFileBytes(dir / "text.ogg", {'h', 'e', 'l', 'l', 'o'});
    EXPECT_FALSE(LoadAudioSample(dir / "text.ogg"));
    EXPECT_FALSE(LoadAudioSample(dir / "missing.ogg"));
    EXPECT_FALSE(LoadAudioSample("nosuch::thing"));
}

// Registered last, so asked first: reads a little, then does as told.
class TProbeLoader : public TAudioSampleLoader {
public:
    enum What { Decline, StreamError, OtherError };
    explicit TProbeLoader(What w) : what(w) {}
    TAudioSamplePtr LoadAudioSample(const TStreamPtr& stream) override
    {
        ++asked;
        stream->SkipBytes(10);
        if (what == StreamError) throw TStreamReadException();
        if (what == OtherError) throw TRuntimeException("probe failed");
        return nullptr;
    }
    What what;
    int asked = 0;
};

TEST(SampleLoaders, EachLoaderStartsWhereTheStreamStartedAndStreamErrorsDecline)
{
    Bytes file(7, 0xEE);  // the sound starts at 7, not 0
    Bytes wav = MakeWav(2, 8, 8000, {1, 2, 3, 4});
    file.insert(file.end(), wav.begin(), wav.end());
    for (auto what : {TProbeLoader::Decline, TProbeLoader::StreamError}) {
        TProbeLoader probe(what);
        auto stream = TBankStream::Create(file);
        stream->Seek(7);
        TAudioSamplePtr s = LoadAudioSample(TUrl(TStreamPtr(stream)));
        EXPECT_EQ(probe.asked, 1);
        ASSERT_TRUE(s);
        EXPECT_EQ(BytesOf(s), (Bytes{1, 2, 3, 4}));
    }
    TProbeLoader failing(TProbeLoader::OtherError);
    EXPECT_THROW(LoadAudioSample(kSounds + "bell.oga"), TRuntimeException);
}

class TUnseekable : public TStream {
public:
    int Eof() override { return 1; }
    int Close() override { return ++closed; }
    int closed = 0;
};

class TUnseekableFactory : public TStreamFactory {
public:
    TStreamPtr CreateStream(const TUrl&, const std::string& proto, const std::string&, int, int) override
    {
        return proto == "pipe" ? (last = std::make_shared<TUnseekable>()) : nullptr;
    }
    std::shared_ptr<TUnseekable> last;
};

TEST(SampleLoaders, StreamsWithoutPositionAreRefusedAndClosed)
{
    TUnseekableFactory pipes;
    try {
        LoadAudioSample("pipe::sound");
        FAIL() << "nothing raised";
    } catch (const TRuntimeException& e) {
        EXPECT_STREQ(e.what(), "Stream is not seekable");
    }
    EXPECT_EQ(pipes.last->closed, 1);
}

TEST(WavLoader, LoadsPcmOfEachDepthAndChannelCount)
{
    const Bytes pcm = {0x00, 0x80, 0xFF, 0x7F, 0x10, 0x20, 0x30, 0x40};
    const int formats[2][2] = {{FORMAT_MONO8, FORMAT_STEREO8}, {FORMAT_MONO16LE, FORMAT_STEREO16LE}};
    Bytes list = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};  // odd-sized chunk to skip
    for (int bits : {8, 16})
        for (int channels : {1, 2}) {
            TAudioSamplePtr s = LoadFromMemory(MakeWav(channels, bits, 11025, pcm, list));
            ASSERT_TRUE(s) << channels << "ch " << bits << " bit";
            EXPECT_EQ(s->format, formats[bits / 16][channels - 1]);
            EXPECT_EQ(s->length, 8 / (channels * bits / 8));
            EXPECT_EQ(s->hertz, 11025);
            EXPECT_EQ(BytesOf(s), pcm);
        }
}

TEST(WavLoader, KeepsTheWholeFramesThereAndDeclinesWhatItCannotPlay)
{
    // A data size past the end (streaming writers): the whole frames there.
    Bytes file = MakeWav(2, 16, 8000, Bytes(40, 7));
    file.erase(file.end() - 3, file.end());
    TAudioSamplePtr s = LoadFromMemory(file);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->length, 9);

    EXPECT_FALSE(LoadFromMemory(MakeWav(1, 24, 8000, Bytes(12, 1))));
    EXPECT_FALSE(LoadFromMemory(MakeWav(3, 16, 8000, Bytes(12, 1))));
    EXPECT_FALSE(LoadFromMemory(MakeWav(1, 16, 8000, Bytes(12, 1), {}, 3)));  // float
    EXPECT_FALSE(LoadFromMemory(MakeWav(1, 16, 0, Bytes(12, 1))));
    Bytes header = MakeWav(1, 16, 8000, {1, 2});
    for (size_t cut = 0; cut < header.size(); ++cut)
        EXPECT_FALSE(LoadFromMemory(Bytes(header.begin(), header.begin() + long(cut)))) << cut;
    TAudioSampleLoaderWAV wav;
    EXPECT_FALSE(wav.LoadAudioSample(TBankStream::Create(ReadFileBytes(kSounds + "bell.oga"))));
}

} // namespace
