#include "game/saved_values.h"

#include <fcntl.h>
#include <sys/stat.h>
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
#include "runtime/program.h"

namespace {

const char* const HISCORE_FILE = "data\\hiscore.dat";
const char* const ANAGLYPH_FILE = "Data\\anaglyph3d.dat";

saved_values_place place;

std::string in_folder(const std::string& folder, const char* game_name, const char* file)
{
    if (folder == "data")
        return game_name;
    return folder + "/" + file;
}

// The folder exists and files can be made in it, or it can be made.
bool folder_writable(std::string folder)
{
    while (!folder.empty()) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) == 0)
            return S_ISDIR(st.st_mode) && ::access(folder.c_str(), W_OK | X_OK) == 0;
        const size_t slash = folder.find_last_of('/');
        folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    }
    return false;
}

// A value can be kept in folder: its file is writable, or it can be made.
bool value_writable(const std::string& folder, const char* file)
{
    const std::string path = ResolvePathCase(folder + "/" + file);
    if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) == 0)
        return true;
    return folder_writable(folder);
}

bool make_folder(const std::string& folder)
{
    std::string sofar;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        sofar = folder.substr(0, pos);
        if (!sofar.empty() && ::mkdir(sofar.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool load_value(const char* game_name, const char* file, int& value)
{
    if (place.folder.empty() && place.seed_folder.empty())
        return false;
    if (!place.folder.empty() && load_int_file(in_folder(place.folder, game_name, file).c_str(), value))
        return true;
    return !place.seed_folder.empty() && load_int_file((place.seed_folder + "/" + file).c_str(), value);
}

void save_value(const char* game_name, const char* file, int value)
{
    if (place.folder.empty())
        return;  // said once at start
    if (place.folder != "data" && !make_folder(place.folder)) {
        std::fprintf(stderr, "Kelvora 3D: could not make %s: %s\n", place.folder.c_str(), std::strerror(errno));
        return;
    }
    save_int_file(in_folder(place.folder, game_name, file).c_str(), value);
}

}  // namespace

saved_values_place choose_saved_values_place(const TProgramLayout& layout, const char* xdg_data_home,
                                             const char* home)
{
    saved_values_place chosen;
    const std::string beside = layout.files_dir + "/data";
    if (!layout.installed && value_writable(beside, "hiscore.dat") && value_writable(beside, "anaglyph3d.dat"))
        return chosen;
    chosen.seed_folder = beside;
    std::string base;
    if (xdg_data_home && xdg_data_home[0] == '/')
        base = xdg_data_home;
    else if (home && home[0] == '/')
        base = std::string(home) + "/.local/share";
    const std::string own = base + "/kelvora3d";
    if (!base.empty() && value_writable(own, "hiscore.dat") && value_writable(own, "anaglyph3d.dat"))
        chosen.folder = own;
    else
        chosen.folder.clear();
    return chosen;
}

void use_saved_values_place(const saved_values_place& p) { place = p; }

const saved_values_place& current_saved_values_place() { return place; }

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
    if (fd < 0 && ::access(target.c_str(), W_OK) == 0) {
        // No new file can be made here (a shared folder), but this one may be
        // changed: the bytes go over the old ones, then any excess is cut, so
        // the file never holds fewer than four bytes.
        const int in_place = ::open(target.c_str(), O_WRONLY);
        if (in_place < 0) {
            err = errno;
        } else {
            if (::pwrite(in_place, bytes, 4, 0) != 4 || ::ftruncate(in_place, 4) != 0 || ::fsync(in_place) != 0)
                err = errno ? errno : EIO;
            if (::close(in_place) != 0 && err == 0)
                err = errno;
        }
    } else if (fd < 0) {
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
        save_value(HISCORE_FILE, "hiscore.dat", player->best_sc);
        return;
    }
    int value = 0;
    player->best_sc = load_value(HISCORE_FILE, "hiscore.dat", value) ? value : 0;
}

void anaglyph_io(int mode)
{
    if (mode == 1) {
        int value = 0;
        if (load_value(ANAGLYPH_FILE, "anaglyph3d.dat", value))
            mode3d = value >= 0 && value <= 4 ? value : 0;
    } else if (mode == 2) {
        save_value(ANAGLYPH_FILE, "anaglyph3d.dat", mode3d);
    }
    switch (mode3d) {
    case 1: qvdraw->slc(140, 4, 40, 4, 100, 20); break;
    case 2: qvdraw->slc(4, 100, 20, 140, 4, 10); break;
    case 3: qvdraw->slc(4, 80, 60, 140, 4, 10); break;
    case 4: qvdraw->slc(4, 20, 140, 140, 4, 20); break;
    default: break;
    }
}
