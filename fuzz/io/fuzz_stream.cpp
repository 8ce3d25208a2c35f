// Line and typed reads over arbitrary bytes: the first byte says how many of
// the following bytes are operations, the rest is the stream's content.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "io/bank_stream.h"
#include "kelvora/io/filesystem.h"
#include "io/ram_stream.h"
#include "kelvora/io/stream.h"
#include "kelvora/io/stream_factory.h"
#include "io/stream_wrapper.h"

using namespace kelvora;

namespace {

// A stream without a position, so OpenFile must copy it into memory.
class TFuzzPipe : public TStream {
public:
    TFuzzPipe(const uint8_t* d, size_t n) : data(d), size(n) {}
    int Eof() override { return at == size; }
    int Read(void* buf, int n) override
    {
        size_t k = std::min<size_t>(size_t(n), std::min<size_t>(size - at, 3));
        std::memcpy(buf, data + at, k);
        at += k;
        return int(k);
    }
    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

class TFuzzFactory : public TStreamFactory {
public:
    TStreamPtr CreateStream(const TUrl&, const std::string& proto, const std::string&, int, int) override
    {
        if (proto != "fuzz") return nullptr;
        return std::make_shared<TFuzzPipe>(data, size);
    }
    const uint8_t* data = nullptr;
    size_t size = 0;
};

void Drive(TStream& s, const uint8_t* ops, size_t nops)
{
    for (size_t i = 0; i < nops; ++i) {
        uint8_t op = ops[i];
        switch (op & 15) {
        case 0: s.ReadByte(); break;
        case 1: s.ReadShort(); break;
        case 2: s.ReadInt(); break;
        case 3: s.ReadLong(); break;
        case 4: s.ReadFloat(); break;
        case 5: s.ReadDouble(); break;
        case 6: s.ReadLine(); break;
        case 7: s.ReadString(op >> 4); break;
        case 8: s.SkipBytes((op >> 4) * 100); break;
        case 9: s.Seek((op >> 4) * 13 - 20); break;
        case 10: { char buf[64]; s.ReadBytes(buf, op >> 2); break; }
        case 11: s.Eof(); s.Pos(); s.Size(); break;
        case 12: s.WriteLine("x"); break;
        case 13: ReadAllBytes(s); break;
        default: s.ReadString(-1); break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    size_t nops = std::min<size_t>(data[0] & 63, size - 1);
    const uint8_t* ops = data + 1;
    const uint8_t* content = ops + nops;
    size_t clen = size - 1 - nops;

    auto ram = TRamStream::Create(content, int(clen));
    try {
        Drive(*ram, ops, nops);
    } catch (const TStreamException&) {
    }

    static TFuzzFactory factory;
    factory.data = content;
    factory.size = clen;
    TStreamPtr copy = OpenFile(data[0] & 64 ? "FUZZ::x" : "fuzz::", 1, 0);
    if (!copy || copy->Size() != int(clen)) __builtin_trap();
    TStreamPtr wrapped = OpenStream(TUrl(copy));
    try {
        Drive(*wrapped, ops, nops);
    } catch (const TStreamException&) {
    }
    CloseStream(wrapped);
    if (LoadBytes("fuzz::").size() != clen) __builtin_trap();

    NormalizePath(std::string(reinterpret_cast<const char*>(content), clen), data[0] & 128);
    return 0;
}
