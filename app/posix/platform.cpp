#include "app/platform.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/saves_folder.h"

using namespace kelvora;

std::vector<std::string> program_arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void use_starting_console() {}

void tell_player(const std::string& text) { std::fprintf(stderr, "Kelvora 3D: %s\n", text.c_str()); }

void report_fatal(const std::string& text, bool said_on_stderr)
{
    if (!said_on_stderr) std::fprintf(stderr, "%s\n", text.c_str());
}

void use_real_pixels() {}

precise_timers::precise_timers() = default;
precise_timers::~precise_timers() = default;

bool in_system_programs_folder(const std::string&) { return false; }

std::string make_scratch_folder(std::string& error)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/kelvora3d-XXXXXX";
    if (!mkdtemp(folder.data())) {
        error = std::strerror(errno);
        return {};
    }
    return folder;
}

std::string absolute_path(const std::string& path)
{
    if (path.empty() || path[0] == '/') return path;
    char* here = realpath(".", nullptr);
    if (!here) return path;
    std::string full = std::string(here) + "/" + path;
    std::free(here);
    return full;
}

std::string user_saves_folder() { return xdg_saves_folder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")); }

const char* user_saves_folder_name() { return "$XDG_DATA_HOME/kelvora3d (~/.local/share/kelvora3d)"; }

bool system_random_bytes(unsigned char* out, size_t size)
{
    while (size > 0) {
#if defined(__linux__)
        const ssize_t got = getrandom(out, size, 0);
#else
        const size_t step = size < 256 ? size : 256;
        const ssize_t got = getentropy(out, step) == 0 ? ssize_t(step) : -1;
#endif
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        size -= size_t(got);
    }
    return true;
}

int create_private_file(const std::string& path, const std::string& bytes, std::string& error)
{
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    int err = 0;
    const char* p = bytes.data();
    for (size_t left = bytes.size(); left > 0 && err == 0;) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) err = n < 0 ? errno : EIO;
        else p += n, left -= size_t(n);
    }
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    int made = -1;
    if (err == 0) {
        // A link takes the name only while it is free; a file system
        // without links (a memory stick's) gets the file renamed in place
        // when no file is there.
        if (::link(temp.c_str(), path.c_str()) == 0) {
            made = 1;
        } else if (errno == EEXIST) {
            made = 0;
        } else if (::access(path.c_str(), F_OK) == 0) {
            made = 0;
        } else if (::rename(temp.c_str(), path.c_str()) == 0) {
            made = 1;
        } else {
            err = errno;
        }
    }
    ::unlink(temp.c_str());
    if (made < 0) {
        error = std::strerror(err);
    } else if (made == 1) {
        // The new name reaches the disk with its folder.
        const size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return made;
}
