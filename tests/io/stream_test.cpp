#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstring>
#include <functional>

#include "io/bank_stream.h"
#include "io/ram_stream.h"
#include "kelvora/io/stream.h"
#include "kelvora/io/stream_factory.h"
#include "io/stream_wrapper.h"
#include "temp_dir.h"

using namespace kelvora;

namespace {

using Bytes = std::vector<unsigned char>;

class FileStream : public TempDirTest {};

TEST_F(FileStream, TypedValuesRoundTripLittleEndian)
{
    TStreamPtr w = WriteStream(Path("values.bin"));
    ASSERT_TRUE(w);
    w->WriteInt(1);
    w->WriteByte(0x1FF);
    w->WriteShort(-1);
    w->WriteLong(-2);
    w->WriteFloat(1.5f);
    w->WriteDouble(-0.25);
    w->WriteString("R\xE9sum\xE9");
    EXPECT_EQ(w->Size(), 33);
    CloseStream(w);
    Bytes raw = ReadFile("values.bin");
    ASSERT_EQ(raw.size(), 33u);
    EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 7), (Bytes{1, 0, 0, 0, 0xFF, 0xFF, 0xFF}));

    TStreamPtr r = ReadStream(Path("values.bin"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->ReadInt(), 1);
    EXPECT_EQ(r->ReadByte(), 255);
    EXPECT_EQ(r->ReadShort(), 65535);  // zero-extended, never negative
    EXPECT_EQ(r->ReadLong(), -2);
    EXPECT_EQ(r->ReadFloat(), 1.5f);
    EXPECT_EQ(r->ReadDouble(), -0.25);
    EXPECT_EQ(r->ReadString(6), "R\xE9sum\xE9");
    EXPECT_TRUE(r->Eof());
    // At the end: 0, nothing raised; two bytes left give the low half.
    EXPECT_EQ(ReadInt(r), 0);
    r->Seek(31);
    EXPECT_EQ(r->ReadInt(), 0xE96D);
    CloseStream(r);
}

TEST_F(FileStream, WritingTruncatesAndUnopenablePathsGiveNull)
{
    std::filesystem::create_directory(dir_ / "data");
    WriteFile("data/hiscore.dat", Bytes(100, 7));
    TStreamPtr w = WriteStream(Path("data") + "\\hiscore.dat");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->Size(), 0);
    WriteInt(w, 42);
    CloseStream(w);
    EXPECT_EQ(ReadFile("data/hiscore.dat"), (Bytes{42, 0, 0, 0}));

    EXPECT_FALSE(WriteStream(Path("no_such_dir/new.dat")));
    EXPECT_FALSE(ReadStream(Path("missing.dat")));
    EXPECT_FALSE(OpenStream(Path("missing.dat"), 1, 1));  // "r+b" does not create
    EXPECT_FALSE(ReadStream(""));
    EXPECT_FALSE(ReadStream("nosuchproto::x"));
}

#ifdef _WIN32
// Windows' counterparts: a named pipe would wait for its other end; devices
// such as NUL open as elsewhere.
TEST_F(FileStream, DirectoriesAndPipesAreRefusedAtOnce)
{
    std::filesystem::create_directory(dir_ / "Data");
    const std::string pipe = "\\\\.\\pipe\\kv-stream-test-" + std::to_string(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES, 0, 0,
                                     0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    for (const std::string& p : {Path("Data"), Path("data"), pipe}) {
        EXPECT_FALSE(ReadStream(p)) << p;
        EXPECT_FALSE(OpenFile(p, 1, 1)) << p;
        EXPECT_FALSE(WriteStream(p)) << p;
    }
    CloseHandle(server);
    TStreamPtr null_dev = WriteStream("NUL");
    ASSERT_TRUE(null_dev);
    WriteInt(null_dev, 7);
    CloseStream(null_dev);
}
#else
// A FIFO used to block for ever on open, a directory gave a stream that
// failed at its first read; both are refused like a missing file.
TEST_F(FileStream, DirectoriesAndFifosAreRefusedAtOnce)
{
    std::filesystem::create_directory(dir_ / "Data");
    ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
    for (const std::string& p : {Path("Data"), Path("data"), Path("pipe")}) {
        EXPECT_FALSE(ReadStream(p)) << p;
        EXPECT_FALSE(OpenFile(p, 1, 1)) << p;
        EXPECT_FALSE(WriteStream(p)) << p;
    }
    EXPECT_EQ(LoadBytes(Path("pipe")).size(), 0u);
    // A FIFO with a reader waiting is refused for writing as well.
    int reader = ::open(Path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_FALSE(WriteStream(Path("pipe")));
    ::close(reader);
    // Devices still open.
    TStreamPtr null_dev = WriteStream("/dev/null");
    ASSERT_TRUE(null_dev);
    WriteInt(null_dev, 7);
    CloseStream(null_dev);
}
#endif

TEST_F(FileStream, ReadWriteStreamsMixDirectionsAndCloseTwiceHarmlessly)
{
    WriteFile("rw.bin", {1, 2, 3, 4});
    TStreamPtr s = OpenStream(Path("rw.bin"), 1, 1);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->ReadShort(), 0x0201);
    s->WriteShort(0x0909);  // right after a read
    s->WriteByte(5);        // past the end grows the file
    EXPECT_EQ(s->Size(), 5);
    s->Seek(1);
    EXPECT_EQ(s->ReadByte(), 2);
    EXPECT_EQ(s->Close(), 0);
    EXPECT_EQ(s->Close(), 0);
    EXPECT_EQ(s->Size(), 0);
    EXPECT_TRUE(s->Eof());
    EXPECT_THROW(s->WriteInt(1), TStreamWriteException);
    EXPECT_EQ(ReadFile("rw.bin"), (Bytes{1, 2, 9, 9, 5}));

    TStreamPtr ro = ReadStream(Path("rw.bin"));
    EXPECT_THROW(ro->WriteInt(5), TStreamWriteException);
    CloseStream(ro);
}

// A player's hiscore.dat past 2 GiB read as size 0. Sparse files: no disk.
TEST_F(FileStream, FilesPastTwoAndFourGibKeepExactSizesAndPositions)
{
    const int64_t gib = int64_t(1) << 30, past_4gib = 4 * gib + 7;
    WriteFile("big.dat", {1, 2, 3, 4});
    std::filesystem::resize_file(dir_ / "big.dat", 3 * gib);
    // Written past 4 GiB, where a 32-bit position wraps to a small one.
    TStreamPtr rw = OpenStream(Path("big.dat"), 1, 1);
    ASSERT_TRUE(rw);
    EXPECT_EQ(StreamSize(rw), 3 * gib);
    EXPECT_EQ(SeekStream(rw, past_4gib), past_4gib);
    WriteInt(rw, 0x5A5A0001);
    EXPECT_EQ(StreamSize(rw), past_4gib + 4);
    EXPECT_EQ(SeekStream(rw, 0), 0);
    EXPECT_EQ(ReadInt(rw), 0x04030201);
    EXPECT_EQ(SeekStream(rw, past_4gib), past_4gib);
    EXPECT_EQ(ReadInt(rw), 0x5A5A0001);
    EXPECT_TRUE(Eof(rw));
    CloseStream(rw);
    std::filesystem::remove(dir_ / "big.dat");
}

TStreamPtr Text(const std::string& t) { return TBankStream::Create(std::vector<uint8_t>(t.begin(), t.end())); }

TEST(Lines, ReadLineSplitsOnLfDropsCrAndEndsOnZero)
{
    TStreamPtr s = Text("ab\r\ncd");
    EXPECT_EQ(s->ReadLine(), "ab");
    EXPECT_EQ(s->ReadLine(), "cd");
    EXPECT_EQ(s->ReadLine(), "");
    TStreamPtr t = Text(std::string("x\ry\0z\n\xE9", 7));
    EXPECT_EQ(t->ReadLine(), "xy");
    EXPECT_EQ(t->ReadLine(), "z");
    EXPECT_EQ(t->ReadLine(), "\xE9");
    // Longer than the 1024-byte gathering buffer.
    std::string line(5000, 'a');
    line[1023] = line[1024] = 'b';
    TStreamPtr u = Text(line + "\ntail");
    EXPECT_EQ(u->ReadLine(), line);
    EXPECT_EQ(u->ReadLine(), "tail");
}

TEST(Lines, WriteLineAddsCrLfOnlyWhenTheWholeTextWasWritten)
{
    auto bank = TBankStream::Create({});
    EXPECT_EQ(bank->WriteLine("hi"), 1);
    EXPECT_EQ(bank->Bytes(), (std::vector<uint8_t>{'h', 'i', 13, 10}));
    unsigned char mem[4] = {};
    auto ram = TRamStream::Create(mem, 4, 1, 1);
    EXPECT_EQ(ram->WriteLine("toolong"), 0);  // raises nothing
    EXPECT_EQ(std::memcmp(mem, "tool", 4), 0);
}

// Delivers nothing although it says it is not at its end.
class TStuckStream : public TStream {
public:
    int Eof() override { return 0; }
    int Read(void*, int) override { return 0; }
    int Write(const void*, int) override { return 0; }
};

std::string ErrorText(const std::function<void()>& f)
{
    try {
        f();
    } catch (const TRuntimeException& e) {
        return e.what();
    }
    return "nothing raised";
}

TEST(StreamErrors, EachFailureRaisesItsOwnText)
{
    TStuckStream stuck;
    EXPECT_EQ(ErrorText([&] { stuck.ReadInt(); }), "Error reading from stream");
    EXPECT_THROW(stuck.SkipBytes(3), TStreamReadException);
    EXPECT_THROW(ReadAllBytes(stuck), TStreamReadException);  // rather than spin
    EXPECT_EQ(ErrorText([&] { stuck.WriteByte(1); }), "Error writing to stream");
    EXPECT_EQ(stuck.ReadLine(), "");

    TStream bare;
    EXPECT_EQ(bare.Pos(), -1);
    EXPECT_EQ(ErrorText([&] { bare.ReadInt(); }), "Stream is not readable");
    EXPECT_EQ(ErrorText([&] { bare.WriteInt(1); }), "Stream is not writeable");
    EXPECT_EQ(ErrorText([&] { bare.ReadObject(); }), "Unable to read object");
    EXPECT_EQ(ErrorText([&] { bare.WriteObject(); }), "Unable to write object");

    TStreamPtr none;
    CloseStream(none);
    EXPECT_EQ(Eof(none), 1);
    EXPECT_THROW(ReadInt(none), TStreamReadException);
    EXPECT_THROW(WriteInt(none, 1), TStreamWriteException);
}

TEST(StreamStream, CloseDetachesAndLeavesTheInnerStreamUsable)
{
    auto inner = TBankStream::Create({1, 0, 0, 0, 2, 0, 0, 0});
    TStreamPtr outer = OpenStream(TUrl(TStreamPtr(inner)));
    ASSERT_TRUE(outer);
    EXPECT_EQ(outer->ReadInt(), 1);
    CloseStream(outer);
    CloseStream(outer);
    EXPECT_TRUE(outer->Eof());
    EXPECT_EQ(inner->ReadInt(), 2);
}

// Knows its data but not its position, like a pipe; hands out 7 bytes a read.
class TPipeStream : public TStream {
public:
    explicit TPipeStream(std::string d) : data(std::move(d)) {}
    int Eof() override { return at == data.size(); }
    int Read(void* buf, int n) override
    {
        n = std::min<int>(n, int(std::min<size_t>(data.size() - at, 7)));
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
        return last = std::make_shared<TPipeStream>(path);
    }
    std::shared_ptr<TPipeStream> last;
};

TEST(WholeStreams, StreamsWithoutPositionAreReadIntoMemory)
{
    TPipeFactory pipes;
    std::string payload(3000, 'q');
    TStreamPtr s = OpenFile("Pipe::" + payload + "END", 1, 0);
    ASSERT_TRUE(s);
    EXPECT_TRUE(pipes.last->closed);
    EXPECT_EQ(s->Seek(3000), 3000);
    EXPECT_EQ(s->ReadString(3), "END");
    EXPECT_EQ(OpenStream("pipe::x")->Pos(), -1);  // OpenStream hands it over as it is

    std::vector<uint8_t> got = LoadBytes("pipe::" + payload);
    EXPECT_EQ(std::string(got.begin(), got.end()), payload);
    EXPECT_TRUE(LoadBytes("/no/such/file").empty());
}

} // namespace
