#include "tools/replay/replay_script.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace {

[[noreturn]] void bad(int line, const std::string& text)
{
    throw std::runtime_error("script line " + std::to_string(line) + ": " + text);
}

}  // namespace

std::vector<replay_event> parse_replay_script(const std::string& text)
{
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
