#include "io/cstream.h"

#include <sys/types.h>

#include "kelvora/io/filesystem.h"
#include "io/native_file.h"

namespace kelvora {

namespace {

// ftell and fseek take a long, 32 bits on Windows: files past 2 GiB need
// the 64-bit calls. -1 when the position cannot be told.
#ifdef _WIN32
int64_t Tell(FILE* f) { return _ftelli64(f); }
int SeekTo(FILE* f, int64_t pos, int whence) { return _fseeki64(f, pos, whence); }
#else
static_assert(sizeof(off_t) == 8, "file offsets must be 64-bit (_FILE_OFFSET_BITS=64)");
int64_t Tell(FILE* f) { return ftello(f); }
int SeekTo(FILE* f, int64_t pos, int whence) { return fseeko(f, off_t(pos), whence); }
#endif

} // namespace

std::shared_ptr<TCStream> TCStream::OpenFile(const std::string& path, int readable, int writeable)
{
    int mode = MODE_READ;
    if (readable && writeable)
        mode = MODE_READ | MODE_WRITE;
    else if (writeable)
        mode = MODE_WRITE;
    std::string fixed = path;
    for (char& c : fixed)
        if (c == '\\') c = '/';
    FILE* f = NativeOpenFile(ResolvePathCase(fixed), readable, writeable);
    if (!f) return nullptr;
    return CreateWithCStream(f, mode);
}

std::shared_ptr<TCStream> TCStream::CreateWithCStream(FILE* cstream, int mode)
{
    auto s = std::make_shared<TCStream>();
    s->_cstream = cstream;
    s->_pos = Tell(cstream);
    SeekTo(cstream, 0, SEEK_END);
    s->_size = Tell(cstream);
    SeekTo(cstream, s->_pos, SEEK_SET);
    s->_mode = mode;
    return s;
}

// Nothing in the game drops an open stream, but a file left open would leak.
TCStream::~TCStream() { Close(); }

int64_t TCStream::Seek(int64_t pos)
{
    if (!_cstream) return -1;
    SeekTo(_cstream, pos, SEEK_SET);
    _pos = Tell(_cstream);
    _last = LastOp::None;
    return _pos;
}

void TCStream::SwitchTo(LastOp op)
{
    if (_last != LastOp::None && _last != op) SeekTo(_cstream, 0, SEEK_CUR);
    _last = op;
}

int TCStream::Read(void* buf, int count)
{
    if (!_cstream || count <= 0) return 0;
    SwitchTo(LastOp::Read);
    int n = int(std::fread(buf, 1, size_t(count), _cstream));
    _pos += n;
    return n;
}

int TCStream::Write(const void* buf, int count)
{
    if (!_cstream || count <= 0) return 0;
    SwitchTo(LastOp::Write);
    int n = int(std::fwrite(buf, 1, size_t(count), _cstream));
    _pos += n;
    if (_pos > _size) _size = _pos;
    return n;
}

int TCStream::Flush()
{
    if (_cstream) std::fflush(_cstream);
    return 0;
}

int TCStream::Close()
{
    if (!_cstream) return 0;
    Flush();
    std::fclose(_cstream);
    _cstream = nullptr;
    _pos = 0;
    _size = 0;
    return 0;
}

}  // namespace kelvora
