#include "app/online_scores.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/input_script.h"
#include "app/player_name.h"
#include "app/platform.h"
#include "app/sha256.h"
#include "io/native_file.h"
#include "kelvora/io/filesystem.h"
#include "runtime/utf8_path.h"

using namespace kelvora;
namespace fs = std::filesystem;

namespace {

bool is_hex_digest(const std::string& text)
{
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool starts_ignoring_case(const std::string& text, const std::string& start)
{
    if (text.size() < start.size())
        return false;
    for (size_t i = 0; i < start.size(); ++i)
        if (lower(text[i]) != start[i])
            return false;
    return true;
}

// At most `limit` bytes of a file that is there and is a file (never a
// pipe or a device: nothing here waits for a writer); false otherwise, or
// when the file is longer and `whole` was asked. Everything in the saves
// folder may have been changed by anyone: it is read as a stranger's.
// Through the plain file calls, which the sender's thread may use beside
// the game's.
bool read_file(const std::string& path, size_t limit, std::string& text, bool whole = false)
{
    if (NativeFileType(path) != FILETYPE_FILE)
        return false;
    std::FILE* in = NativeOpenFile(path, 1, 0);
    if (!in)
        return false;
    text.clear();
    char piece[65536];
    size_t n = 0;
    bool longer = false;
    while ((n = std::fread(piece, 1, sizeof piece, in)) > 0) {
        const size_t room = limit - text.size();
        text.append(piece, n < room ? n : room);
        if (n > room) {
            longer = true;
            break;
        }
    }
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    return !failed && !(whole && longer);
}

// One line of a setting's file, without its line end.
std::string first_line(std::string text)
{
    const size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos)
        text.resize(end);
    return text;
}

bool write_setting(const std::string& folder, const char* file, const std::string& value)
{
    std::string error;
    const std::string text = value + "\n";
    if (CreateFolders(folder, &error) &&
        ReplaceFileContents(folder + "/" + file, text.data(), static_cast<int>(text.size()), &error))
        return true;
    std::fprintf(stderr, "kelvora3d: could not keep %s: %s\n", SystemPathText(folder + "/" + file).c_str(),
                 error.c_str());
    return false;
}

// A remembered setting that passes its check, else empty (a damaged file
// is said once and left for the player to see).
std::string remembered(const std::string& folder, const char* file,
                       bool (*check)(const std::string&, std::string&, std::string&))
{
    std::string text, value, why;
    if (folder.empty() || !read_file(folder + "/" + file, 4096, text))
        return {};
    if (check(first_line(text), value, why))
        return value;
    std::fprintf(stderr, "kelvora3d: %s is not used: %s\n", SystemPathText(folder + "/" + file).c_str(), why.c_str());
    return {};
}

// A value from a table's JSON answer, "name":"value", as plain printable
// text of at most 200 bytes; empty when there is none. The answer is a
// stranger's: nothing of it reaches the terminal unfiltered.
std::string json_text(const std::string& json, const std::string& name)
{
    const std::string key = "\"" + name + "\"";
    size_t at = json.find(key);
    if (at == std::string::npos)
        return {};
    at = json.find_first_not_of(" \t\r\n", at + key.size());
    if (at == std::string::npos || json[at] != ':')
        return {};
    at = json.find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string::npos || json[at] != '"')
        return {};
    std::string value;
    for (size_t i = at + 1; i < json.size() && json[i] != '"' && value.size() < 200; ++i) {
        char c = json[i];
        if (c == '\\' && i + 1 < json.size()) {
            c = json[++i];
            if (c == 'u') {  // an escaped character: shown as a stand-in
                i += 4;
                c = '?';
            } else if (c != '"' && c != '\\' && c != '/') {
                c = ' ';
            }
        }
        const auto u = static_cast<unsigned char>(c);
        // UTF-8 passes, controls do not: neither C0 nor C1 (U+0080-U+009F).
        if (u == 0xc2 && i + 1 < json.size() && static_cast<unsigned char>(json[i + 1]) < 0xa0) {
            ++i;
            c = ' ';
        }
        value += u < 0x20 || u == 0x7f ? ' ' : c;
    }
    return value;
}

// The final score a recording's footer names ("# final ... final_score=N").
std::string final_score_of(const std::string& run)
{
    const size_t line = run.rfind("\n# final ");
    if (line == std::string::npos)
        return {};
    const size_t end = run.find('\n', line + 1);
    const size_t at = run.find(" final_score=", line);
    if (at == std::string::npos || at > end)
        return {};
    const size_t start = at + 13;
    size_t stop = start;
    while (stop < end && stop - start < 12 && (std::isdigit(static_cast<unsigned char>(run[stop])) || run[stop] == '-'))
        ++stop;
    return run.substr(start, stop - start);
}

void say_on_stderr(const std::string& line)
{
    std::fprintf(stderr, "kelvora3d: %s\n", line.c_str());
    std::fflush(stderr);
}

}  // namespace

bool check_scores_address(const std::string& text, std::string& address, std::string& why)
{
    std::string scheme;
    if (starts_ignoring_case(text, "https://"))
        scheme = "https://";
    else if (starts_ignoring_case(text, "http://"))
        scheme = "http://";
    else {
        why = "a score table's address starts with http:// or https://";
        return false;
    }
    std::string rest = text.substr(scheme.size());
    if (text.size() > 1000) {
        why = "the address is too long";
        return false;
    }
    for (const char c : rest) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f) {
            why = "the address may hold no spaces, control characters or letters outside ASCII";
            return false;
        }
        if (std::string_view("\"<>\\^`{|}").find(c) != std::string_view::npos) {
            why = std::string("an address holds no '") + c + "'";
            return false;
        }
        if (c == '?' || c == '#') {
            why = "the address is the table's own, without a query or a fragment";
            return false;
        }
    }
    while (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    const std::string authority = rest.substr(0, rest.find('/'));
    if (authority.find('@') != std::string::npos) {
        why = "the address may not carry a user name or password";
        return false;
    }
    // host, host:port, [v6], [v6]:port
    const size_t close = authority[0] == '[' ? authority.find(']') : 0;
    const size_t colon = close == std::string::npos ? close : authority.find(':', close);
    const std::string host = authority.substr(0, colon);
    if (close == std::string::npos || (close > 0 && close + 1 < authority.size() && colon != close + 1)) {
        why = "the address has a broken [IPv6] host";
        return false;
    }
    if (host.empty() || host == "[]") {
        why = "the address names no host";
        return false;
    }
    const std::string port = colon == std::string::npos ? "1" : authority.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(port) < 1 || std::stoi(port) > 65535) {
        why = "the port is not a number from 1 to 65535";
        return false;
    }
    address = scheme + rest;
    return true;
}

bool check_player_name(const std::string& text, std::string& name, std::string& why)
{
    const auto valid = valid_player_name(text, why);
    if (valid)
        name = *valid;
    return valid.has_value();
}

std::string url_encoded(const std::string& text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += digits[u >> 4];
            out += digits[u & 15];
        }
    }
    return out;
}

bool settle_score_settings(const std::string& folder, const std::string& given_server, const std::string& given_name,
                           score_settings& settings, std::string& error)
{
    settings = {};
    settings.folder = folder;
    const bool off = given_server == "off";
    const std::string kept_server = remembered(folder, SCORES_SERVER_FILE, check_scores_address);
    const std::string server = off ? std::string() : !given_server.empty() ? given_server : kept_server;
    // Settled before anything is written: a refused command line changes nothing.
    if (server.empty() && !given_name.empty()) {
        error = "--name is the name at a score table: give its address with --scores URL";
        return false;
    }
    if (server.empty()) {
        if (off && !folder.empty() && FileType(folder + "/" + SCORES_SERVER_FILE) != FILETYPE_NONE) {
            std::error_code ec;
            fs::remove(Utf8Path(folder + "/" + SCORES_SERVER_FILE), ec);
            if (ec)
                std::fprintf(stderr, "kelvora3d: could not forget the score table (%s): %s\n",
                             SystemPathText(folder + "/" + SCORES_SERVER_FILE).c_str(), ec.message().c_str());
        }
        return true;
    }
    const std::string name = !given_name.empty() ? given_name : remembered(folder, SCORES_NAME_FILE, check_player_name);
    if (name.empty()) {
        error = "a score table needs the name to show your scores under: give it with --name NAME";
        return false;
    }
    if (folder.empty()) {
        std::fprintf(stderr, "kelvora3d: no runs are sent to the score table: there is no folder to keep them in\n");
        return true;
    }
    if (server != kept_server)
        write_setting(folder, SCORES_SERVER_FILE, server);
    if (!given_name.empty())
        write_setting(folder, SCORES_NAME_FILE, given_name);
    settings.server = server;
    settings.name = name;
    return true;
}

std::string install_secret(const std::string& folder, std::string& error)
{
    const std::string path = folder + "/" + SCORES_SECRET_FILE;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string text;
        if (read_file(path, 256, text)) {
            const std::string secret = first_line(text);
            if (is_hex_digest(secret))
                return secret;
            // Damaged: a secret that cannot be read claims no name; a new
            // one starts afresh (the old bytes stay beside it).
            std::error_code ec;
            fs::rename(Utf8Path(path), Utf8Path(path + ".damaged"), ec);
            std::fprintf(stderr, "kelvora3d: %s was damaged; a new secret is made (kept beside as %s)\n",
                         SystemPathText(path).c_str(), SystemPathText(path + ".damaged").c_str());
        } else if (FileType(path) != FILETYPE_NONE) {
            error = SystemPathText(path) + " cannot be read";
            return {};
        }
        unsigned char bytes[32];
        if (!system_random_bytes(bytes, sizeof bytes)) {
            error = "the system gave no random bytes";
            return {};
        }
        static const char digits[] = "0123456789abcdef";
        std::string secret;
        for (const unsigned char b : bytes) {
            secret += digits[b >> 4];
            secret += digits[b & 15];
        }
        if (!CreateFolders(folder, &error))
            return {};
        const int made = create_private_file(path, secret + "\n", error);
        if (made == 1)
            return secret;
        if (made < 0)
            return {};
        // Another copy of the game made one first: its secret is the one.
    }
    error = SystemPathText(path) + " cannot be read";
    return {};
}

run_outbox::run_outbox(const std::string& saves_folder) : folder_(saves_folder + "/" + SCORES_OUTBOX) {}

std::string run_outbox::add(const std::string& run, std::string& error) const
{
    // Named by its content: a file of the name holds this run already.
    const std::string path = folder_ + "/" + sha256_hex(run) + ".kvrec";
    if (!CreateFolders(folder_, &error) || create_private_file(path, run, error) < 0)
        return {};
    return path;
}

std::vector<std::string> run_outbox::pending() const
{
    std::vector<std::pair<fs::file_time_type, std::string>> found;
    std::error_code ec;
    for (fs::directory_iterator it(Utf8Path(folder_), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = PathUtf8(it->path().filename());
        std::error_code e2;
        if (name.size() != 70 || name.compare(64, 6, ".kvrec") != 0 || !is_hex_digest(name.substr(0, 64)) ||
            !it->is_regular_file(e2))
            continue;
        found.emplace_back(it->last_write_time(e2), folder_ + "/" + name);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> files;
    for (auto& f : found)
        files.push_back(std::move(f.second));
    return files;
}

void run_outbox::sent(const std::string& file) const
{
    std::error_code ec;
    fs::remove(Utf8Path(file), ec);  // another copy of the game may have sent it first
}

std::string run_outbox::refuse(const std::string& file) const
{
    const std::string to = folder_ + "/refused/" + file.substr(file.rfind('/') + 1);
    std::error_code ec;
    CreateFolders(folder_ + "/refused");
    fs::rename(Utf8Path(file), Utf8Path(to), ec);
    return ec ? file : to;
}

score_sender::score_sender(score_settings settings, poster_maker make, timing times,
                           std::function<void(const std::string&)> say)
    : settings_(std::move(settings)),
      make_(std::move(make)),
      times_(times),
      say_(say ? std::move(say) : say_on_stderr),
      outbox_(settings_.folder)
{
}

void score_sender::start()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable()) thread_ = std::thread([this] { work(); });
}

score_sender::~score_sender()
{
    start();  // the runs queued still go to the outbox
    {
        std::unique_lock<std::mutex> lock(mutex_);
        stopping_ = true;
        wake_.notify_all();
        // A post under way gets its grace; then it is cut short and the
        // rest waits for the next start.
        if (!wake_.wait_for(lock, times_.exit_grace, [this] { return finished_; }) && poster_)
            poster_->cancel();
    }
    thread_.join();
}

void score_sender::queue(std::string run)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queued_.push_back(std::move(run));
        wake_.notify_all();
    }
    start();
}

std::string score_sender::describe(const std::string& run) const
{
    const std::string score = final_score_of(run);
    return score.empty() ? "the run" : "the game's run (final score " + score + ")";
}

void score_sender::keep_queued(std::vector<std::string>& runs)
{
    for (const std::string& run : runs) {
        std::string error;
        if (outbox_.add(run, error).empty())
            say_("could not keep " + describe(run) + " to send to " + settings_.server + " in " +
                 SystemPathText(outbox_.folder()) + ": " + error);
    }
    runs.clear();
}

bool score_sender::send(const std::string& file)
{
    std::string run;
    if (!read_file(file, MAX_SCRIPT_BYTES, run, true)) {
        if (NativeFileType(file) == FILETYPE_NONE)
            return true;  // sent by another copy of the game meanwhile
        const std::string to = outbox_.refuse(file);
        say_("not sent: " + SystemPathText(file) + " cannot be read or is larger than any run (moved to " +
             SystemPathText(to) + ")");
        return true;
    }
    const http_answer answer = own_poster_->post(
        settings_.server + "/api/runs?name=" + url_encoded(settings_.name),
        {"X-Kelvora-Secret: " + secret_, "Content-Type: text/plain; charset=utf-8"}, run);
    if (answer.status >= 200 && answer.status < 300) {
        outbox_.sent(file);
        const std::string status = json_text(answer.body, "status");
        std::string verdict = status == "queued"      ? "queued for verification"
                              : status == "verifying" ? "being verified"
                              : status.empty()        ? "received"
                                                      : status;
        if (status == "rejected" && !json_text(answer.body, "reason").empty())
            verdict += " (" + json_text(answer.body, "reason") + ")";
        const std::string id = json_text(answer.body, "id");
        say_("sent " + describe(run) + " to " + settings_.server + ": run " + (id.empty() ? "?" : id) + ", " +
             verdict);
        failures_ = 0;
        told_failure_ = false;
        return true;
    }
    if (answer.status >= 400 && answer.status < 500 && answer.status != 429) {
        std::string reason = json_text(answer.body, "reason");
        if (reason.empty())
            reason = json_text(answer.body, "error");
        if (reason.empty())
            reason = "HTTP status " + std::to_string(answer.status);
        const std::string to = outbox_.refuse(file);
        say_("the score table at " + settings_.server + " refused " + describe(run) + ": " + reason + " (kept in " +
             SystemPathText(to) + ")");
        return true;
    }
    // Not now: the table is down, busy or unreachable.
    if (answer.error == "stopped")
        return false;
    ++failures_;
    auto wait = times_.first_retry;
    for (int i = 1; i < failures_ && wait < times_.longest_retry; ++i)
        wait *= 2;
    wait = std::min(wait, times_.longest_retry);
    if (answer.retry_after >= 0)
        wait = std::chrono::seconds(std::clamp(answer.retry_after, 1, 3600));
    next_try_ = std::chrono::steady_clock::now() + wait;
    if (!told_failure_) {
        told_failure_ = true;
        const std::string why = answer.status ? "it answered HTTP status " + std::to_string(answer.status)
                                              : answer.error;
        say_("could not send " + describe(run) + " to " + settings_.server + ": " + why + "; it is kept in " +
             SystemPathText(outbox_.folder()) + " and sent later");
    }
    return false;
}

void score_sender::work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    std::vector<std::string> runs;
    std::chrono::steady_clock::time_point deadline{};
    for (;;) {
        runs.swap(queued_);
        const bool stopping = stopping_;
        if (stopping && deadline == std::chrono::steady_clock::time_point{})
            deadline = std::chrono::steady_clock::now() + times_.exit_grace;
        lock.unlock();
        keep_queued(runs);
        const auto now = std::chrono::steady_clock::now();
        // At the end, a table that failed just now is not tried again.
        bool try_now = !gave_up_ && now >= next_try_ && !(stopping && failures_ > 0);
        std::vector<std::string> files = try_now ? outbox_.pending() : std::vector<std::string>{};
        if (!files.empty() && !own_poster_) {
            std::string error;
            if ((secret_ = install_secret(settings_.folder, error)).empty() || !(own_poster_ = make_(error))) {
                gave_up_ = true;
                files.clear();
                say_("no runs can be sent to " + settings_.server + ": " + error + "; they stay in " +
                     SystemPathText(outbox_.folder()));
            } else {
                lock.lock();
                poster_ = own_poster_.get();
                lock.unlock();
            }
        }
        for (const std::string& file : files) {
            if (stopping && std::chrono::steady_clock::now() >= deadline)
                break;
            if (!send(file))
                break;
            lock.lock();
            const bool more = !queued_.empty();
            lock.unlock();
            if (more)
                break;  // kept first
        }
        lock.lock();
        if (!queued_.empty())
            continue;  // kept before anything else
        if (stopping_)
            break;
        const auto woken = [this] { return stopping_ || !queued_.empty(); };
        if (failures_ > 0 && !gave_up_)
            wake_.wait_until(lock, next_try_, woken);
        else
            wake_.wait(lock, woken);
    }
    finished_ = true;
    poster_ = nullptr;
    wake_.notify_all();
}
