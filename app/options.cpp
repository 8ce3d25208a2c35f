#include "app/options.h"

#include <climits>
#include <cstdlib>
#include <functional>

#include "app/online_scores.h"
#include "app/saves_folder.h"
#include "kelvora/io/filesystem.h"

#ifndef KV_VERSION
#define KV_VERSION "0"
#endif

using namespace kelvora;

game_options launch_options;

namespace {

enum class takes { nothing, optional_value, value };

struct option_row {
    const char* name;
    takes arg;
    const char* arg_name;
    const char* help;
    // False for a bad value, maybe saying why.
    std::function<bool(game_options&, const std::string* value, std::string& why)> set;
};

bool whole_scale(const std::string& text, int& scale)
{
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    scale = std::atoi(text.c_str());
    return scale >= 1 && scale <= 16;
}

const std::vector<option_row>& option_table()
{
    static const std::vector<option_row> rows = {
        {"window", takes::optional_value, "SCALE",
         "play in a window of SCALE x 640x480 (1 to 16, at most what fits\n"
         "                      the desktop; default: the largest that fits)",
         [](game_options& o, const std::string* v, std::string&) {
             o.window = true;
             o.window_scale = 0;
             return !v || whole_scale(*v, o.window_scale);
         }},
        {"fullscreen", takes::nothing, nullptr, "play in full screen (the default)",
         [](game_options& o, const std::string*, std::string&) {
             o.window = false;
             return true;
         }},
        {"mute", takes::nothing, nullptr, "start with sound and music at Off (the saved values stay)",
         [](game_options& o, const std::string*, std::string&) {
             o.mute = true;
             return true;
         }},
        {"record", takes::value, "FILE", "write what the player does to FILE, to be replayed",
         [](game_options& o, const std::string* v, std::string&) {
             o.record = *v;
             return !v->empty();
         }},
        {"replay", takes::value, "FILE", "play back a recording made with --record",
         [](game_options& o, const std::string* v, std::string&) {
             o.replay = *v;
             return !v->empty();
         }},
        {"renderer", takes::value, "NAME", "draw with this OpenGL driver first: legacy, core or es",
         [](game_options& o, const std::string* v, std::string&) {
             o.renderer = *v;
             return *v == "legacy" || *v == "core" || *v == "es";
         }},
        {"scores", takes::value, "URL",
         "send each game's run to the score table at URL, which plays it\n"
         "                      again before it counts (kept for later runs; 'off' forgets)",
         [](game_options& o, const std::string* v, std::string& why) {
             if (*v == "off") {
                 o.scores = *v;
                 return true;
             }
             return check_scores_address(*v, o.scores, why);
         }},
        {"name", takes::value, "NAME", "your name at the score table (1 to 20 characters; kept)",
         [](game_options& o, const std::string* v, std::string& why) { return check_player_name(*v, o.name, why); }},
        {"help", takes::nothing, nullptr, "show this help and exit",
         [](game_options& o, const std::string*, std::string&) {
             o.help = true;
             return true;
         }},
        {"version", takes::nothing, nullptr, "show the version and exit",
         [](game_options& o, const std::string*, std::string&) {
             o.version = true;
             return true;
         }},
    };
    return rows;
}

// A value as an error line shows it: control characters as '?', so the
// line stays one line whatever was given.
std::string shown_value(const std::string& value)
{
    std::string shown = value.substr(0, 200);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return shown;
}

// The row a (possibly abbreviated) name means; null with error set otherwise.
const option_row* find_option(const std::string& name, std::string& error)
{
    const option_row* found = nullptr;
    int matches = 0;
    for (const auto& row : option_table()) {
        const std::string full = row.name;
        if (full == name)
            return &row;
        if (!name.empty() && full.compare(0, name.size(), name) == 0) {
            found = &row;
            ++matches;
        }
    }
    if (matches == 1)
        return found;
    error = matches > 1 ? "option '--" + name + "' is ambiguous" : "unknown option '--" + name + "'";
    return nullptr;
}

}  // namespace

bool parse_game_options(const std::vector<std::string>& args, game_options& options, std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--")
            break;
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            error = arg.size() > 1 && arg[0] == '-' ? "unknown option '" + arg + "'" : "unexpected argument '" + arg + "'";
            return false;
        }
        const size_t eq = arg.find('=');
        const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const option_row* row = find_option(name, error);
        if (!row)
            return false;
        std::string value;
        const std::string* given = nullptr;
        if (eq != std::string::npos) {
            if (row->arg == takes::nothing) {
                error = "option '--" + std::string(row->name) + "' takes no value";
                return false;
            }
            value = arg.substr(eq + 1);
            given = &value;
        } else if (row->arg == takes::value) {
            if (i + 1 >= args.size()) {
                error = "option '--" + std::string(row->name) + "' needs a " + row->arg_name;
                return false;
            }
            value = args[++i];
            given = &value;
        }
        std::string why;
        if (!row->set(options, given, why)) {
            error = "bad value '" + shown_value(value) + "' for --" + row->name +
                    (row->arg_name ? std::string("=") + row->arg_name : "") + (why.empty() ? "" : ": " + why);
            return false;
        }
    }
    if (!options.record.empty() && !options.replay.empty()) {
        error = "--record and --replay cannot be used together";
        return false;
    }
    if (!options.replay.empty() && (!options.scores.empty() || !options.name.empty())) {
        error = "a replay is not sent to a score table: --scores and --name cannot go with --replay";
        return false;
    }
    return true;
}

std::string game_usage(const std::string& program)
{
    std::string text = "Usage: " + program + " [OPTION]...\n"
                       "Kelvora 3D: shoot the aliens before they reach the Earth, in anaglyph 3D if you like.\n\n";
    for (const auto& row : option_table()) {
        std::string left = "  --";
        left += row.name;
        if (row.arg == takes::optional_value)
            left.append("[=").append(row.arg_name).append("]");
        else if (row.arg == takes::value)
            left.append(" ").append(row.arg_name);
        left.resize(left.size() < 22 ? 22 : left.size() + 1, ' ');
        text += left + row.help + "\n";
    }
    text += "\nKeys: cursor keys steer, left Ctrl fires, Space or Escape pauses,\n"
            "Alt+Enter switches between window and full screen.\n"
            "The best score and the 3D mode are kept in " + SystemPathText("data/") + " beside the program when\n"
            "it is writable, else in " + std::string(user_saves_folder_name()) + ".\n";
    return text;
}

std::string game_version_text() { return std::string("kelvora3d ") + KV_VERSION + "\n"; }
