#include "app/player_name.h"

#include <vector>

namespace {

// Decodes one UTF-8 sequence at text[at]; strict: no overlong forms, no
// surrogates, nothing past U+10FFFF. Returns the length, or 0 when invalid.
size_t decode_utf8(const std::string& text, size_t at, char32_t& out)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(at);
    size_t len = 0;
    char32_t cp = 0, least = 0;
    if (b0 < 0x80) {
        out = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, least = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, least = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (at + len > text.size())
        return 0;
    for (size_t i = 1; i < len; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(at + i) & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    out = cp;
    return len;
}

bool is_white_space(char32_t c)
{
    return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Characters a table must not show: controls (C0, DEL, C1), line and
// paragraph separators, the marks that reorder text around them, invisible
// joiners and fillers, and the byte-order mark.
bool is_forbidden(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB);
}

bool is_lower_hex(const std::string& s, size_t length)
{
    if (s.size() != length)
        return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

std::string too_long() { return "a name has 1 to " + std::to_string(MAX_NAME_CHARACTERS) + " characters; this one is longer"; }

}  // namespace

std::optional<std::string> valid_player_name(const std::string& raw, std::string& why)
{
    struct character {
        size_t at, len;
        char32_t cp;
    };
    std::vector<character> chars;
    for (size_t at = 0; at < raw.size();) {
        char32_t cp = 0;
        const size_t len = decode_utf8(raw, at, cp);
        if (len == 0) {
            why = "the name is not valid UTF-8";
            return std::nullopt;
        }
        chars.push_back({at, len, cp});
        at += len;
        if (chars.size() > 4 * MAX_NAME_CHARACTERS + 64) {
            why = too_long();
            return std::nullopt;
        }
    }
    size_t first = 0, last = chars.size();
    while (first < last && is_white_space(chars[first].cp))
        ++first;
    while (last > first && is_white_space(chars[last - 1].cp))
        --last;
    if (first == last) {
        why = "a name is needed (1 to " + std::to_string(MAX_NAME_CHARACTERS) + " characters)";
        return std::nullopt;
    }
    if (last - first > MAX_NAME_CHARACTERS) {
        why = too_long();
        return std::nullopt;
    }
    for (size_t i = first; i < last; ++i)
        if (is_forbidden(chars[i].cp)) {
            why = "the name holds a control or invisible character";
            return std::nullopt;
        }
    const size_t from = chars[first].at;
    return raw.substr(from, chars[last - 1].at + chars[last - 1].len - from);
}

bool valid_secret(const std::string& secret) { return is_lower_hex(secret, 64); }

bool valid_run_id(const std::string& id) { return is_lower_hex(id, 64); }
