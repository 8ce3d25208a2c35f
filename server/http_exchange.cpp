#include "server/http_exchange.h"

#include <strings.h>

namespace {

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// %XX decoded (a malformed escape stays as it is), '+' as a space in queries.
std::string decode(const std::string& s, bool plus_is_space)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            const int hi = hex_value(s[i + 1]), lo = hex_value(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += plus_is_space && s[i] == '+' ? ' ' : s[i];
    }
    return out;
}

}  // namespace

std::string http_request::header(const std::string& name) const
{
    for (const auto& [key, value] : headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0)
            return value;
    return {};
}

bool parsed_target::param(const std::string& name, std::string& value) const
{
    for (const auto& [key, v] : params)
        if (key == name) {
            value = v;
            return true;
        }
    return false;
}

parsed_target parse_target(const std::string& target)
{
    parsed_target t;
    const size_t q = target.find('?');
    t.path = decode(target.substr(0, q), false);
    if (q == std::string::npos)
        return t;
    const std::string query = target.substr(q + 1);
    size_t from = 0;
    while (from <= query.size()) {
        size_t end = query.find('&', from);
        if (end == std::string::npos)
            end = query.size();
        const std::string pair = query.substr(from, end - from);
        if (!pair.empty()) {
            const size_t eq = pair.find('=');
            t.params.emplace_back(decode(pair.substr(0, eq), true),
                                  eq == std::string::npos ? std::string() : decode(pair.substr(eq + 1), true));
        }
        from = end + 1;
    }
    return t;
}
