#include "app/input_script.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "game/saved_values.h"
#include "kelvora/io/stream.h"
#include "runtime/utf8_path.h"

#ifndef KV_VERSION
#define KV_VERSION "0"
#endif

using namespace kelvora;

namespace {

// Characters a decoder of typed UTF-8 can give: 21 bits.
constexpr int MAX_CHAR_CODE = 0x1FFFFF;
// Names and values of a recording's final state, enough for the state dump.
constexpr size_t MAX_FINAL_VALUES = 256;
constexpr size_t MAX_FINAL_NAME = 64;

std::string shown(std::string_view s, size_t most = 60) { return shown_text(s, most); }

[[noreturn]] void bad(int line, const std::string& text)
{
    throw std::runtime_error("script line " + std::to_string(line) + ": " + text);
}

// FNV-1a over the bytes: cheap, and any changed, lost or added byte shows.
std::string check_of(std::string_view bytes)
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

[[noreturn]] void too_large(const std::string& what)
{
    throw std::runtime_error(what + " is larger than " + std::to_string(MAX_SCRIPT_BYTES >> 20) +
                             " MiB, more than any recorded run takes");
}

// The lines of a text as std::getline gives them, without copies.
class line_reader {
public:
    explicit line_reader(std::string_view text) : text_(text) {}
    bool next(std::string_view& line)
    {
        if (at_ >= text_.size())
            return false;
        size_t end = text_.find('\n', at_);
        if (end == std::string_view::npos)
            end = text_.size();
        line = text_.substr(at_, end - at_);
        at_ = end + 1;
        return true;
    }

private:
    std::string_view text_;
    size_t at_ = 0;
};

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Whitespace-separated words of a line, as a stream's >> splits them.
class words {
public:
    explicit words(std::string_view line) : rest_(line) {}
    bool next(std::string_view& word)
    {
        size_t i = 0;
        while (i < rest_.size() && is_space(rest_[i]))
            ++i;
        size_t j = i;
        while (j < rest_.size() && !is_space(rest_[j]))
            ++j;
        word = rest_.substr(i, j - i);
        rest_.remove_prefix(j);
        return !word.empty();
    }

private:
    std::string_view rest_;
};

enum class number { ok, not_a_number, out_of_range };

// A whole word as an integer within lo..hi; a leading "+" is allowed.
number to_int(std::string_view t, long long lo, long long hi, int& out)
{
    if (!t.empty() && t[0] == '+') {
        t.remove_prefix(1);
        if (!t.empty() && t[0] == '-')
            return number::not_a_number;
    }
    long long v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec == std::errc::result_out_of_range && end == t.data() + t.size())
        return number::out_of_range;
    if (ec != std::errc() || end != t.data() + t.size())
        return number::not_a_number;
    if (v < lo || v > hi)
        return number::out_of_range;
    out = static_cast<int>(v);
    return number::ok;
}

// A whole word as a real number (strtod's forms; no locale here sets another).
bool to_double(std::string_view t, double& out)
{
    char buf[72];
    if (t.empty() || t.size() >= sizeof buf)
        return false;
    std::memcpy(buf, t.data(), t.size());
    buf[t.size()] = 0;
    char* end = nullptr;
    out = std::strtod(buf, &end);
    return end == buf + t.size();
}

// One event line's words, with what was wrong for the message.
struct event_words {
    words w;
    std::string why;

    bool word(std::string_view& t) { return w.next(t); }
    bool integer(const char* name, long long lo, long long hi, int& out)
    {
        std::string_view t;
        if (!w.next(t)) {
            why = std::string("the ") + name + " is missing";
            return false;
        }
        switch (to_int(t, lo, hi, out)) {
        case number::ok: return true;
        case number::not_a_number: why = std::string("the ") + name + " is not a whole number"; return false;
        case number::out_of_range:
            why = std::string("the ") + name + " must be from " + std::to_string(lo) + " to " + std::to_string(hi);
            return false;
        }
        return false;
    }
};

// "# NAME VALUE" as an integer within lo..hi.
int header_int(line_reader& in, const char* name, long long lo, long long hi)
{
    std::string_view line;
    const std::string prefix = std::string("# ") + name + " ";
    if (!in.next(line) || line.substr(0, prefix.size()) != prefix)
        refuse(std::string("its header lacks the ") + name + " line");
    int n = 0;
    if (to_int(line.substr(prefix.size()), lo, hi, n) != number::ok)
        refuse(std::string("its ") + name + " line is damaged (a whole number from " + std::to_string(lo) + " to " +
               std::to_string(hi) + " is expected)");
    return n;
}

bool name_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// "a=1 b=2.5": the final state; compared as floats, so a value past a
// float's range cannot be one the run ended with.
void read_final(std::string_view line, std::map<std::string, double>& state)
{
    words w(line);
    std::string_view pair;
    while (w.next(pair)) {
        const size_t eq = pair.find('=');
        const std::string_view name = pair.substr(0, eq == std::string_view::npos ? 0 : eq);
        double v = 0;
        if (name.empty() || name.size() > MAX_FINAL_NAME || !std::all_of(name.begin(), name.end(), name_char) ||
            !to_double(pair.substr(eq + 1), v) || (std::isfinite(v) && std::fabs(v) > 3.5e38))
            refuse("its final state is damaged at \"" + shown(pair) + "\"");
        state[std::string(name)] = v;
        if (state.size() > MAX_FINAL_VALUES)
            refuse("its final state names more than " + std::to_string(MAX_FINAL_VALUES) + " values");
    }
}

}  // namespace

const char* program_version() { return KV_VERSION; }

std::string shown_text(std::string_view s, size_t most)
{
    std::string out;
    for (char c : s.substr(0, most)) {
        const unsigned char u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7f ? '?' : c;
    }
    if (s.size() > most)
        out += "...";
    return out;
}

const char* program_system()
{
#if defined(_WIN32)
    return "Windows";
#elif defined(__EMSCRIPTEN__)
    return "Web";
#elif defined(__linux__)
    return "Linux";
#else
    return "other";
#endif
}

bool is_recording(const std::string& text) { return text.compare(0, std::string(RECORDING_MAGIC).size(), RECORDING_MAGIC) == 0; }

recording_info check_recording(const std::string& whole)
{
    if (whole.size() > MAX_SCRIPT_BYTES)
        too_large("the recording");
    if (!is_recording(whole))
        refuse("it is not a Kelvora 3D recording");
    const std::string_view text(whole);
    // The check is the last line and covers every byte before it.
    const std::string_view check_tag = "# check ";
    size_t end = text.size();
    if (end > 0 && text[end - 1] == '\n')
        --end;
    const size_t start = text.rfind('\n', end == 0 ? 0 : end - 1);
    const size_t check_at = start == std::string_view::npos ? 0 : start + 1;
    if (text.substr(check_at, check_tag.size()) != check_tag)
        refuse("it is incomplete (its last line is not the check)");
    if (text.substr(check_at + check_tag.size(), end - check_at - check_tag.size()) != check_of(text.substr(0, check_at)))
        refuse("it is damaged (its check does not match its contents)");

    recording_info info;
    line_reader in(text.substr(0, check_at));
    std::string_view line;
    in.next(line);
    if (!in.next(line) || line.substr(0, 10) != "# version ")
        refuse("its header lacks the version line");
    if (line.substr(10) != KV_VERSION)
        refuse("it was made by version " + shown(line.substr(10), 24) + " of the game and this is version " +
               KV_VERSION + "; a recording replays only in the version that made it");
    info.version = std::string(line.substr(10));
    info.clock_ms = header_int(in, "clock", INT_MIN, INT_MAX);
    info.best_score = header_int(in, "best_score", 0, MAX_GAME_SCORE);
    info.mode3d = header_int(in, "mode3d", 0, 4);
    bool have_frames = false;
    while (in.next(line)) {
        if (line.substr(0, 9) == "# frames ") {
            if (to_int(line.substr(9), 0, MAX_SCRIPT_FRAMES, info.frames) != number::ok)
                refuse("its frame count is damaged (a whole number from 0 to " + std::to_string(MAX_SCRIPT_FRAMES) +
                       ", 24 hours of play, is expected)");
            have_frames = true;
        } else if (line.substr(0, 9) == "# system " && info.system.empty()) {
            // Informative only: said on score tables, never trusted for more.
            const std::string_view name = line.substr(9, 16);
            if (std::all_of(name.begin(), name.end(), name_char))
                info.system = std::string(name);
        } else if (line.substr(0, 8) == "# final ") {
            read_final(line.substr(8), info.final_state);
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
    if (!info.system.empty())
        text += "# system " + info.system + "\n";
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
    if (text.size() > MAX_SCRIPT_BYTES)
        too_large("the script");
    if (is_recording(text))
        check_recording(text);
    std::vector<replay_event> events;
    // As many as the text can hold ("1 close" and its newline is the
    // shortest event): reserved, not touched, so the pages of the unused
    // rest cost nothing, and growing never copies millions of events.
    events.reserve((text.size() + 1) / 8);
    line_reader in(text);
    std::string_view raw;
    int line = 0;
    long long wheel_notches = 0;
    int plugs = 0;
    while (in.next(raw)) {
        ++line;
        event_words ls{words(raw), {}};
        std::string_view first;
        if (!ls.word(first) || first[0] == '#')
            continue;
        replay_event e;
        e.line = line;
        if (to_int(first, 1, MAX_SCRIPT_FRAMES, e.frame) != number::ok)
            bad(line, "expected a frame number from 1 to " + std::to_string(MAX_SCRIPT_FRAMES) +
                          " (24 hours of play), got \"" + shown(first) + "\"");
        std::string_view word, sub;
        if (!ls.word(word))
            bad(line, "missing event");
        bool ok = true;
        if (word == "key") {
            ok = ls.word(sub) && (sub == "down" || sub == "up") && ls.integer("key code", 0, 255, e.a);
            e.what = sub == "down" ? "key down" : "key up";
        } else if (word == "char") {
            ok = ls.integer("character", 0, MAX_CHAR_CODE, e.a);
            e.what = "char";
        } else if (word == "mouse") {
            ls.word(sub);
            if (sub == "move") {
                ok = ls.integer("x", -MAX_SCRIPT_POINTER, MAX_SCRIPT_POINTER, e.a) &&
                     ls.integer("y", -MAX_SCRIPT_POINTER, MAX_SCRIPT_POINTER, e.b);
                e.what = "mouse move";
            } else if (sub == "down" || sub == "up") {
                ok = ls.integer("button", 1, 3, e.a);
                e.what = sub == "down" ? "mouse down" : "mouse up";
            } else {
                ok = false;
            }
        } else if (word == "wheel") {
            ok = ls.integer("wheel step count", -MAX_WHEEL_STEPS, MAX_WHEEL_STEPS, e.a);
            e.what = "wheel";
            wheel_notches += e.a < 0 ? -static_cast<long long>(e.a) : e.a;
            if (wheel_notches > INT_MAX)
                bad(line, "the wheel turns more than " + std::to_string(INT_MAX) + " notches in all");
        } else if (word == "joy") {
            ls.word(sub);
            if (sub == "axis") {
                std::string_view v;
                ok = ls.integer("axis", 0, 1, e.a) && ls.word(v) && to_double(v, e.value) && e.value >= -1.0 &&
                     e.value <= 1.0;
                if (!ok && ls.why.empty())
                    ls.why = "the position must be from -1 to 1";
                e.what = "joy axis";
            } else if (sub == "button") {
                std::string_view dir;
                ok = ls.integer("button", 0, 31, e.a) && ls.word(dir) && (dir == "down" || dir == "up");
                e.b = dir == "down" ? 1 : 0;
                e.what = "joy button";
            } else if (sub == "plug") {
                if (++plugs > MAX_PADS_PLUGGED)
                    bad(line, "more than " + std::to_string(MAX_PADS_PLUGGED) + " pads are plugged in");
                e.what = "joy plug";
            } else if (sub == "unplug") {
                e.what = "joy unplug";
            } else {
                ok = false;
            }
        } else if (word == "close") {
            e.what = "close";
        } else if (word == "suspend") {
            e.what = "suspend";
        } else if (word == "resume") {
            e.what = "resume";
        } else {
            ok = false;
        }
        std::string_view extra;
        if (!ok || ls.word(extra))
            bad(line, "cannot read \"" + shown(raw) + "\"" + (ls.why.empty() ? "" : ": " + ls.why));
        events.push_back(e);
    }
    // A recording is in order already; a hand-written script may not be.
    const auto by_frame = [](const replay_event& x, const replay_event& y) { return x.frame < y.frame; };
    if (!std::is_sorted(events.begin(), events.end(), by_frame))
        std::stable_sort(events.begin(), events.end(), by_frame);
    return events;
}

std::string read_script_file(const std::string& path, const char* kind)
{
    errno = 0;
    TStreamPtr in = ReadStream(TUrl(path));
    if (!in) {
        const int err = errno;
        // Said by what the path is; nothing here opens it, so nothing waits.
        std::error_code ec;
        const auto type = std::filesystem::status(Utf8Path(path), ec).type();
        std::string why;
        switch (type) {
        case std::filesystem::file_type::not_found: why = ": there is no such file"; break;
        case std::filesystem::file_type::directory: why = " is a folder, not a "; break;
        case std::filesystem::file_type::fifo: why = " is a named pipe, not a "; break;
        case std::filesystem::file_type::socket: why = " is a socket, not a "; break;
        default:
            why = std::string(": cannot read it") + (err ? std::string(": ") + std::strerror(err) : std::string());
            break;
        }
        if (why.back() == ' ')
            why += kind;
        throw std::runtime_error(path + why);
    }
    // In pieces, and never past the limit: the stream's size is not trusted
    // (a device has none) and a huge file is refused without being read.
    std::string text;
    std::vector<char> piece(size_t(1) << 16);
    try {
        for (;;) {
            const auto n = in->Read(piece.data(), static_cast<int>(piece.size()));
            if (n <= 0)
                break;
            if (text.size() + static_cast<size_t>(n) > MAX_SCRIPT_BYTES)
                too_large(path);
            text.append(piece.data(), static_cast<size_t>(n));
        }
    } catch (const TStreamException&) {
        CloseStream(in);
        throw std::runtime_error(path + ": cannot read it");
    } catch (...) {
        CloseStream(in);
        throw;
    }
    CloseStream(in);
    return text;
}
