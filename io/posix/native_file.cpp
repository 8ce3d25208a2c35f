#include "io/native_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "io/filesystem.h"

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

bool NativeReplaceFile(const std::string& path, const void* data, int size, std::string* error)
{
    const std::string temp = path + ".tmp";
    int err = 0;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 && ::access(path.c_str(), W_OK) == 0) {
        // No new file can be made here (a shared folder), but this one may be
        // changed: the bytes go over the old ones, then any excess is cut, so
        // the file never holds less than the new content.
        const int in_place = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (in_place < 0) {
            err = errno;
        } else {
            if (!WriteAll(in_place, data, size) || ::ftruncate(in_place, size) != 0 || ::fsync(in_place) != 0)
                err = errno ? errno : EIO;
            if (::close(in_place) != 0 && err == 0) err = errno;
        }
    } else if (fd < 0) {
        err = errno;
    } else {
        if (!WriteAll(fd, data, size) || ::fsync(fd) != 0) err = errno ? errno : EIO;
        if (::close(fd) != 0 && err == 0) err = errno;
        if (err == 0 && std::rename(temp.c_str(), path.c_str()) != 0) err = errno;
        if (err != 0) std::remove(temp.c_str());
    }
    if (err != 0) SetError(error, err);
    return err == 0;
}
