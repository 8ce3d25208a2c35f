// A stream on a file of the C library's buffered I/O.
#pragma once

#include <cstdio>
#include <string>

#include "kelvora/io/stream.h"

namespace kelvora {

class TCStream : public TStream {
public:
    static constexpr int MODE_READ = 1;
    static constexpr int MODE_WRITE = 2;

    // "r+b" for both, "wb" (create or truncate) for writing only, else "rb".
    // "\" becomes "/", and path components are matched case-insensitively
    // where the exact spelling does not exist. Null when it cannot be opened.
    static std::shared_ptr<TCStream> OpenFile(const std::string& path, int readable, int writeable);
    // Takes over an open handle; position and size are taken from it.
    static std::shared_ptr<TCStream> CreateWithCStream(FILE* cstream, int mode);

    ~TCStream() override;

    int64_t Pos() override { return _pos; }
    int64_t Size() override { return _size; }
    int64_t Seek(int64_t pos) override;
    int Read(void* buf, int count) override;
    int Write(const void* buf, int count) override;
    int Flush() override;
    int Close() override;

    int64_t _pos = 0;
    int64_t _size = 0;
    FILE* _cstream = nullptr;
    int _mode = 0;

private:
    // C stdio needs a seek between a read and a following write (and back).
    enum class LastOp { None, Read, Write };
    void SwitchTo(LastOp op);
    LastOp _last = LastOp::None;
};

}  // namespace kelvora
