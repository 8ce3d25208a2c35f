#include "kelvora/io/filesystem.h"

#include "io/native_file.h"

namespace kelvora {

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

bool Exists(const std::string& p) { return NativeExists(p); }

std::string FindIgnoringCase(const std::string& dir, const std::string& name) { return NativeFindIgnoringCase(dir, name); }

std::string Parent(const std::string& p)
{
    const size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
}

} // namespace

std::string SystemPathText(const std::string& path)
{
    std::string text = path;
    const char separator = NativePathSeparator();
    for (char& c : text)
        if (c == '/') c = separator;
    return text;
}

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
    return p.empty() ? FILETYPE_NONE : NativeFileType(ResolvePathCase(p));
}

bool CanWriteFile(const std::string& path)
{
    const std::string p = ResolvePathCase(NormalizePath(path));
    if (NativeExists(p) && NativeFileWritable(p)) return true;
    // Made anew (or replaced) in the nearest folder that exists.
    std::string folder = Parent(p);
    while (!folder.empty()) {
        if (NativeExists(folder)) return NativeFolderWritable(folder);
        const std::string up = Parent(folder);
        if (up == folder) break;
        folder = up;
    }
    return false;
}

bool CreateFolders(const std::string& path, std::string* error)
{
    const std::string p = NormalizePath(path, true);
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = p.find('/', pos + 1);
        const std::string sofar = p.substr(0, pos);
        // A drive ("C:") or a network host needs no making.
        if (sofar.empty() || sofar.back() == ':' || (sofar.compare(0, 2, "//") == 0 && sofar.find('/', 2) == std::string::npos))
            continue;
        if (!NativeMakeFolder(ResolvePathCase(sofar), error)) return false;
    }
    return true;
}

bool ReplaceFileContents(const std::string& path, const void* data, int size, std::string* error)
{
    return NativeReplaceFile(ResolvePathCase(NormalizePath(path)), data, size, error);
}

}  // namespace kelvora
