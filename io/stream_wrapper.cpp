#include "io/stream_wrapper.h"

namespace kelvora {

int TStreamWrapper::Eof() { return _stream ? _stream->Eof() : 1; }
int64_t TStreamWrapper::Pos() { return _stream ? _stream->Pos() : 0; }
int64_t TStreamWrapper::Size() { return _stream ? _stream->Size() : 0; }
int64_t TStreamWrapper::Seek(int64_t pos) { return _stream ? _stream->Seek(pos) : -1; }
int TStreamWrapper::Flush() { return _stream ? _stream->Flush() : 0; }
int TStreamWrapper::Close() { return _stream ? _stream->Close() : 0; }
int TStreamWrapper::Read(void* buf, int count) { return _stream ? _stream->Read(buf, count) : 0; }
int TStreamWrapper::Write(const void* buf, int count) { return _stream ? _stream->Write(buf, count) : 0; }

// Typed operations go to the inner stream, so its own versions apply; with
// none the base versions run over the forwarding Read and Write above.
#define KV_FORWARD(ret, name, params, args) \
    ret TStreamWrapper::name params { return _stream ? _stream->name args : TStream::name args; }

KV_FORWARD(int, ReadByte, (), ())
KV_FORWARD(int, WriteByte, (int n), (n))
KV_FORWARD(int, ReadShort, (), ())
KV_FORWARD(int, WriteShort, (int n), (n))
KV_FORWARD(int, ReadInt, (), ())
KV_FORWARD(int, WriteInt, (int n), (n))
KV_FORWARD(float, ReadFloat, (), ())
KV_FORWARD(int, WriteFloat, (float f), (f))
KV_FORWARD(double, ReadDouble, (), ())
KV_FORWARD(int, WriteDouble, (double d), (d))
KV_FORWARD(std::string, ReadLine, (), ())
KV_FORWARD(int, WriteLine, (const std::string& s), (s))
KV_FORWARD(std::string, ReadString, (int length), (length))
KV_FORWARD(int, WriteString, (const std::string& s), (s))
KV_FORWARD(void, ReadObject, (), ())
KV_FORWARD(void, WriteObject, (), ())

#undef KV_FORWARD

std::shared_ptr<TStreamStream> TStreamStream::Create(TStreamPtr stream)
{
    auto s = std::make_shared<TStreamStream>();
    s->SetStream(std::move(stream));
    return s;
}

int TStreamStream::Close()
{
    SetStream(nullptr);
    return 0;
}

}  // namespace kelvora
