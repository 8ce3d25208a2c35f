#include "io/ram_stream.h"

#include <algorithm>
#include <cstring>

#include "kelvora/io/incbin.h"

namespace kelvora {

std::shared_ptr<TRamStream> TRamStream::Create(unsigned char* buf, int64_t size, int readable, int writeable)
{
    auto s = std::make_shared<TRamStream>();
    s->_pos = 0;
    s->_size = std::max<int64_t>(size, 0);
    s->_buf = buf;
    s->_read = readable;
    s->_write = writeable;
    return s;
}

std::shared_ptr<TRamStream> TRamStream::Create(const unsigned char* buf, int64_t size)
{
    // Never written through: _write stays 0.
    return Create(const_cast<unsigned char*>(buf), size, 1, 0);
}

int64_t TRamStream::Seek(int64_t pos)
{
    _pos = std::clamp<int64_t>(pos, 0, _size);
    return _pos;
}

int TRamStream::Read(void* buf, int count)
{
    if (count <= 0 || !_read) return 0;
    int n = int(std::min<int64_t>(count, _size - _pos));
    if (n <= 0) return 0;
    std::memcpy(buf, _buf + _pos, size_t(n));
    _pos += n;
    return n;
}

int TRamStream::Write(const void* buf, int count)
{
    if (count <= 0 || !_write) return 0;
    int n = int(std::min<int64_t>(count, _size - _pos));
    if (n <= 0) return 0;
    std::memcpy(_buf + _pos, buf, size_t(n));
    _pos += n;
    return n;
}

TStreamPtr TRamStreamFactory::CreateStream(const TUrl&, const std::string& proto, const std::string& path,
                                           int readable, int writeable)
{
    if (proto != "incbin" || writeable) return nullptr;
    const unsigned char* p = IncbinPtr(path);
    if (!p) return nullptr;
    auto s = TRamStream::Create(p, IncbinLen(path));
    s->_read = readable;
    return s;
}

}  // namespace kelvora
