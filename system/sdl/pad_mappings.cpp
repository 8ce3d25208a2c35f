#include "system/sdl/pad_mappings.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "runtime/utf8_path.h"
#include "system/config_folder.h"
#ifdef _WIN32
#include "runtime/win/wide.h"
#endif

namespace kelvora {

namespace {

void LoadFile(const std::string& path)
{
    if (path.empty()) return;
    // By a wide name on Windows: the player's folder may have any letters.
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(Utf8Path(path), ec);
    if (ec || !std::filesystem::exists(st)) return;
    // Only a regular file: SDL's reader would wait for ever on a FIFO.
    const bool regular = std::filesystem::is_regular_file(st);
    if (!regular || SDL_GameControllerAddMappingsFromFile(path.c_str()) < 0)
        std::fprintf(stderr, "Game pad mappings not read from %s: %s\n", path.c_str(),
                     regular ? SDL_GetError() : "not a file");
}

}  // namespace

std::string UserPadMappingFile()
{
#ifdef _WIN32
    // Where Windows keeps a player's settings; HOME is seldom set there.
    const wchar_t* appdata = _wgetenv(L"APPDATA");
    if (!appdata || !appdata[0]) return "";
    return Narrow(appdata) + "\\" + ConfigFolder() + "\\gamecontrollerdb.txt";
#else
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !home[0]) return "";
        base = std::string(home) + "/.config";
    }
    return base + "/" + ConfigFolder() + "/gamecontrollerdb.txt";
#endif
}

void LoadPadMappings()
{
    LoadFile("data/gamecontrollerdb.txt");
    LoadFile(UserPadMappingFile());
    // SDL read this one as it started, before the two above: again, so it wins.
    const char* named = SDL_GetHint(SDL_HINT_GAMECONTROLLERCONFIG_FILE);
    if (named) LoadFile(named);
}

}  // namespace kelvora
