// The verifying child's side: the recording on standard input, the verdict
// as one JSON line on standard output; and reading that line back, as
// hostile as anything else from outside.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "server/verify/verify.h"

using json = nlohmann::json;

namespace {

// Far more than any verdict holds: a reason, a few thousand scores.
constexpr size_t MAX_VERDICT_BYTES = size_t(256) << 10;
constexpr size_t MAX_SCORES = 10000;
constexpr size_t MAX_REASON = 300;
constexpr size_t MAX_DETAIL = 2000;
constexpr size_t MAX_NAME = 32;
// Broken UTF-8 in a reason is written as replacement characters, up to
// three bytes for one: what is read back may be that much longer.
constexpr size_t MAX_READ_GROWTH = 3;

// The verdict is an object holding one array: anything nested deeper is
// refused before the parser sees it.
bool shallow(const std::string& text, int most)
{
    int depth = 0;
    bool in_string = false;
    bool escaped = false;
    for (char c : text) {
        if (in_string) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > most)
                return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

// A string member within most bytes, control characters shown as '?';
// false when it is there and not a string or too long.
bool text_member(const json& j, const char* name, size_t most, std::string& out)
{
    const auto it = j.find(name);
    if (it == j.end())
        return true;
    if (!it->is_string() || it->get_ref<const std::string&>().size() > most)
        return false;
    out.clear();
    for (char c : it->get_ref<const std::string&>()) {
        const unsigned char u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7f ? '?' : c;
    }
    return true;
}

bool int_value(const json& j, long long lo, long long hi, int& out)
{
    if (!j.is_number_integer())
        return false;
    long long v = 0;
    if (j.is_number_unsigned()) {
        const auto u = j.get<unsigned long long>();
        if (u > static_cast<unsigned long long>(LLONG_MAX))
            return false;
        v = static_cast<long long>(u);
    } else {
        v = j.get<long long>();
    }
    if (v < lo || v > hi)
        return false;
    out = static_cast<int>(v);
    return true;
}

bool name_text(const std::string& s)
{
    for (char c : s)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
              c == '_'))
            return false;
    return true;
}

bool write_all(int fd, const std::string& s)
{
    size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string verdict_json(const run_verdict& v)
{
    json j;
    j["verified"] = v.verified;
    if (!v.reason.empty())
        j["reason"] = v.reason.substr(0, MAX_REASON);
    j["scores"] = v.scores;
    j["frames"] = v.frames;
    j["version"] = v.version.substr(0, MAX_NAME);
    j["system"] = v.system.substr(0, MAX_NAME);
    if (v.worker_fault)
        j["worker_fault"] = true;
    if (!v.detail.empty())
        j["detail"] = v.detail.substr(0, MAX_DETAIL);
    // Text cut or taken from a recording may hold broken UTF-8: replaced, never thrown on.
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

run_verdict verdict_from_json(const std::string& line)
{
    run_verdict bad;
    bad.reason = "the verifier gave no usable answer";
    if (line.size() > MAX_VERDICT_BYTES) {
        bad.detail = "the answer is " + std::to_string(line.size()) + " bytes long";
        return bad;
    }
    if (!shallow(line, 2))
        return bad;
    const json j = json::parse(line, nullptr, false);
    if (j.is_discarded() || !j.is_object())
        return bad;
    run_verdict v;
    const auto verified = j.find("verified");
    const auto scores = j.find("scores");
    if (verified == j.end() || !verified->is_boolean() || scores == j.end() || !scores->is_array() ||
        scores->size() > MAX_SCORES)
        return bad;
    v.verified = verified->get<bool>();
    for (const auto& s : *scores) {
        int score = 0;
        if (!int_value(s, INT_MIN, INT_MAX, score))
            return bad;
        v.scores.push_back(score);
    }
    const auto frames = j.find("frames");
    if (frames != j.end() && !int_value(*frames, 0, MAX_SCRIPT_FRAMES, v.frames))
        return bad;
    if (!text_member(j, "reason", MAX_REASON * MAX_READ_GROWTH, v.reason) ||
        !text_member(j, "detail", MAX_DETAIL * MAX_READ_GROWTH, v.detail) ||
        !text_member(j, "version", MAX_NAME, v.version) || !text_member(j, "system", MAX_NAME, v.system) ||
        !name_text(v.version) || !name_text(v.system))
        return bad;
    const auto fault = j.find("worker_fault");
    if (fault != j.end()) {
        if (!fault->is_boolean())
            return bad;
        v.worker_fault = fault->get<bool>();
    }
    if (v.verified) {
        if (v.worker_fault)
            return bad;
        v.reason.clear();
    } else {
        v.scores.clear();
        if (v.reason.empty())
            v.reason = "the verifier gave no reason";
    }
    return v;
}

int verify_one_main(const std::string& data_dir, const verify_limits& limits)
{
    // The verdict is the only thing on standard output: whatever else the
    // game prints goes to standard error.
    int out = ::dup(1);
    if (out < 0 || ::dup2(2, 1) < 0) {
        if (out >= 0)
            ::close(out);
        out = 1;
    }
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    run_verdict v;
    std::string text;
    bool too_large = false;
    bool failed = false;
    char piece[1 << 16];
    for (;;) {
        const ssize_t n = ::read(0, piece, sizeof piece);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            failed = true;
            break;
        }
        if (n == 0)
            break;
        if (text.size() + static_cast<size_t>(n) > MAX_SCRIPT_BYTES) {
            too_large = true;
            break;
        }
        text.append(piece, static_cast<size_t>(n));
    }
    if (failed) {
        v.reason = "the server could not replay it";
        v.worker_fault = true;
        v.detail = std::string("cannot read the recording: ") + std::strerror(errno);
    } else if (too_large) {
        v.reason = "this recording is larger than " + std::to_string(MAX_SCRIPT_BYTES >> 20) +
                   " MiB, more than any recorded run takes";
    } else {
        v = replay_recording(text, data_dir, limits);
    }
    const bool written = write_all(out, verdict_json(v) + "\n");
    if (out != 1)
        ::close(out);
    return written ? 0 : 1;
}
