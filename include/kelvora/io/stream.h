// Byte streams: the one abstraction every byte the program reads or writes
// goes through. Concrete streams supply the raw TIO operations; the typed
// reads and writes are built once on top of Read and Write.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kelvora/runtime/errors.h"

namespace kelvora {

class TStream;
using TStreamPtr = std::shared_ptr<TStream>;

// Root of the stream errors.
class TStreamException : public TRuntimeException {
public:
    using TRuntimeException::TRuntimeException;
};

class TStreamReadException : public TStreamException {
public:
    TStreamReadException() : TStreamException("Error reading from stream") {}
};

class TStreamWriteException : public TStreamException {
public:
    TStreamWriteException() : TStreamException("Error writing to stream") {}
};

// Raw operations. The defaults describe a stream that can do nothing.
// Positions and sizes are 64-bit, as files can pass 2 GiB; a count of bytes
// moved by one call is an int.
class TIO {
public:
    virtual ~TIO() = default;
    virtual int Eof();                               // Pos() == Size()
    virtual int64_t Pos();                           // -1: cannot tell
    virtual int64_t Size();                          // 0
    virtual int64_t Seek(int64_t pos);               // -1
    virtual int Flush();                             // 0
    virtual int Close();                             // 0
    virtual int Read(void* buf, int count);          // raises "Stream is not readable"
    virtual int Write(const void* buf, int count);   // raises "Stream is not writeable"
};

// Typed operations over Eof, Read and Write. Multi-byte values are little-endian;
// strings are bytes, one per character (ISO 8859-1).
class TStream : public TIO {
public:
    virtual int ReadBytes(void* buf, int count);
    virtual int WriteBytes(const void* buf, int count);
    virtual int SkipBytes(int count);
    virtual int ReadByte();
    virtual int WriteByte(int n);
    virtual int ReadShort();
    virtual int WriteShort(int n);
    virtual int ReadInt();
    virtual int WriteInt(int n);
    virtual int64_t ReadLong();
    virtual int WriteLong(int64_t n);
    virtual float ReadFloat();
    virtual int WriteFloat(float f);
    virtual double ReadDouble();
    virtual int WriteDouble(double d);
    virtual std::string ReadLine();
    virtual int WriteLine(const std::string& s);
    virtual std::string ReadString(int length);
    virtual int WriteString(const std::string& s);
    virtual void ReadObject();                       // raises "Unable to read object"
    virtual void WriteObject();                      // raises "Unable to write object"
};

// What a stream is opened from: an existing stream, or a text that is a file
// path or "protocol::path". Anything else is the empty text.
struct TUrl {
    TUrl() = default;
    TUrl(const char* s) : text(s ? s : "") {}
    TUrl(std::string s) : text(std::move(s)) {}
    TUrl(TStreamPtr s) : stream(std::move(s)) {}
    std::string text;
    TStreamPtr stream;
};

// Opens url; null when it cannot be opened. Plain paths go straight to the
// file layer; "proto::path" asks the stream factories, newest first.
TStreamPtr OpenStream(const TUrl& url, int readable = 1, int writeable = 1);
// OpenStream, but a stream that cannot tell its position is read whole into
// a seekable stream in memory.
TStreamPtr OpenFile(const TUrl& url, int readable = 1, int writeable = 1);
TStreamPtr ReadStream(const TUrl& url);
TStreamPtr WriteStream(const TUrl& url);
void CloseStream(const TStreamPtr& stream);

// The helpers below take a null stream as a closed one: queries answer as a
// closed stream does, typed reads and writes raise the stream errors
// (WriteLine, which never raises, gives 0).
int Eof(const TStreamPtr& stream);
int64_t StreamPos(const TStreamPtr& stream);
int64_t StreamSize(const TStreamPtr& stream);
int64_t SeekStream(const TStreamPtr& stream, int64_t pos);
void FlushStream(const TStreamPtr& stream);
int ReadInt(const TStreamPtr& stream);
int WriteInt(const TStreamPtr& stream, int n);
std::string ReadLine(const TStreamPtr& stream);
int WriteLine(const TStreamPtr& stream, const std::string& s);

// Every byte of the stream opened for reading from url; empty when it cannot be opened.
std::vector<uint8_t> LoadBytes(const TUrl& url);
// Every byte from the current position of an open stream to its end (the
// stream is not closed). A stream that delivers nothing before its end raises
// TStreamReadException rather than looping for ever.
std::vector<uint8_t> ReadAllBytes(TStream& stream);

}  // namespace kelvora
