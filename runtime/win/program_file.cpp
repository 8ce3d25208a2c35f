#include <windows.h>

#include "runtime/program.h"
#include "runtime/win/wide.h"

namespace kelvora {

std::string ProgramPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);  // a long path: try again with room for it
    }
    std::string utf8 = Narrow(path);
    for (char& c : utf8)
        if (c == '\\') c = '/';
    return utf8;
}

bool SetWorkingDirectory(const std::string& dir) { return !dir.empty() && SetCurrentDirectoryW(Widen(dir).c_str()); }

}  // namespace kelvora
