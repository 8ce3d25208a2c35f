#include "runtime/program.h"

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

std::string ProgramDirectory()
{
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return {};
    return exe.parent_path().string();
}

bool EnterProgramDirectory()
{
    std::string dir = ProgramDirectory();
    return !dir.empty() && chdir(dir.c_str()) == 0;
}

int RunGuarded(const std::function<int()>& body)
{
    try {
        return body();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "Unknown error\n");
    }
    std::fflush(stderr);
    return EXIT_UNCAUGHT_ERROR;
}
