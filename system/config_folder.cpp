#include "system/config_folder.h"

#include "kelvora/system/app_title.h"

namespace kelvora {

namespace {

std::string& Folder()
{
    static std::string name;
    return name;
}

bool EndsWithExe(const std::string& s)
{
    if (s.size() < 4) return false;
    std::string tail = s.substr(s.size() - 4);
    for (char& c : tail)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return tail == ".exe";
}

}  // namespace

void SetConfigFolder(const std::string& name) { Folder() = name; }

std::string ConfigFolder() { return Folder().empty() ? ConfigFolderFor(AppTitle()) : Folder(); }

std::string ConfigFolderFor(const std::string& app_name)
{
    // The program file's name stands in for a title nobody set.
    const std::string from = EndsWithExe(app_name) ? app_name.substr(0, app_name.size() - 4) : app_name;
    std::string name;
    for (char c : from) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '_' || (c == '.' && !name.empty()) || u >= 0x80;
        if (!keep) continue;
#ifndef _WIN32
        // Folders under ~/.config are lower-case by custom.
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
#endif
        name += c;
    }
    return name.empty() ? "kelvora" : name;
}

}  // namespace kelvora
