#include "io/native_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kelvora/io/filesystem.h"

namespace kelvora {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const char* a, const std::string& b)
{
    size_t i = 0;
    for (; a[i] && i < b.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return a[i] == 0 && i == b.size();
}

void SetError(std::string* error, int err)
{
    if (error) *error = std::strerror(err);
}

bool WriteAll(int fd, const void* data, int size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size_t(size));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= int(n);
    }
    return true;
}

}  // namespace

bool NativeExists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string NativeFindIgnoringCase(const std::string& dir, const std::string& name)
{
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return {};
    std::string best;
    while (dirent* e = readdir(d)) {
        if (SameIgnoringCase(e->d_name, name) && (best.empty() || best > e->d_name)) best = e->d_name;
    }
    closedir(d);
    return best;
}

int NativeFileType(const std::string& path)
{
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0) return FILETYPE_NONE;
    if (S_ISREG(st.st_mode)) return FILETYPE_FILE;
    if (S_ISDIR(st.st_mode)) return FILETYPE_DIR;
    return FILETYPE_NONE;
}

// Opens without blocking and refuses what is not a file to read or write
// (a directory, a FIFO, a socket): opening a FIFO would wait for a writer for
// ever, and a directory gives a stream whose first read fails.
FILE* NativeOpenFile(const std::string& path, int readable, int writeable)
{
    const char* how = "rb";
    int flags = O_RDONLY;
    if (readable && writeable) {
        how = "r+b";
        flags = O_RDWR;
    } else if (writeable) {
        how = "wb";
        flags = O_WRONLY | O_CREAT | O_TRUNC;
    }
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

bool NativeFileWritable(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

bool NativeFolderWritable(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

bool NativeMakeFolder(const std::string& path, std::string* error)
{
    if (::mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && NativeFileType(path) == FILETYPE_DIR)) return true;
    SetError(error, errno);
    return false;
}

namespace {

bool DiskFull(int err) { return err == ENOSPC || err == EDQUOT; }

// A name no one else uses: made exclusively, so a file or a link already
// there (planted, or another copy's) is never opened; -1 with errno set
// when no file can be made in the folder.
int CreateTemporary(const std::string& path, std::string& temp)
{
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = path + "." + std::to_string(getpid()) + "-" + std::to_string(++counter) + ".tmp";
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Over the old bytes, then cut to the new size: the file never holds less
// than the new content, and the disk needs no new room for it. Never
// through a link.
int WriteInPlace(const std::string& path, const void* data, int size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno;
    int err = 0;
    if (!WriteAll(fd, data, size) || ::ftruncate(fd, size) != 0 || ::fsync(fd) != 0) err = errno ? errno : EIO;
    if (::close(fd) != 0 && err == 0) err = errno;
    return err;
}

// The rename itself reaches the disk only with its folder.
void SyncFolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

char NativePathSeparator() { return '/'; }

bool NativeReplaceFile(const std::string& path, const void* data, int size, std::string* error)
{
    std::string temp;
    const int fd = CreateTemporary(path, temp);
    int err = 0;
    if (fd < 0) {
        // No new file can be made here (a shared folder), but this one may
        // still be changed.
        err = errno;
        if (::access(path.c_str(), W_OK) == 0) err = WriteInPlace(path, data, size);
    } else {
        errno = 0;
        if (!WriteAll(fd, data, size) || ::fsync(fd) != 0) err = errno ? errno : EIO;
        if (::close(fd) != 0 && err == 0) err = errno;
        if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
        if (err != 0) ::unlink(temp.c_str());
        if (err == 0)
            SyncFolderOf(path);
        else if (DiskFull(err) && WriteInPlace(path, data, size) == 0)
            err = 0;  // the old file's room holds the new value
    }
    if (err != 0) SetError(error, err);
    return err == 0;
}

}  // namespace kelvora
