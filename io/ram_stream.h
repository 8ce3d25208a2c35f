// Streams over memory the stream does not own, and the "incbin" protocol.
#pragma once

#include "kelvora/io/stream.h"
#include "kelvora/io/stream_factory.h"

namespace kelvora {

class TRamStream : public TStream {
public:
    static std::shared_ptr<TRamStream> Create(unsigned char* buf, int64_t size, int readable, int writeable);
    // Read-only view of constant data (embedded blocks).
    static std::shared_ptr<TRamStream> Create(const unsigned char* buf, int64_t size);

    int64_t Pos() override { return _pos; }
    int64_t Size() override { return _size; }
    int64_t Seek(int64_t pos) override;           // clamped to 0..Size()
    int Read(void* buf, int count) override;
    int Write(const void* buf, int count) override;

    int64_t _pos = 0;
    int64_t _size = 0;
    unsigned char* _buf = nullptr;
    int _read = 0;
    int _write = 0;
};

// "incbin::<name>": the embedded block registered under exactly <name>, read only.
class TRamStreamFactory : public TStreamFactory {
public:
    TStreamPtr CreateStream(const TUrl& url, const std::string& proto, const std::string& path,
                            int readable, int writeable) override;
};

}  // namespace kelvora
