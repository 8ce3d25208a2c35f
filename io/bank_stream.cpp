#include "io/bank_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace kelvora {

std::shared_ptr<TBankStream> TBankStream::Create(std::vector<uint8_t> bytes, int readable, int writeable)
{
    auto s = std::make_shared<TBankStream>();
    s->_bytes = std::move(bytes);
    s->_read = readable;
    s->_write = writeable;
    return s;
}

int64_t TBankStream::Seek(int64_t pos)
{
    _pos = std::clamp<int64_t>(pos, 0, Size());
    return _pos;
}

int TBankStream::Read(void* buf, int count)
{
    if (count <= 0 || !_read) return 0;
    int n = int(std::min<int64_t>(count, Size() - _pos));
    if (n <= 0) return 0;
    std::memcpy(buf, _bytes.data() + _pos, size_t(n));
    _pos += n;
    return n;
}

int TBankStream::Write(const void* buf, int count)
{
    if (count <= 0 || !_write) return 0;
    // The bank stops growing where a vector can hold no more.
    const auto most = int64_t(std::min<uint64_t>(_bytes.max_size(), std::numeric_limits<int64_t>::max()));
    int n = int(std::min<int64_t>(count, most - _pos));
    if (n <= 0) return 0;
    if (size_t(_pos) + size_t(n) > _bytes.size()) _bytes.resize(size_t(_pos) + size_t(n));
    std::memcpy(_bytes.data() + _pos, buf, size_t(n));
    _pos += n;
    return n;
}

}  // namespace kelvora
