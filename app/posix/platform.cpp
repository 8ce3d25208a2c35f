#include "app/platform.h"

#include <stdlib.h>

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
