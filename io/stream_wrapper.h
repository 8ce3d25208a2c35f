// Streams that forward to another stream.
#pragma once

#include "kelvora/io/stream.h"

namespace kelvora {

// Forwards every raw operation and most typed ones to _stream. Without an
// inner stream it answers as a closed stream: at its end, reading nothing.
// Dropping the wrapper drops its reference to _stream without closing it.
class TStreamWrapper : public TStream {
public:
    TStreamPtr _stream;

    void SetStream(TStreamPtr stream) { _stream = std::move(stream); }

    int Eof() override;
    int64_t Pos() override;
    int64_t Size() override;
    int64_t Seek(int64_t pos) override;
    int Flush() override;
    int Close() override;
    int Read(void* buf, int count) override;
    int Write(const void* buf, int count) override;

    int ReadByte() override;
    int WriteByte(int n) override;
    int ReadShort() override;
    int WriteShort(int n) override;
    int ReadInt() override;
    int WriteInt(int n) override;
    float ReadFloat() override;
    int WriteFloat(float f) override;
    double ReadDouble() override;
    int WriteDouble(double d) override;
    std::string ReadLine() override;
    int WriteLine(const std::string& s) override;
    std::string ReadString(int length) override;
    int WriteString(const std::string& s) override;
    void ReadObject() override;
    void WriteObject() override;
};

// A wrapper whose Close only lets go of the inner stream, which stays open.
class TStreamStream : public TStreamWrapper {
public:
    static std::shared_ptr<TStreamStream> Create(TStreamPtr stream);
    int Close() override;
};

}  // namespace kelvora
