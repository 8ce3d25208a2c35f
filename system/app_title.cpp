#include "kelvora/system/app_title.h"

#include "runtime/program.h"

namespace kelvora {

namespace {
std::string ProgramName()
{
    std::string name = ProgramPath();
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

}  // namespace kelvora
