#include "io/cstream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/filesystem.h"

namespace {
// Opens without blocking and refuses what is not a file to read or write
// (a directory, a FIFO, a socket): opening a FIFO would wait for a writer for
// ever, and a directory gives a stream whose first read fails.
FILE* OpenPlainFile(const std::string& path, int flags, const char* how)
{
    int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    struct stat st;
    bool usable = ::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode));
    // Reads and writes of a device that makes sense block as the C library expects.
    if (usable) usable = ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
    FILE* f = usable ? ::fdopen(fd, how) : nullptr;
    if (!f) ::close(fd);
    return f;
}
}  // namespace

std::shared_ptr<TCStream> TCStream::OpenFile(const std::string& path, int readable, int writeable)
{
    const char* how = "rb";
    int flags = O_RDONLY;
    int mode = MODE_READ;
    if (readable && writeable) {
        how = "r+b";
        flags = O_RDWR;
        mode = MODE_READ | MODE_WRITE;
    } else if (writeable) {
        how = "wb";
        flags = O_WRONLY | O_CREAT | O_TRUNC;
        mode = MODE_WRITE;
    }
    std::string fixed = path;
    for (char& c : fixed)
        if (c == '\\') c = '/';
    FILE* f = OpenPlainFile(ResolvePathCase(fixed), flags, how);
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
