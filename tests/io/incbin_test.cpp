#include <gtest/gtest.h>

#include <cstring>

#include "io/incbin.h"
#include "io/ram_stream.h"
#include "io/stream.h"
#include "io/stream_factory.h"

void RegisterIoFixtures();

namespace {

class Embedded : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterIoFixtures(); }
};

TEST_F(Embedded, BlocksEmbeddedAtBuildTimeOpenAsStreams)
{
    TStreamPtr s = ReadStream("incbin::fixtures\\block.bin");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Size(), 267);
    EXPECT_EQ(s->ReadString(8), "\x89PNG\r\n\x1a\n");
    for (int i = 0; i < 256; ++i) ASSERT_EQ(s->ReadByte(), i);
    EXPECT_EQ(s->ReadString(3), "end");
    EXPECT_TRUE(s->Eof());
    EXPECT_EQ(s->ReadInt(), 0);          // past the end: silent
    CloseStream(s);

    TStreamPtr t = ReadStream("incbin::fixtures\\lines.txt");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->ReadLine(), "first line");
    EXPECT_EQ(t->ReadLine(), "second");
    EXPECT_EQ(t->ReadLine(), "");
    EXPECT_EQ(t->ReadLine(), "last without end");
    EXPECT_TRUE(t->Eof());
}

TEST_F(Embedded, OnlyTheProtocolIsCaseFolded)
{
    EXPECT_TRUE(ReadStream("Incbin::fixtures\\block.bin"));
    EXPECT_TRUE(ReadStream("INCBIN::fixtures\\block.bin"));
    EXPECT_FALSE(ReadStream("incbin::fixtures/block.bin"));
    EXPECT_FALSE(ReadStream("incbin::Fixtures\\block.bin"));
    EXPECT_FALSE(ReadStream("incbin::fixtures\\block.bin "));
    EXPECT_FALSE(ReadStream("incbin:fixtures\\block.bin"));  // one colon: a file path
    EXPECT_EQ(IncbinLen("fixtures/block.bin"), 0);
    EXPECT_EQ(IncbinPtr("fixtures/block.bin"), nullptr);
}

TEST_F(Embedded, BlocksAreReadOnlyAndEachOpeningHasItsOwnPosition)
{
    EXPECT_FALSE(OpenStream("incbin::fixtures\\block.bin", 1, 1));
    EXPECT_FALSE(WriteStream("incbin::fixtures\\block.bin"));
    TStreamPtr a = ReadStream("incbin::fixtures\\block.bin");
    TStreamPtr b = ReadStream("incbin::fixtures\\block.bin");
    a->Seek(8);
    EXPECT_EQ(a->ReadByte(), 0);
    EXPECT_EQ(b->ReadByte(), 0x89);
    EXPECT_THROW(a->WriteByte(1), TStreamWriteException);
    EXPECT_EQ(IncbinPtr("fixtures\\block.bin")[8], 0);
}

TEST(Incbin, TheFirstRegistrationOfANameStays)
{
    static const unsigned char one[] = {1, 2, 3};
    static const unsigned char two[] = {9};
    EXPECT_EQ(IncbinAdd("test\\dup", one, 3), 1);
    EXPECT_EQ(IncbinAdd("test\\dup", two, 1), 0);
    EXPECT_EQ(IncbinPtr("test\\dup"), one);
    EXPECT_EQ(IncbinLen("test\\dup"), 3);
    EXPECT_EQ(IncbinLen("test\\DUP"), 0);
    EXPECT_EQ(IncbinAdd("test\\empty", two, 0), 1);
    TStreamPtr s = ReadStream("incbin::test\\empty");
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->Eof());
}

// Records what the factories are asked.
class TRecordingFactory : public TStreamFactory {
public:
    TRecordingFactory(std::string p, std::vector<std::string>* l) : proto(std::move(p)), log(l) {}
    TStreamPtr CreateStream(const TUrl& url, const std::string& pr, const std::string& path, int r,
                            int w) override
    {
        log->push_back(proto + ":" + pr + "|" + path + "|" + std::to_string(r) + std::to_string(w) +
                       (url.stream ? "|obj" : ""));
        if (pr != proto) return nullptr;
        static unsigned char none[1];
        return TRamStream::Create(none, 0, r, w);
    }
    std::string proto;
    std::vector<std::string>* log;
};

TEST(StreamFactories, NewestIsAskedFirstWithTheUrlSplitAtTheFirstColons)
{
    std::vector<std::string> log;
    TRecordingFactory older("a", &log);
    TRecordingFactory newer("b", &log);
    EXPECT_EQ(StreamFactories(), &newer);

    EXPECT_TRUE(OpenStream("A::x::Y\\z", 1, 0));
    EXPECT_EQ(log, (std::vector<std::string>{"b:a|x::Y\\z|10", "a:a|x::Y\\z|10"}));

    log.clear();
    EXPECT_FALSE(OpenStream("Zip::", 0, 1));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "b:zip||01");

    // Empty text still asks every factory, with empty protocol and path.
    log.clear();
    EXPECT_FALSE(OpenStream(TUrl(), 1, 1));
    EXPECT_EQ(log, (std::vector<std::string>{"b:||11", "a:||11"}));

    // Plain paths never reach a factory.
    log.clear();
    EXPECT_FALSE(OpenStream("a", 1, 0));
    EXPECT_FALSE(OpenStream("data\\no_such_file.dat", 1, 0));
    EXPECT_TRUE(log.empty());
}

TEST(StreamFactories, BuiltInFactoriesStayBehindTheProgramsOwnAndGoneOnesUnlink)
{
    std::vector<std::string> log;
    {
        TRecordingFactory temp("incbin", &log);
        EXPECT_TRUE(OpenStream("incbin::anything", 1, 0));   // answered first
    }
    EXPECT_FALSE(OpenStream("incbin::anything", 1, 0));
    int n = 0;
    for (TStreamFactory* f = StreamFactories(); f; f = f->_succ) {
        ++n;
        EXPECT_NE(dynamic_cast<TRamStreamFactory*>(f), nullptr);
    }
    EXPECT_EQ(n, 1);
}

} // namespace
