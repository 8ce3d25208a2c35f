#include <gtest/gtest.h>

#include "audio/ogg_loader.h"
#include "audio/sample.h"
#include "audio/wav_loader.h"
#include "io/bank_stream.h"
#include "io/stream_factory.h"
#include "sample_test_files.h"

namespace {

using namespace sampletest;

TEST(SampleLoaders, WavIsAskedBeforeOgg)
{
    TAudioSampleLoader* first = AudioSampleLoaders();
    ASSERT_TRUE(first);
    EXPECT_TRUE(dynamic_cast<TAudioSampleLoaderWAV*>(first));
    ASSERT_TRUE(first->_succ);
    EXPECT_TRUE(dynamic_cast<TAudioSampleLoaderOGG*>(first->_succ));
    EXPECT_FALSE(first->_succ->_succ);
}

TEST(SampleLoaders, FilesOfBothKindsLoadFromDisk)
{
    TempDir dir;
    WriteFileBytes(dir / "zap.wav", MakeWav(1, 16, 22050, {1, 0, 2, 0}));
    TAudioSamplePtr wav = LoadAudioSample(dir / "zap.wav");
    ASSERT_TRUE(wav);
    EXPECT_EQ(wav->format, FORMAT_MONO16LE);
    EXPECT_EQ(wav->length, 2);
    TAudioSamplePtr ogg = LoadAudioSample(kSounds + "bell.oga");
    ASSERT_TRUE(ogg);
    EXPECT_EQ(ogg->format, FORMAT_STEREO16LE);

    WriteFileBytes(dir / "text.ogg", Bytes{'h', 'e', 'l', 'l', 'o'});
    EXPECT_FALSE(LoadAudioSample(dir / "text.ogg"));
    EXPECT_FALSE(LoadAudioSample(dir / "missing.ogg"));
    EXPECT_FALSE(LoadAudioSample(""));
    EXPECT_FALSE(LoadAudioSample("nosuch::thing"));
}

// Registered last, so asked first: reads some bytes, then does what it is told.
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
    Bytes wav = MakeWav(2, 8, 8000, {1, 2, 3, 4});
    for (auto what : {TProbeLoader::Decline, TProbeLoader::StreamError}) {
        TProbeLoader probe(what);
        auto stream = TBankStream::Create(Bytes(7, 0xEE));
        stream->Seek(7);
        stream->WriteBytes(wav.data(), int(wav.size()));
        stream->Seek(7);   // the sample starts here, not at 0
        TAudioSamplePtr s = LoadAudioSample(TUrl(TStreamPtr(stream)));
        EXPECT_EQ(probe.asked, 1);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->length, 2);
        EXPECT_EQ(s->samples[0], 1);
    }
}

TEST(SampleLoaders, OtherErrorsReachTheCaller)
{
    TProbeLoader probe(TProbeLoader::OtherError);
    try {
        LoadAudioSample(kSounds + "bell.oga");
        FAIL() << "nothing raised";
    } catch (const TRuntimeException& e) {
        EXPECT_STREQ(e.what(), "probe failed");
    }
}

// Streams that cannot tell their position.
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
        if (proto != "pipe") return nullptr;
        return last = std::make_shared<TUnseekable>();
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
    ASSERT_TRUE(pipes.last);
    EXPECT_EQ(pipes.last->closed, 1);
}

} // namespace
