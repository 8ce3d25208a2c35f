#include "io/filesystem.h"

#include <dirent.h>
#include <sys/stat.h>

namespace {

bool IsRoot(const std::string& p)
{
    if (p == "/") return true;
    // "C:/"
    size_t colon = p.find(':');
    if (colon != std::string::npos && colon + 2 == p.size() && p.back() == '/' && p.find('/') == colon + 1)
        return true;
    // "//host/"
    if (p.size() > 3 && p.compare(0, 2, "//") == 0 && p.find('/', 2) == p.size() - 1) return true;
    return false;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const char* a, const std::string& b)
{
    size_t i = 0;
    for (; a[i] && i < b.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return a[i] == 0 && i == b.size();
}

bool Exists(const std::string& p)
{
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

// The entry of dir that matches name ignoring case; empty when none does.
std::string FindIgnoringCase(const std::string& dir, const std::string& name)
{
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return {};
    std::string best;
    while (dirent* e = readdir(d)) {
        if (SameIgnoringCase(e->d_name, name) && (best.empty() || best > e->d_name)) best = e->d_name;
    }
    closedir(d);
    return best;
}

} // namespace

std::string NormalizePath(const std::string& path, bool forDirectory)
{
    std::string p = path;
    for (char& c : p)
        if (c == '\\') c = '/';

    if (p.compare(0, 2, "//") == 0) {
        if (p.find('/', 2) == std::string::npos) p += '/';
    } else {
        size_t colon = p.find(':');
        if (colon != std::string::npos && colon + 1 < p.size() && p[colon + 1] != ':') {
            size_t slash = p.find('/');
            if (slash == std::string::npos || slash > colon + 1) p.insert(p.begin() + long(colon) + 1, '/');
        }
    }

    if (forDirectory && p.size() > 1 && p.back() == '/' && !IsRoot(p)) p.pop_back();
    return p;
}

std::string ResolvePathCase(const std::string& path)
{
    if (path.empty() || Exists(path)) return path;
    std::string out;
    size_t i = 0;
    while (i < path.size()) {
        if (path[i] == '/') {
            out += '/';
            ++i;
            continue;
        }
        size_t end = path.find('/', i);
        if (end == std::string::npos) end = path.size();
        std::string comp = path.substr(i, end - i);
        if (comp != "." && comp != ".." && !Exists(out + comp)) {
            std::string found = FindIgnoringCase(out, comp);
            if (found.empty()) return out + path.substr(i); // nothing further can exist
            comp = found;
        }
        out += comp;
        i = end;
    }
    return out;
}

int FileType(const std::string& path)
{
    std::string p = NormalizePath(path);
    if (p.find_first_of("<>") != std::string::npos) return FILETYPE_NONE;
    struct stat st;
    if (p.empty() || stat(ResolvePathCase(p).c_str(), &st) != 0) return FILETYPE_NONE;
    if (S_ISREG(st.st_mode)) return FILETYPE_FILE;
    if (S_ISDIR(st.st_mode)) return FILETYPE_DIR;
    return FILETYPE_NONE;
}
