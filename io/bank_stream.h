// A seekable stream over bytes it owns in memory: where a stream that cannot
// tell its position is read to, so that it can be seeked.
#pragma once

#include <vector>

#include "kelvora/io/stream.h"

namespace kelvora {

class TBankStream : public TStream {
public:
    static std::shared_ptr<TBankStream> Create(std::vector<uint8_t> bytes, int readable = 1, int writeable = 1);

    int64_t Pos() override { return _pos; }
    int64_t Size() override { return int64_t(_bytes.size()); }
    int64_t Seek(int64_t pos) override;           // clamped to 0..Size()
    int Read(void* buf, int count) override;
    int Write(const void* buf, int count) override; // grows the bank at its end

    const std::vector<uint8_t>& Bytes() const { return _bytes; }

private:
    std::vector<uint8_t> _bytes;
    int64_t _pos = 0;
    int _read = 1;
    int _write = 1;
};

}  // namespace kelvora
