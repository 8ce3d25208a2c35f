// For the fuzz targets: a mutated recording made whole again, so that the
// reader goes past its check into everything behind it.
#pragma once

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>

// The text with its last line replaced by the check the program writes.
inline std::string sealed_recording(const std::string& text)
{
    size_t end = text.size();
    if (end > 0 && text[end - 1] == '\n')
        --end;
    const size_t start = text.rfind('\n', end == 0 ? 0 : end - 1);
    const std::string body = start == std::string::npos ? std::string() : text.substr(0, start + 1);
    uint64_t h = 1469598103934665603ull;  // FNV-1a, as make_recording
    for (unsigned char c : body) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char check[32];
    std::snprintf(check, sizeof check, "# check %016" PRIx64 "\n", h);
    return body + check;
}
