#include "io/cstream.h"

#include "io/filesystem.h"
#include "io/native_file.h"


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
    s->_pos = int(std::ftell(cstream));
    std::fseek(cstream, 0, SEEK_END);
    s->_size = int(std::ftell(cstream));
    std::fseek(cstream, s->_pos, SEEK_SET);
    s->_mode = mode;
    return s;
}

// Nothing in the game drops an open stream, but a file left open would leak.
TCStream::~TCStream() { Close(); }

int TCStream::Seek(int pos)
{
    if (!_cstream) return -1;
    std::fseek(_cstream, pos, SEEK_SET);
    _pos = int(std::ftell(_cstream));
    _last = LastOp::None;
    return _pos;
}

void TCStream::SwitchTo(LastOp op)
{
    if (_last != LastOp::None && _last != op) std::fseek(_cstream, 0, SEEK_CUR);
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
