#include "system/sdl/pad_mappings.h"

#include <SDL.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

namespace {

void LoadFile(const std::string& path)
{
    if (path.empty()) return;
    struct stat st;
    // Only a regular file: SDL's reader would wait for ever on a FIFO.
    if (::stat(path.c_str(), &st) != 0) return;
    if (!S_ISREG(st.st_mode) || SDL_GameControllerAddMappingsFromFile(path.c_str()) < 0)
        std::fprintf(stderr, "Game pad mappings not read from %s: %s\n", path.c_str(),
                     S_ISREG(st.st_mode) ? SDL_GetError() : "not a file");
}

}  // namespace

std::string UserPadMappingFile()
{
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
    return base + "/kelvora3d/gamecontrollerdb.txt";
}

void LoadPadMappings()
{
    LoadFile("data/gamecontrollerdb.txt");
    LoadFile(UserPadMappingFile());
    // SDL read this one as it started, before the two above: again, so it wins.
    const char* named = SDL_GetHint(SDL_HINT_GAMECONTROLLERCONFIG_FILE);
    if (named) LoadFile(named);
}
