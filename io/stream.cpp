#include "kelvora/io/stream.h"

#include <algorithm>
#include <cstring>

#include "io/bank_stream.h"
#include "io/cstream.h"
#include "kelvora/io/stream_factory.h"
#include "io/stream_wrapper.h"

namespace kelvora {

// ---- TIO defaults: a stream that can do nothing ----

int TIO::Eof() { return Pos() == Size() ? 1 : 0; }
int64_t TIO::Pos() { return -1; }
int64_t TIO::Size() { return 0; }
int64_t TIO::Seek(int64_t) { return -1; }
int TIO::Flush() { return 0; }
int TIO::Close() { return 0; }
int TIO::Read(void*, int) { throw TRuntimeException("Stream is not readable"); }
int TIO::Write(const void*, int) { throw TRuntimeException("Stream is not writeable"); }

// ---- typed operations over Eof, Read and Write ----

int TStream::ReadBytes(void* buf, int count)
{
    auto* p = static_cast<unsigned char*>(buf);
    int remaining = count;
    while (remaining > 0 && !Eof()) {
        int n = Read(p, remaining);
        if (n <= 0) throw TStreamReadException();
        remaining -= n;
        p += n;
    }
    return count;
}

int TStream::WriteBytes(const void* buf, int count)
{
    auto* p = static_cast<const unsigned char*>(buf);
    int remaining = count;
    while (remaining > 0) {
        int n = Write(p, remaining);
        if (n <= 0) throw TStreamWriteException();
        remaining -= n;
        p += n;
    }
    return count;
}

int TStream::SkipBytes(int count)
{
    unsigned char scratch[1024];
    int remaining = count;
    while (remaining > 0 && !Eof()) {
        int n = Read(scratch, std::min(remaining, int(sizeof scratch)));
        if (n <= 0) throw TStreamReadException();
        remaining -= n;
    }
    return count;
}

namespace {

// Fixed-size values: zero-filled first, so a read that meets the end keeps
// the bytes it got as the low part of the value.
template <typename T>
T ReadValue(TStream& s)
{
    T v;
    std::memset(&v, 0, sizeof v);
    s.ReadBytes(&v, sizeof v);
    return v;
}

template <typename T>
int WriteValue(TStream& s, T v)
{
    s.WriteBytes(&v, sizeof v);
    return 0;
}

} // namespace

int TStream::ReadByte() { return ReadValue<uint8_t>(*this); }
int TStream::WriteByte(int n) { return WriteValue<uint8_t>(*this, uint8_t(n)); }
int TStream::ReadShort() { return ReadValue<uint16_t>(*this); }
int TStream::WriteShort(int n) { return WriteValue<uint16_t>(*this, uint16_t(n)); }
int TStream::ReadInt() { return ReadValue<int32_t>(*this); }
int TStream::WriteInt(int n) { return WriteValue<int32_t>(*this, int32_t(n)); }
int64_t TStream::ReadLong() { return ReadValue<int64_t>(*this); }
int TStream::WriteLong(int64_t n) { return WriteValue<int64_t>(*this, n); }
float TStream::ReadFloat() { return ReadValue<float>(*this); }
int TStream::WriteFloat(float f) { return WriteValue<float>(*this, f); }
double TStream::ReadDouble() { return ReadValue<double>(*this); }
int TStream::WriteDouble(double d) { return WriteValue<double>(*this, d); }

std::string TStream::ReadLine()
{
    std::string line;
    char buf[1024];
    int n = 0;
    for (;;) {
        unsigned char c;
        if (Read(&c, 1) != 1 || c == 0 || c == 10) break;
        if (c == 13) continue;
        buf[n++] = char(c);
        if (n == int(sizeof buf)) {
            line.append(buf, n);
            n = 0;
        }
    }
    line.append(buf, n);
    return line;
}

int TStream::WriteLine(const std::string& s)
{
    int len = int(s.size());
    if (len > 0 && Write(s.data(), len) != len) return 0;
    static const char crlf[2] = {13, 10};
    return Write(crlf, 2) == 2 ? 1 : 0;
}

std::string TStream::ReadString(int length)
{
    if (length <= 0) return {};
    std::string s(size_t(length), '\0');
    ReadBytes(s.data(), length);
    return s;
}

int TStream::WriteString(const std::string& s)
{
    WriteBytes(s.data(), int(s.size()));
    return 0;
}

void TStream::ReadObject() { throw TRuntimeException("Unable to read object"); }
void TStream::WriteObject() { throw TRuntimeException("Unable to write object"); }

// ---- opening ----

TStreamPtr OpenStream(const TUrl& url, int readable, int writeable)
{
    if (url.stream) return TStreamStream::Create(url.stream);

    std::string proto, path;
    if (!url.text.empty()) {
        size_t sep = url.text.find("::");
        if (sep == std::string::npos) return TCStream::OpenFile(url.text, readable, writeable);
        proto = url.text.substr(0, sep);
        // Only ASCII letters fold: "Incbin::" and "incbin::" are one protocol.
        for (char& c : proto)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        path = url.text.substr(sep + 2);
    }
    for (TStreamFactory* f = StreamFactories(); f; f = f->_succ) {
        if (TStreamPtr s = f->CreateStream(url, proto, path, readable, writeable)) return s;
    }
    return nullptr;
}

TStreamPtr OpenFile(const TUrl& url, int readable, int writeable)
{
    TStreamPtr s = OpenStream(url, readable, writeable);
    if (!s || s->Pos() != -1) return s;
    // A stream that cannot tell its position cannot seek either; the loaders
    // need both, so it is read whole into memory.
    std::vector<uint8_t> bytes;
    try {
        bytes = ReadAllBytes(*s);
    } catch (...) {
        s->Close();
        throw;
    }
    s->Close();
    return TBankStream::Create(std::move(bytes), readable, writeable);
}

TStreamPtr ReadStream(const TUrl& url) { return OpenFile(url, 1, 0); }
TStreamPtr WriteStream(const TUrl& url) { return OpenFile(url, 0, 1); }

void CloseStream(const TStreamPtr& stream)
{
    if (stream) stream->Close();
}

int Eof(const TStreamPtr& stream) { return stream ? stream->Eof() : 1; }
int64_t StreamPos(const TStreamPtr& stream) { return stream ? stream->Pos() : 0; }
int64_t StreamSize(const TStreamPtr& stream) { return stream ? stream->Size() : 0; }
int64_t SeekStream(const TStreamPtr& stream, int64_t pos) { return stream ? stream->Seek(pos) : -1; }

void FlushStream(const TStreamPtr& stream)
{
    if (stream) stream->Flush();
}

int ReadInt(const TStreamPtr& stream)
{
    if (!stream) throw TStreamReadException();
    return stream->ReadInt();
}

int WriteInt(const TStreamPtr& stream, int n)
{
    if (!stream) throw TStreamWriteException();
    return stream->WriteInt(n);
}

std::string ReadLine(const TStreamPtr& stream)
{
    if (!stream) throw TStreamReadException();
    return stream->ReadLine();
}

int WriteLine(const TStreamPtr& stream, const std::string& s)
{
    return stream ? stream->WriteLine(s) : 0;
}

// ---- whole-stream loading ----

std::vector<uint8_t> ReadAllBytes(TStream& stream)
{
    std::vector<uint8_t> buf(1024);
    size_t used = 0;
    while (!stream.Eof()) {
        if (used == buf.size()) buf.resize(buf.size() * 3 / 2);
        int want = int(std::min<size_t>(buf.size() - used, 0x40000000));
        int n = stream.Read(buf.data() + used, want);
        // Nothing delivered before the end: an error, not a reason to spin.
        if (n <= 0) throw TStreamReadException();
        used += size_t(n);
    }
    buf.resize(used);
    return buf;
}

std::vector<uint8_t> LoadBytes(const TUrl& url)
{
    TStreamPtr s = OpenStream(url, 1, 0);
    if (!s) return {};
    std::vector<uint8_t> bytes;
    try {
        bytes = ReadAllBytes(*s);
    } catch (...) {
        s->Close();
        throw;
    }
    s->Close();
    return bytes;
}

}  // namespace kelvora
