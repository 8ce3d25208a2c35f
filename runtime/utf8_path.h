// Paths are UTF-8 strings throughout; std::filesystem takes a plain string
// in the system's code page on Windows, so conversions go through these.
#pragma once

#include <filesystem>
#include <string>

namespace kelvora {

inline std::filesystem::path Utf8Path(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string PathUtf8(const std::filesystem::path& path)
{
    const std::u8string s = path.generic_u8string();
    return std::string(s.begin(), s.end());
}

}  // namespace kelvora
