#include "runtime/program.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

#include "runtime/utf8_path.h"

namespace kelvora {

std::string ProgramDirectory()
{
    const std::string exe = ProgramPath();
    const size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : exe.substr(0, slash);
}

bool EnterProgramDirectory() { return SetWorkingDirectory(ProgramDirectory()); }

TProgramLayout FindProgramLayout(const std::string& program_dir, const std::string& name)
{
    namespace fs = std::filesystem;
    TProgramLayout layout;
    layout.program_dir = program_dir;
    layout.files_dir = program_dir;
    std::error_code ec;
    if (fs::is_directory(Utf8Path(program_dir) / "data", ec))
        return layout;
    const fs::path shared = Utf8Path(program_dir).parent_path() / "share" / Utf8Path(name);
    if (fs::is_directory(shared / "data", ec)) {
        layout.files_dir = PathUtf8(shared.lexically_normal());
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
    return SetWorkingDirectory(found.files_dir);
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

}  // namespace kelvora
