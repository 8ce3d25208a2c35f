#include "app/input_script.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#ifndef KV_VERSION
#define KV_VERSION "0"
#endif

namespace {

[[noreturn]] void bad(int line, const std::string& text)
{
    throw std::runtime_error("script line " + std::to_string(line) + ": " + text);
}

// FNV-1a over the bytes: cheap, and any changed, lost or added byte shows.
std::string check_of(const std::string& bytes)
{
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016" PRIx64, h);
    return buf;
}

[[noreturn]] void refuse(const std::string& why)
{
    throw std::runtime_error("this recording cannot be replayed: " + why);
}

// "# NAME VALUE" as an integer.
int header_int(std::istringstream& in, const char* name)
{
    std::string line;
    const std::string prefix = std::string("# ") + name + " ";
    if (!std::getline(in, line) || line.compare(0, prefix.size(), prefix) != 0)
        refuse(std::string("its header lacks the ") + name + " line");
    try {
        size_t used = 0;
        const std::string v = line.substr(prefix.size());
        const long long n = std::stoll(v, &used);
        if (used == v.size() && n >= INT32_MIN && n <= INT32_MAX)
            return static_cast<int>(n);
    } catch (const std::exception&) {
    }
    refuse(std::string("its ") + name + " line is damaged");
}

}  // namespace

const char* program_version() { return KV_VERSION; }

bool is_recording(const std::string& text) { return text.compare(0, std::string(RECORDING_MAGIC).size(), RECORDING_MAGIC) == 0; }

recording_info check_recording(const std::string& text)
{
    if (!is_recording(text))
        refuse("it is not a Kelvora 3D recording");
    // The check is the last line and covers every byte before it.
    const std::string check_tag = "# check ";
    size_t end = text.size();
    if (end > 0 && text[end - 1] == '\n')
        --end;
    const size_t start = text.rfind('\n', end == 0 ? 0 : end - 1);
    const size_t check_at = start == std::string::npos ? 0 : start + 1;
    if (text.compare(check_at, check_tag.size(), check_tag) != 0)
        refuse("it is incomplete (its last line is not the check)");
    if (text.substr(check_at + check_tag.size(), end - check_at - check_tag.size()) != check_of(text.substr(0, check_at)))
        refuse("it is damaged (its check does not match its contents)");

    recording_info info;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    if (!std::getline(in, line) || line.compare(0, 10, "# version ") != 0)
        refuse("its header lacks the version line");
    info.version = line.substr(10);
    if (info.version != KV_VERSION)
        refuse("it was made by version " + info.version + " of the game and this is version " + KV_VERSION +
               "; a recording replays only in the version that made it");
    info.clock_ms = header_int(in, "clock");
    info.best_score = header_int(in, "best_score");
    info.mode3d = header_int(in, "mode3d");
    bool have_frames = false;
    while (std::getline(in, line)) {
        if (line.compare(0, 9, "# frames ") == 0) {
            std::istringstream f(line.substr(9));
            have_frames = static_cast<bool>(f >> info.frames);
        } else if (line.compare(0, 8, "# final ") == 0) {
            std::istringstream f(line.substr(8));
            std::string pair;
            while (f >> pair) {
                const size_t eq = pair.find('=');
                if (eq != std::string::npos)
                    info.final_state[pair.substr(0, eq)] = std::strtod(pair.c_str() + eq + 1, nullptr);
            }
        }
    }
    if (!have_frames)
        refuse("its footer lacks the frame count");
    return info;
}

std::string make_recording(const recording_info& info, const std::vector<std::string>& event_lines)
{
    std::string text = std::string(RECORDING_MAGIC) + "\n";
    text += "# version " + info.version + "\n";
    text += "# clock " + std::to_string(info.clock_ms) + "\n";
    text += "# best_score " + std::to_string(info.best_score) + "\n";
    text += "# mode3d " + std::to_string(info.mode3d) + "\n";
    for (const auto& l : event_lines)
        text += l + "\n";
    text += "# frames " + std::to_string(info.frames) + "\n";
    if (!info.final_state.empty()) {
        text += "# final";
        for (const auto& [name, value] : info.final_state) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.9g", value);
            text += " " + name + "=" + buf;
        }
        text += "\n";
    }
    return text + "# check " + check_of(text) + "\n";
}

std::vector<replay_event> parse_replay_script(const std::string& text)
{
    if (is_recording(text))
        check_recording(text);
    std::vector<replay_event> events;
    std::istringstream in(text);
    std::string raw;
    int line = 0;
    while (std::getline(in, raw)) {
        ++line;
        std::istringstream ls(raw);
        std::string first;
        if (!(ls >> first) || first[0] == '#')
            continue;
        replay_event e;
        e.line = line;
        try {
            size_t used = 0;
            e.frame = std::stoi(first, &used);
            if (used != first.size() || e.frame < 1)
                throw std::invalid_argument("frame");
        } catch (const std::exception&) {
            bad(line, "expected a frame number of 1 or more, got \"" + first + "\"");
        }
        std::string word, sub;
        if (!(ls >> word))
            bad(line, "missing event");
        bool ok = true;
        if (word == "key") {
            ok = static_cast<bool>(ls >> sub >> e.a) && (sub == "down" || sub == "up") && e.a >= 0 && e.a <= 255;
            e.what = "key " + sub;
        } else if (word == "char") {
            ok = static_cast<bool>(ls >> e.a);
            e.what = "char";
        } else if (word == "mouse") {
            ls >> sub;
            if (sub == "move")
                ok = static_cast<bool>(ls >> e.a >> e.b);
            else if (sub == "down" || sub == "up")
                ok = static_cast<bool>(ls >> e.a) && e.a >= 1 && e.a <= 3;
            else
                ok = false;
            e.what = "mouse " + sub;
        } else if (word == "wheel") {
            ok = static_cast<bool>(ls >> e.a);
            e.what = "wheel";
        } else if (word == "joy") {
            ls >> sub;
            if (sub == "axis") {
                ok = static_cast<bool>(ls >> e.a >> e.value) && e.a >= 0 && e.a <= 1 && e.value >= -1.0 &&
                     e.value <= 1.0;
            } else if (sub == "button") {
                std::string dir;
                ok = static_cast<bool>(ls >> e.a >> dir) && e.a >= 0 && e.a < 32 && (dir == "down" || dir == "up");
                e.b = dir == "down" ? 1 : 0;
            } else if (sub == "plug" || sub == "unplug") {
                ok = true;
            } else {
                ok = false;
            }
            e.what = "joy " + sub;
        } else if (word == "close" || word == "suspend" || word == "resume") {
            e.what = word;
        } else {
            ok = false;
        }
        std::string extra;
        if (!ok || (ls >> extra))
            bad(line, "cannot read \"" + raw + "\"");
        events.push_back(e);
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const replay_event& x, const replay_event& y) { return x.frame < y.frame; });
    return events;
}
