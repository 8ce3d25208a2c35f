/// @file
/// Byte streams: the one abstraction every byte the program reads or writes
/// goes through. Concrete streams supply the raw TIO operations; the typed
/// reads and writes are built once on top of Read and Write.
///
/// Streams are shared objects (TStreamPtr): the last holder to let go closes
/// a file stream that is still open. Use a stream from one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kelvora/runtime/errors.h"

namespace kelvora {

class TStream;
/// A stream, shared by whoever holds it.
using TStreamPtr = std::shared_ptr<TStream>;

/// Root of the stream errors.
class TStreamException : public TRuntimeException {
public:
    using TRuntimeException::TRuntimeException;
};

/// A read that could not get its bytes: "Error reading from stream".
class TStreamReadException : public TStreamException {
public:
    /// The error with its fixed text.
    TStreamReadException() : TStreamException("Error reading from stream") {}
};

/// A write that could not put its bytes: "Error writing to stream".
class TStreamWriteException : public TStreamException {
public:
    /// The error with its fixed text.
    TStreamWriteException() : TStreamException("Error writing to stream") {}
};

/// Raw operations. The defaults describe a stream that can do nothing.
/// Positions and sizes are 64-bit, as files can pass 2 GiB; a count of bytes
/// moved by one call is an int.
class TIO {
public:
    virtual ~TIO() = default;
    /// 1 at the end of the stream (by default: Pos() == Size()).
    virtual int Eof();
    /// The position in bytes from the start; -1 when the stream cannot tell
    /// (the default).
    virtual int64_t Pos();
    /// The length in bytes (0 by default).
    virtual int64_t Size();
    /// Moves to pos and returns the new position; -1 when the stream cannot
    /// seek (the default).
    virtual int64_t Seek(int64_t pos);
    /// Pushes buffered writes on; 0 by default.
    virtual int Flush();
    /// Flushes and lets go of what the stream holds; 0 by default. Closing
    /// twice is harmless.
    virtual int Close();
    /// Reads up to count bytes into buf and returns how many came (0 at the
    /// end). Throws TRuntimeException "Stream is not readable" by default.
    virtual int Read(void* buf, int count);
    /// Writes up to count bytes from buf and returns how many went. Throws
    /// TRuntimeException "Stream is not writeable" by default.
    virtual int Write(const void* buf, int count);
};

/// Typed operations over Eof, Read and Write. Multi-byte values are
/// little-endian; strings are bytes, one per character (ISO 8859-1).
///
/// A read that meets the end of the stream is not an error: it keeps the
/// bytes it got, the rest of the value zero (so ReadInt at the end gives 0).
/// Read and Write that move no byte before the end throw the stream errors.
class TStream : public TIO {
public:
    /// Reads count bytes into buf, fewer at the end; returns count.
    virtual int ReadBytes(void* buf, int count);
    /// Writes count bytes from buf; returns count.
    virtual int WriteBytes(const void* buf, int count);
    /// Reads past count bytes (fewer at the end); returns count.
    virtual int SkipBytes(int count);
    /// One unsigned byte, 0..255.
    virtual int ReadByte();
    /// Writes the low 8 bits of n; returns 0.
    virtual int WriteByte(int n);
    /// Two bytes, unsigned, 0..65535.
    virtual int ReadShort();
    /// Writes the low 16 bits of n; returns 0.
    virtual int WriteShort(int n);
    /// Four bytes, signed.
    virtual int ReadInt();
    /// Writes n as four bytes; returns 0.
    virtual int WriteInt(int n);
    /// Eight bytes, signed.
    virtual int64_t ReadLong();
    /// Writes n as eight bytes; returns 0.
    virtual int WriteLong(int64_t n);
    /// An IEEE single, four bytes.
    virtual float ReadFloat();
    /// Writes f as four bytes; returns 0.
    virtual int WriteFloat(float f);
    /// An IEEE double, eight bytes.
    virtual double ReadDouble();
    /// Writes d as eight bytes; returns 0.
    virtual int WriteDouble(double d);
    /// The bytes up to a line feed, a zero byte or the end, none of them
    /// included; carriage returns are dropped.
    virtual std::string ReadLine();
    /// Writes s and a carriage return and line feed; 1 when all went, else 0
    /// (a short write gives 0 rather than an error).
    virtual int WriteLine(const std::string& s);
    /// length bytes (fewer at the end, the rest zero bytes); empty for
    /// length <= 0.
    virtual std::string ReadString(int length);
    /// Writes the bytes of s, no length and no terminator; returns 0.
    virtual int WriteString(const std::string& s);
    /// Not supported: throws TRuntimeException "Unable to read object".
    virtual void ReadObject();
    /// Not supported: throws TRuntimeException "Unable to write object".
    virtual void WriteObject();
};

/// What a stream is opened from: an existing stream, or a text that is a file
/// path or "protocol::path". Anything else is the empty text.
struct TUrl {
    /// The empty text: opens nothing.
    TUrl() = default;
    /// A path or "protocol::path"; null is the empty text.
    TUrl(const char* s) : text(s ? s : "") {}
    /// A path or "protocol::path".
    TUrl(std::string s) : text(std::move(s)) {}
    /// An open stream, read from where it is.
    TUrl(TStreamPtr s) : stream(std::move(s)) {}
    std::string text;   ///< The path or "protocol::path"; unused when stream is set
    TStreamPtr stream;  ///< The stream, or null
};

/// Opens url; null when it cannot be opened. Plain paths go straight to the
/// file layer; "proto::path" asks the stream factories, newest first
/// ("incbin::name" opens only for reading). A file opened for reading and
/// writing (the default) must exist; one opened for writing alone is made,
/// or emptied.
TStreamPtr OpenStream(const TUrl& url, int readable = 1, int writeable = 1);
/// OpenStream, but a stream that cannot tell its position is read whole into
/// a seekable stream in memory.
TStreamPtr OpenFile(const TUrl& url, int readable = 1, int writeable = 1);
/// OpenFile for reading only.
TStreamPtr ReadStream(const TUrl& url);
/// OpenFile for writing only.
TStreamPtr WriteStream(const TUrl& url);
/// Closes the stream; null is ignored.
void CloseStream(const TStreamPtr& stream);

/// @name Null-tolerant helpers
/// These take a null stream as a closed one: queries answer as a closed
/// stream does, typed reads and writes raise the stream errors (WriteLine,
/// which never raises, gives 0).
/// @{

/// TIO::Eof; 1 for null.
int Eof(const TStreamPtr& stream);
/// TIO::Pos; 0 for null.
int64_t StreamPos(const TStreamPtr& stream);
/// TIO::Size; 0 for null.
int64_t StreamSize(const TStreamPtr& stream);
/// TIO::Seek; -1 for null.
int64_t SeekStream(const TStreamPtr& stream, int64_t pos);
/// TIO::Flush; nothing for null.
void FlushStream(const TStreamPtr& stream);
/// TStream::ReadInt; throws TStreamReadException for null.
int ReadInt(const TStreamPtr& stream);
/// TStream::WriteInt; throws TStreamWriteException for null.
int WriteInt(const TStreamPtr& stream, int n);
/// TStream::ReadLine; throws TStreamReadException for null.
std::string ReadLine(const TStreamPtr& stream);
/// TStream::WriteLine; 0 for null.
int WriteLine(const TStreamPtr& stream, const std::string& s);
/// @}

/// Every byte of the stream opened for reading from url; empty when it cannot
/// be opened.
std::vector<uint8_t> LoadBytes(const TUrl& url);
/// Every byte from the current position of an open stream to its end (the
/// stream is not closed). A stream that delivers nothing before its end raises
/// TStreamReadException rather than looping for ever.
std::vector<uint8_t> ReadAllBytes(TStream& stream);

}  // namespace kelvora
