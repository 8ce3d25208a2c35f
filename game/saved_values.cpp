#include "game/saved_values.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "game/engine.h"
#include "game/globals.h"
#include "game/player.h"
#include "game/qvdraw.h"

using namespace kelvora;

namespace {

const char* const HISCORE_FILE = "data\\hiscore.dat";
const char* const ANAGLYPH_FILE = "Data\\anaglyph3d.dat";

saved_values_place place;
std::function<void(const char*, int)> listener;
// The mode as this run last read (or took as the default) or wrote it: a
// mode the player chose since is written, and otherwise only a missing or
// damaged file is made good, so another copy's choice stands.
int known_mode = 0;

bool valid_best(int value) { return value >= 0 && value <= MAX_GAME_SCORE; }
bool valid_mode(int value) { return value >= 0 && value <= 4; }

std::string in_folder(const std::string& folder, const char* game_name, const char* file)
{
    if (folder == "data")
        return game_name;
    return folder + "/" + file;
}

// What the file holds: nothing, four bytes (raw), or something shorter or
// unreadable (present, no raw).
struct stored_value {
    bool present = false;
    std::optional<int> raw;
    std::optional<int> valid(bool (*in_range)(int)) const
    {
        return raw && in_range(*raw) ? raw : std::nullopt;
    }
};

// The first four bytes of an existing file.
bool read_int(const char* path, int& value)
{
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

stored_value read_stored(const std::string& path)
{
    stored_value s;
    const int type = FileType(path);
    s.present = type != FILETYPE_NONE;
    int v = 0;
    if (type == FILETYPE_FILE && read_int(path.c_str(), v))
        s.raw = v;
    return s;
}

// The value as a run starts from it: the player's own folder, else the seed.
stored_value load_value(const char* game_name, const char* file)
{
    stored_value s;
    if (!place.folder.empty())
        s = read_stored(in_folder(place.folder, game_name, file));
    if (!s.present && !place.seed_folder.empty())
        s = read_stored(place.seed_folder + "/" + file);
    return s;
}

// The value as it is stored now, where this run writes.
stored_value stored_now(const char* game_name, const char* file)
{
    if (place.folder.empty())
        return {};
    return read_stored(in_folder(place.folder, game_name, file));
}

bool save_value(const char* game_name, const char* file, int value)
{
    if (place.folder.empty())
        return false;  // said once at start
    std::string error;
    if (place.folder != "data" && !CreateFolders(place.folder, &error)) {
        std::fprintf(stderr, "Kelvora 3D: could not make %s: %s\n", SystemPathText(place.folder).c_str(),
                     error.c_str());
        return false;
    }
    if (!save_int_file(in_folder(place.folder, game_name, file).c_str(), value))
        return false;
    if (listener)
        listener(file, value);
    return true;
}

void save_best()
{
    const stored_value stored = stored_now(HISCORE_FILE, "hiscore.dat");
    const std::optional<int> stored_best = stored.valid(valid_best);
    int& best = player->best_sc;
    if (stored_best && *stored_best > best) {
        best = *stored_best;  // another copy did better
        return;
    }
    // A damaged record gives way to a real score only, not to the default.
    if (stored.present && !stored_best && best <= 0)
        return;
    save_value(HISCORE_FILE, "hiscore.dat", best);
}

void save_mode()
{
    if (known_mode == mode3d && stored_now(ANAGLYPH_FILE, "anaglyph3d.dat").valid(valid_mode))
        return;
    if (save_value(ANAGLYPH_FILE, "anaglyph3d.dat", mode3d))
        known_mode = mode3d;
}

}  // namespace

void use_saved_values_place(const saved_values_place& p) { place = p; }

const saved_values_place& current_saved_values_place() { return place; }

void set_saved_value_listener(std::function<void(const char* file, int value)> l) { listener = std::move(l); }

bool save_int_file(const char* path, int value)
{
    const uint32_t u = static_cast<uint32_t>(value);
    const unsigned char bytes[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                                    static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    std::string error;
    if (ReplaceFileContents(path, bytes, 4, &error))
        return true;
    const std::string shown = SystemPathText(ResolvePathCase(NormalizePath(path)));
    std::fprintf(stderr, "Kelvora 3D: could not save %s: %s\n", shown.c_str(), error.c_str());
    return false;
}

void hiscore_io(int save)
{
    if (save != 0) {
        save_best();
        return;
    }
    player->best_sc = load_value(HISCORE_FILE, "hiscore.dat").valid(valid_best).value_or(0);
}

void take_stored_best()
{
    const std::optional<int> stored = stored_now(HISCORE_FILE, "hiscore.dat").valid(valid_best);
    if (player && stored && *stored > player->best_sc)
        player->best_sc = *stored;
}

void anaglyph_io(int mode)
{
    if (mode == 1) {
        // An unreadable file keeps the mode; one out of range means Off.
        const stored_value stored = load_value(ANAGLYPH_FILE, "anaglyph3d.dat");
        if (stored.raw)
            mode3d = valid_mode(*stored.raw) ? *stored.raw : 0;
        known_mode = mode3d;
    } else if (mode == 2) {
        save_mode();
    }
    switch (mode3d) {
    case 1: qvdraw->slc(140, 4, 40, 4, 100, 20); break;
    case 2: qvdraw->slc(4, 100, 20, 140, 4, 10); break;
    case 3: qvdraw->slc(4, 80, 60, 140, 4, 10); break;
    case 4: qvdraw->slc(4, 20, 140, 140, 4, 20); break;
    default: break;
    }
}
