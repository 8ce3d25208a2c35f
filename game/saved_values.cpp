#include "game/saved_values.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "game/engine.h"
#include "game/globals.h"
#include "game/player.h"
#include "game/qvdraw.h"

namespace {

const char* const HISCORE_FILE = "data\\hiscore.dat";
const char* const ANAGLYPH_FILE = "Data\\anaglyph3d.dat";

}  // namespace

bool load_int_file(const char* path, int& value)
{
    if (FileType(path) != 1)
        return false;
    auto stream = ReadStream(path);
    if (!stream)
        return false;
    bool ok = false;
    try {
        if (StreamSize(stream) >= 4) {
            value = ReadInt(stream);
            ok = true;
        }
    } catch (const TStreamException&) {
        ok = false;
    }
    CloseStream(stream);
    return ok;
}

bool save_int_file(const char* path, int value)
{
    const std::string target = ResolvePathCase(NormalizePath(path));
    const std::string temp = target + ".tmp";
    const uint32_t u = static_cast<uint32_t>(value);
    const unsigned char bytes[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                                    static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    int err = 0;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        err = errno;
    } else {
        if (::write(fd, bytes, 4) != 4 || ::fsync(fd) != 0)
            err = errno ? errno : EIO;
        if (::close(fd) != 0 && err == 0)
            err = errno;
        if (err == 0 && std::rename(temp.c_str(), target.c_str()) != 0)
            err = errno;
        if (err != 0)
            std::remove(temp.c_str());
    }
    const bool ok = err == 0;
    if (!ok)
        std::fprintf(stderr, "Kelvora 3D: could not save %s: %s\n", target.c_str(), std::strerror(err));
    return ok;
}

void hiscore_io(int save)
{
    if (save != 0) {
        save_int_file(HISCORE_FILE, player->best_sc);
        return;
    }
    int value = 0;
    player->best_sc = load_int_file(HISCORE_FILE, value) ? value : 0;
}

void anaglyph_io(int mode)
{
    if (mode == 1) {
        int value = 0;
        if (load_int_file(ANAGLYPH_FILE, value))
            mode3d = value >= 0 && value <= 4 ? value : 0;
    } else if (mode == 2) {
        save_int_file(ANAGLYPH_FILE, mode3d);
    }
    switch (mode3d) {
    case 1: qvdraw->slc(140, 4, 40, 4, 100, 20); break;
    case 2: qvdraw->slc(4, 100, 20, 140, 4, 10); break;
    case 3: qvdraw->slc(4, 80, 60, 140, 4, 10); break;
    case 4: qvdraw->slc(4, 20, 140, 140, 4, 20); break;
    default: break;
    }
}
