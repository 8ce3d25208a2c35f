#include <gtest/gtest.h>

#include "kelvora/io/incbin.h"
#include "io/ram_stream.h"
#include "kelvora/io/stream.h"
#include "kelvora/io/stream_factory.h"

using namespace kelvora;

void RegisterIoFixtures();

namespace {

class Embedded : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterIoFixtures(); }
};

TEST_F(Embedded, BlocksEmbeddedAtBuildTimeOpenAsIndependentReadOnlyStreams)
{
    TStreamPtr s = ReadStream("incbin::fixtures\\block.bin");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Size(), 267);
    EXPECT_EQ(s->ReadString(8), "\x89PNG\r\n\x1a\n");
    for (int i = 0; i < 256; ++i) ASSERT_EQ(s->ReadByte(), i);
    EXPECT_EQ(s->ReadString(3), "end");
    EXPECT_EQ(s->ReadInt(), 0);  // past the end: silent

    TStreamPtr t = ReadStream("incbin::fixtures\\lines.txt");
    ASSERT_TRUE(t);
    for (const char* line : {"first line", "second", "", "last without end"}) EXPECT_EQ(t->ReadLine(), line);
    EXPECT_TRUE(t->Eof());

    TStreamPtr again = ReadStream("incbin::fixtures\\block.bin");
    EXPECT_EQ(again->ReadByte(), 0x89);  // its own position
    EXPECT_FALSE(OpenStream("incbin::fixtures\\block.bin", 1, 1));
    EXPECT_THROW(again->WriteByte(1), TStreamWriteException);
}

TEST_F(Embedded, OnlyTheProtocolIsCaseFolded)
{
    EXPECT_TRUE(ReadStream("Incbin::fixtures\\block.bin"));
    EXPECT_TRUE(ReadStream("INCBIN::fixtures\\block.bin"));
    EXPECT_FALSE(ReadStream("incbin::fixtures/block.bin"));
    EXPECT_FALSE(ReadStream("incbin::Fixtures\\block.bin"));
    EXPECT_FALSE(ReadStream("incbin:fixtures\\block.bin"));  // one colon: a file path
}

TEST(Incbin, TheFirstRegistrationOfANameStays)
{
    static const unsigned char one[] = {1, 2, 3}, two[] = {9};
    EXPECT_EQ(IncbinAdd("test\\dup", one, 3), 1);
    EXPECT_EQ(IncbinAdd("test\\dup", two, 1), 0);
    EXPECT_EQ(IncbinPtr("test\\dup"), one);
    EXPECT_EQ(IncbinLen("test\\dup"), 3);
    EXPECT_EQ(IncbinLen("test\\DUP"), 0);
}

TEST(RamStream, SeekClampsAndReadsStopAtTheEnd)
{
    unsigned char mem[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    auto ram = TRamStream::Create(mem, 10, 1, 0);
    EXPECT_EQ(ram->Seek(-5), 0);
    EXPECT_EQ(ram->Seek(20), 10);
    ram->Seek(6);
    unsigned char buf[10] = {};
    EXPECT_EQ(ram->Read(buf, 10), 4);
    EXPECT_EQ(buf[0], 6);
    EXPECT_EQ(ram->Read(buf, 10), 0);
    EXPECT_EQ(ram->Write(buf, 1), 0);
}

// Records what it is asked; accepts its own protocol.
class TRecordingFactory : public TStreamFactory {
public:
    TRecordingFactory(std::string p, std::vector<std::string>* l) : proto(std::move(p)), log(l) {}
    TStreamPtr CreateStream(const TUrl&, const std::string& pr, const std::string& path, int r, int w) override
    {
        log->push_back(proto + ":" + pr + "|" + path + "|" + std::to_string(r) + std::to_string(w));
        static unsigned char none[1];
        return pr == proto ? TRamStream::Create(none, 0, r, w) : nullptr;
    }
    std::string proto;
    std::vector<std::string>* log;
};

TEST(StreamFactories, NewestFirstWithTheUrlSplitAtTheFirstDoubleColon)
{
    std::vector<std::string> log;
    TRecordingFactory older("a", &log);
    {
        TRecordingFactory newer("b", &log);
        EXPECT_TRUE(OpenStream("A::x::Y\\z", 1, 0));
        EXPECT_EQ(log, (std::vector<std::string>{"b:a|x::Y\\z|10", "a:a|x::Y\\z|10"}));
        log.clear();
        EXPECT_FALSE(OpenStream(TUrl(), 1, 1));  // empty: every factory, nothing split
        EXPECT_EQ(log, (std::vector<std::string>{"b:||11", "a:||11", }));
    }
    // Plain paths never reach a factory; a destroyed factory is gone.
    log.clear();
    EXPECT_FALSE(OpenStream("a", 1, 0));
    EXPECT_FALSE(OpenStream("b::x", 1, 0));
    EXPECT_EQ(log, (std::vector<std::string>{"a:b|x|10"}));
    // The built-in factory comes after every factory the program makes.
    TStreamFactory* last = StreamFactories();
    while (last->_succ) last = last->_succ;
    EXPECT_TRUE(dynamic_cast<TRamStreamFactory*>(last));
}

} // namespace
