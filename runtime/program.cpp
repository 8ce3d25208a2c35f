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

TProgramLayout FindProgramLayout(const std::string& program_dir, const std::string& name)
{
    namespace fs = std::filesystem;
    TProgramLayout layout;
    layout.program_dir = program_dir;
    layout.files_dir = program_dir;
    std::error_code ec;
    if (fs::is_directory(fs::path(program_dir) / "data", ec))
        return layout;
    const fs::path shared = fs::path(program_dir).parent_path() / "share" / name;
    if (fs::is_directory(shared / "data", ec)) {
        layout.files_dir = shared.lexically_normal().string();
        layout.installed = true;
    }
    return layout;
}

bool EnterFilesDirectory(const std::string& name, TProgramLayout* layout)
{
    const std::string dir = ProgramDirectory();
    if (dir.empty())
        return false;
    const TProgramLayout found = FindProgramLayout(dir, name);
    if (layout)
        *layout = found;
    return chdir(found.files_dir.c_str()) == 0;
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
