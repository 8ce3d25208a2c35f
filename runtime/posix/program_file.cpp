#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "runtime/program.h"

namespace kelvora {

std::string ProgramPath()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

bool SetWorkingDirectory(const std::string& dir) { return !dir.empty() && chdir(dir.c_str()) == 0; }

}  // namespace kelvora
