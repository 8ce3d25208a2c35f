#include "game/saved_values.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "game/engine.h"
#include "game/globals.h"
#include "game/player.h"
#include "game/qvdraw.h"

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
    std::string error;
    if (place.folder != "data" && !CreateFolders(place.folder, &error)) {
        std::fprintf(stderr, "Kelvora 3D: could not make %s: %s\n", place.folder.c_str(), error.c_str());
        return;
    }
    save_int_file(in_folder(place.folder, game_name, file).c_str(), value);
}

}  // namespace

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
    const uint32_t u = static_cast<uint32_t>(value);
    const unsigned char bytes[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                                    static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    std::string error;
    if (ReplaceFileContents(path, bytes, 4, &error))
        return true;
    std::fprintf(stderr, "Kelvora 3D: could not save %s: %s\n", ResolvePathCase(NormalizePath(path)).c_str(),
                 error.c_str());
    return false;
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
