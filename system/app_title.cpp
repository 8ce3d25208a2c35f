#include "system/app_title.h"

#include <unistd.h>

#include <climits>

namespace {
std::string ProgramName()
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    std::string name(path, size_t(n));
    size_t slash = name.rfind('/');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    return name;
}

std::string& Title()
{
    static std::string title = ProgramName();
    return title;
}
}  // namespace

const std::string& AppTitle() { return Title(); }

void SetAppTitle(const std::string& title) { Title() = title; }
