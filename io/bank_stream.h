// A seekable stream over bytes it owns in memory: where a stream that cannot
// tell its position is read to, so that it can be seeked.
#pragma once

#include <vector>

#include "io/stream.h"

class TBankStream : public TStream {
public:
    static std::shared_ptr<TBankStream> Create(std::vector<uint8_t> bytes, int readable = 1, int writeable = 1);

    int Pos() override { return _pos; }
    int Size() override { return int(_bytes.size()); }
    int Seek(int pos) override;                   // clamped to 0..Size()
    int Read(void* buf, int count) override;
    int Write(const void* buf, int count) override; // grows the bank at its end

    const std::vector<uint8_t>& Bytes() const { return _bytes; }

private:
    std::vector<uint8_t> _bytes;
    int _pos = 0;
    int _read = 1;
    int _write = 1;
};
