#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "io/bank_stream.h"
#include "io/cstream.h"
#include "io/ram_stream.h"
#include "io/stream.h"
#include "io/stream_wrapper.h"
#include "temp_dir.h"

namespace {

using Bytes = std::vector<unsigned char>;

class FileStream : public TempDirTest {};

TEST_F(FileStream, TypedValuesRoundTripInLittleEndianOrder)
{
    TStreamPtr w = WriteStream(Path("values.bin"));
    ASSERT_TRUE(w);
    w->WriteByte(0x1FF);
    w->WriteShort(-1);
    w->WriteInt(1);
    w->WriteLong(-2);
    w->WriteFloat(1.5f);
    w->WriteDouble(-0.25);
    w->WriteString("R\xE9sum\xE9");
    EXPECT_EQ(w->Pos(), 1 + 2 + 4 + 8 + 4 + 8 + 6);
    EXPECT_EQ(w->Size(), w->Pos());
    CloseStream(w);

    Bytes raw = ReadFile("values.bin");
    ASSERT_EQ(raw.size(), 33u);
    EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 7), (Bytes{0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00}));

    TStreamPtr r = ReadStream(Path("values.bin"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Size(), 33);
    EXPECT_EQ(r->ReadByte(), 255);
    EXPECT_EQ(r->ReadShort(), 65535);  // zero-extended, never negative
    EXPECT_EQ(r->ReadInt(), 1);
    EXPECT_EQ(r->ReadLong(), -2);
    EXPECT_EQ(r->ReadFloat(), 1.5f);
    EXPECT_EQ(r->ReadDouble(), -0.25);
    EXPECT_EQ(r->ReadString(6), "R\xE9sum\xE9");
    EXPECT_TRUE(r->Eof());
    CloseStream(r);
}

TEST_F(FileStream, ReadsAtTheEndStopSilentlyKeepingTheBytesThereWere)
{
    WriteFile("short.bin", {0x34, 0x12, 0xAA, 0xBB, 0xCC, 0xDD});
    TStreamPtr r = ReadStream(Path("short.bin"));
    ASSERT_TRUE(r);
    r->Seek(4);
    EXPECT_EQ(r->ReadInt(), 0xDDCC);   // two bytes left: the low half
    EXPECT_EQ(r->ReadInt(), 0);        // at the end: 0, nothing raised
    EXPECT_EQ(ReadInt(r), 0);
    EXPECT_EQ(r->ReadString(3), std::string(3, '\0'));
    EXPECT_EQ(r->SkipBytes(100), 100);
    r->Seek(0);
    EXPECT_EQ(r->SkipBytes(2), 2);
    EXPECT_EQ(r->Pos(), 2);
    CloseStream(r);
}

TEST_F(FileStream, WritingTruncatesAndMissingDirectoriesGiveNull)
{
    WriteFile("old.dat", Bytes(100, 7));
    TStreamPtr w = WriteStream(Path("old.dat"));
    ASSERT_TRUE(w);
    EXPECT_EQ(w->Size(), 0);
    WriteInt(w, 42);
    CloseStream(w);
    EXPECT_EQ(ReadFile("old.dat"), (Bytes{42, 0, 0, 0}));

    EXPECT_FALSE(WriteStream(Path("no_such_dir/new.dat")));
    EXPECT_FALSE(ReadStream(Path("missing.dat")));
    EXPECT_FALSE(OpenStream(Path("missing.dat"), 1, 1));  // "r+b" does not create
    EXPECT_FALSE(ReadStream(""));
}

TEST_F(FileStream, BackslashPathsReachTheFile)
{
    std::filesystem::create_directory(dir_ / "data");
    std::string path = Path("data") + "\\hiscore.dat";
    TStreamPtr w = WriteStream(path);
    ASSERT_TRUE(w);
    WriteInt(w, 12345);
    CloseStream(w);
    TStreamPtr r = ReadStream(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(ReadInt(r), 12345);
    CloseStream(r);
}

TEST_F(FileStream, ReadWriteStreamMixesReadsAndWritesAndTracksSize)
{
    WriteFile("rw.bin", {1, 2, 3, 4});
    TStreamPtr s = OpenStream(Path("rw.bin"), 1, 1);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->ReadShort(), 0x0201);
    s->WriteShort(0x0909);              // right after a read
    EXPECT_EQ(s->Pos(), 4);
    s->WriteByte(5);                    // past the end grows the file
    EXPECT_EQ(s->Size(), 5);
    s->Seek(1);
    EXPECT_EQ(s->ReadByte(), 2);
    CloseStream(s);
    EXPECT_EQ(ReadFile("rw.bin"), (Bytes{1, 2, 9, 9, 5}));
}

TEST_F(FileStream, CloseResetsTheStreamAndIsHarmlessTwice)
{
    WriteFile("c.bin", {1, 2, 3});
    TStreamPtr s = ReadStream(Path("c.bin"));
    ASSERT_TRUE(s);
    s->ReadByte();
    EXPECT_EQ(s->Close(), 0);
    EXPECT_EQ(s->Close(), 0);
    EXPECT_EQ(s->Pos(), 0);
    EXPECT_EQ(s->Size(), 0);
    EXPECT_TRUE(s->Eof());
    EXPECT_EQ(s->ReadInt(), 0);
    EXPECT_THROW(s->WriteInt(1), TStreamWriteException);
}

TEST_F(FileStream, WritingToAReadOnlyFileRaisesTheWriteError)
{
    WriteFile("ro.bin", {1});
    TStreamPtr s = ReadStream(Path("ro.bin"));
    ASSERT_TRUE(s);
    try {
        s->WriteInt(5);
        FAIL() << "no error";
    } catch (const TStreamWriteException& e) {
        EXPECT_STREQ(e.what(), "Error writing to stream");
    }
    CloseStream(s);
    EXPECT_EQ(ReadFile("ro.bin"), Bytes{1});
}

TEST(ReadLine, SplitsOnLfDropsCrAndEndsOnZero)
{
    std::string text = "ab\r\ncd";
    auto s = TRamStream::Create(reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
    EXPECT_EQ(s->ReadLine(), "ab");
    EXPECT_EQ(s->ReadLine(), "cd");
    EXPECT_EQ(s->ReadLine(), "");
    EXPECT_TRUE(s->Eof());

    std::string odd("x\ry\0z\n\xE9", 7);
    auto t = TRamStream::Create(reinterpret_cast<const unsigned char*>(odd.data()), int(odd.size()));
    EXPECT_EQ(t->ReadLine(), "xy");
    EXPECT_EQ(t->ReadLine(), "z");
    EXPECT_EQ(t->ReadLine(), "\xE9");
}

TEST(ReadLine, ReadsLinesLongerThanItsBufferWhole)
{
    std::string line;
    for (int i = 0; i < 5000; ++i) line += char('a' + i % 26);
    std::string text = line + "\ntail";
    auto s = TRamStream::Create(reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
    EXPECT_EQ(s->ReadLine(), line);
    EXPECT_EQ(s->ReadLine(), "tail");
}

TEST(WriteLine, AppendsCrLfOnlyWhenTheTextFitWhole)
{
    auto bank = TBankStream::Create({});
    EXPECT_EQ(bank->WriteLine("hi"), 1);
    EXPECT_EQ(bank->WriteLine(""), 1);
    EXPECT_EQ(bank->Bytes(), (std::vector<uint8_t>{'h', 'i', 13, 10, 13, 10}));

    unsigned char mem[4] = {};
    auto ram = TRamStream::Create(mem, 4, 1, 1);
    EXPECT_EQ(ram->WriteLine("toolong"), 0);   // no error raised, no CR LF
    EXPECT_EQ(std::memcmp(mem, "tool", 4), 0);
}

// A stream that delivers nothing although it says it is not at its end.
class TStuckStream : public TStream {
public:
    int Eof() override { return 0; }
    int Read(void*, int) override { return 0; }
    int Write(const void*, int) override { return 0; }
};

TEST(StreamErrors, ReadsAndWritesThatMakeNoProgressRaise)
{
    TStuckStream s;
    EXPECT_THROW(s.ReadInt(), TStreamReadException);
    EXPECT_THROW(s.SkipBytes(3), TStreamReadException);
    EXPECT_THROW(s.WriteByte(1), TStreamWriteException);
    EXPECT_THROW(ReadAllBytes(s), TStreamReadException);
    try {
        s.ReadByte();
    } catch (const TStreamException& e) {
        EXPECT_STREQ(e.what(), "Error reading from stream");
    }
    // Neither ReadLine nor WriteLine raise.
    EXPECT_EQ(s.ReadLine(), "");
    EXPECT_EQ(s.WriteLine("x"), 0);
}

TEST(StreamErrors, StreamsWithoutReadOrWriteAndObjectsRaiseTheirTexts)
{
    TStream s;
    EXPECT_EQ(s.Pos(), -1);
    EXPECT_EQ(s.Seek(10), -1);
    EXPECT_FALSE(s.Eof());
    auto text = [](auto&& f) {
        try {
            f();
        } catch (const TRuntimeException& e) {
            return std::string(e.what());
        }
        return std::string("nothing raised");
    };
    EXPECT_EQ(text([&] { s.ReadInt(); }), "Stream is not readable");
    EXPECT_EQ(text([&] { s.WriteInt(1); }), "Stream is not writeable");
    EXPECT_EQ(text([&] { s.ReadObject(); }), "Unable to read object");
    EXPECT_EQ(text([&] { s.WriteObject(); }), "Unable to write object");
}

TEST(StreamErrors, NullStreamsAnswerAsClosedOnes)
{
    TStreamPtr none;
    CloseStream(none);
    FlushStream(none);
    EXPECT_EQ(Eof(none), 1);
    EXPECT_EQ(StreamSize(none), 0);
    EXPECT_THROW(ReadInt(none), TStreamReadException);
    EXPECT_THROW(WriteInt(none, 1), TStreamWriteException);
    EXPECT_EQ(WriteLine(none, "x"), 0);
}

TEST(StreamStream, CloseDetachesAndLeavesTheInnerStreamUsable)
{
    auto inner = TBankStream::Create({1, 0, 0, 0, 2, 0, 0, 0});
    TStreamPtr outer = OpenStream(TUrl(TStreamPtr(inner)));
    ASSERT_TRUE(outer);
    EXPECT_NE(outer, TStreamPtr(inner));
    EXPECT_EQ(outer->ReadInt(), 1);
    EXPECT_EQ(outer->Size(), 8);
    CloseStream(outer);
    CloseStream(outer);
    EXPECT_TRUE(outer->Eof());
    EXPECT_EQ(outer->ReadInt(), 0);
    EXPECT_EQ(inner->Pos(), 4);
    EXPECT_EQ(inner->ReadInt(), 2);
}

TEST(StreamWrapper, ForwardsTheInnerStreamsOwnTypedReads)
{
    // The inner stream's ReadLine is used, not one rebuilt over Read.
    class TLineStream : public TBankStream {
    public:
        std::string ReadLine() override { return "own"; }
    };
    auto inner = std::make_shared<TLineStream>();
    TStreamWrapper w;
    w.SetStream(inner);
    EXPECT_EQ(w.ReadLine(), "own");
    w.WriteLong(0x0102030405060708LL);
    EXPECT_EQ(inner->Size(), 8);
    w.Seek(0);
    EXPECT_EQ(w.ReadLong(), 0x0102030405060708LL);
    w.Close();                          // a plain wrapper closes what it wraps
}

// Knows its data but not its position, like a pipe.
class TPipeStream : public TStream {
public:
    explicit TPipeStream(std::string d) : data(std::move(d)) {}
    int Eof() override { return at == data.size(); }
    int Read(void* buf, int n) override
    {
        n = std::min<int>(n, int(std::min<size_t>(data.size() - at, 7)));  // dribbles
        std::memcpy(buf, data.data() + at, size_t(n));
        at += size_t(n);
        return n;
    }
    int Close() override { return closed = 1; }
    std::string data;
    size_t at = 0;
    int closed = 0;
};

class TPipeFactory : public TStreamFactory {
public:
    TStreamPtr CreateStream(const TUrl&, const std::string& proto, const std::string& path, int, int) override
    {
        if (proto != "pipe") return nullptr;
        last = std::make_shared<TPipeStream>(path);
        return last;
    }
    std::shared_ptr<TPipeStream> last;
};

TEST(OpenFile, ReadsAStreamWithoutPositionIntoASeekableOne)
{
    TPipeFactory pipes;
    std::string payload(3000, 'q');
    payload += "END";
    TStreamPtr s = OpenFile("Pipe::" + payload, 1, 0);
    ASSERT_TRUE(s);
    EXPECT_TRUE(pipes.last->closed);
    EXPECT_EQ(s->Size(), 3003);
    EXPECT_EQ(s->Seek(3000), 3000);
    EXPECT_EQ(s->ReadString(3), "END");
    // OpenStream hands the stream over as it is.
    EXPECT_EQ(OpenStream("pipe::x")->Pos(), -1);
}

TEST(LoadBytes, ReadsEverythingOrNothing)
{
    TPipeFactory pipes;
    std::string payload(5000, '\0');
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = char(i * 7);
    std::vector<uint8_t> got = LoadBytes("pipe::" + payload);
    EXPECT_EQ(std::string(got.begin(), got.end()), payload);
    EXPECT_TRUE(pipes.last->closed);
    EXPECT_TRUE(LoadBytes("/no/such/file").empty());
    EXPECT_TRUE(LoadBytes("nosuchproto::x").empty());
}

TEST(MemoryStreams, SeekClampsAndReadsStopAtTheEnd)
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
    EXPECT_EQ(ram->Write(buf, 1), 0);   // not writeable

    auto bank = TBankStream::Create({1, 2, 3});
    EXPECT_EQ(bank->Seek(-1), 0);
    EXPECT_EQ(bank->Seek(99), 3);
    bank->WriteShort(0x0504);
    EXPECT_EQ(bank->Bytes(), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

} // namespace
