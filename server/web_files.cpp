#include "server/web_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string content_type_of(const std::string& file_name)
{
    static const std::pair<const char*, const char*> types[] = {
        {".html", "text/html; charset=utf-8"}, {".js", "text/javascript; charset=utf-8"},
        {".wasm", "application/wasm"},         {".data", "application/octet-stream"},
        {".png", "image/png"},                 {".css", "text/css; charset=utf-8"},
        {".json", "application/json"},         {".ico", "image/x-icon"},
        {".svg", "image/svg+xml"},             {".txt", "text/plain; charset=utf-8"},
        {".ogg", "audio/ogg"},                 {".webmanifest", "application/manifest+json"},
    };
    const std::string ext = fs::path(file_name).extension().string();
    for (const auto& [suffix, type] : types)
        if (ext == suffix)
            return type;
    return "application/octet-stream";
}

std::optional<web_file> find_web_file(const std::string& root, const std::string& relative)
{
    if (root.empty() || relative.find('\0') != std::string::npos || relative.find('\\') != std::string::npos)
        return std::nullopt;
    fs::path rel;
    size_t from = 0;
    while (from <= relative.size()) {
        size_t end = relative.find('/', from);
        if (end == std::string::npos)
            end = relative.size();
        const std::string step = relative.substr(from, end - from);
        if (step.empty()) {
            if (end != relative.size())
                return std::nullopt;  // "a//b"
        } else if (step[0] == '.') {
            return std::nullopt;  // "..", ".", hidden files
        } else {
            rel /= step;
        }
        from = end + 1;
    }
    std::error_code ec;
    const fs::path base = fs::canonical(root, ec);
    if (ec)
        return std::nullopt;
    fs::path wanted = base / rel;
    if (rel.empty() || fs::is_directory(wanted, ec))
        wanted /= "index.html";
    const fs::path real = fs::canonical(wanted, ec);
    if (ec || !fs::is_regular_file(real, ec))
        return std::nullopt;
    // Inside the root, links followed.
    const auto [mismatch, unused] = std::mismatch(base.begin(), base.end(), real.begin(), real.end());
    (void)unused;
    if (mismatch != base.end())
        return std::nullopt;
    web_file f;
    f.path = real.string();
    f.content_type = content_type_of(real.filename().string());
    return f;
}
