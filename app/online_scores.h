// Runs sent to an online score table, which plays each one again before it
// counts. The player names the table (--scores URL) and a name once; both
// are kept beside the saved values with the install's secret, which claims
// the name at the table. Each game's run goes to an outbox folder there
// first and is posted from a thread of its own, so no frame ever waits on
// the network, and what cannot be sent now is sent later.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/http_post.h"

// The files in the saves folder.
constexpr const char* SCORES_SERVER_FILE = "scores-server.txt";
constexpr const char* SCORES_NAME_FILE = "scores-name.txt";
constexpr const char* SCORES_SECRET_FILE = "scores-secret.txt";
constexpr const char* SCORES_OUTBOX = "scores-outbox";  // and scores-outbox/refused/

// A table's address as --scores takes it: http:// or https://, a host, maybe
// a port and a path; no query, fragment, white space or control character.
// On success `address` is the form kept (the scheme in lower case, no
// trailing '/'); otherwise `why` says what is wrong.
bool check_scores_address(const std::string& text, std::string& address, std::string& why);
// A player's name by the table's own rule (app/player_name.h), trimmed into
// `name`.
bool check_player_name(const std::string& text, std::string& name, std::string& why);
// The text as a URL's query value: everything but letters, digits and
// "-._~" as %XX of its UTF-8 bytes.
std::string url_encoded(const std::string& text);

struct score_settings {
    std::string server;  // the table's address; empty: nothing is sent
    std::string name;
    std::string folder;  // the saves folder the files live in
};

// Settles this run's settings from the command line (`given_server` may be
// "off") and what `folder` remembers, and remembers what was given. With no
// table given or remembered nothing is written. False, with one line in
// error and nothing changed, for a command line that cannot be followed (a
// name with no table, a table with no name).
bool settle_score_settings(const std::string& folder, const std::string& given_server, const std::string& given_name,
                           score_settings& settings, std::string& error);

// The install's secret: 64 lowercase hex digits from 32 random bytes, made
// on first use (readable by the user only). Empty, with the reason, when
// none can be read or made.
std::string install_secret(const std::string& folder, std::string& error);

// The runs waiting to be sent, one file each, named by the SHA-256 of its
// bytes (as the table names runs), so a run kept twice is one file.
class run_outbox {
public:
    explicit run_outbox(const std::string& saves_folder);
    const std::string& folder() const { return folder_; }
    // Keeps the run (written beside and renamed in place, flushed to the
    // disk); its path, or empty with the reason in error.
    std::string add(const std::string& run, std::string& error) const;
    // The runs' files, oldest first.
    std::vector<std::string> pending() const;
    // Sent: gone. Refused: moved to refused/, kept for the player.
    void sent(const std::string& file) const;
    std::string refuse(const std::string& file) const;

private:
    std::string folder_;
};

struct score_sending_times {
    std::chrono::milliseconds first_retry{5000};  // doubled after each failure
    std::chrono::milliseconds longest_retry{300000};
    std::chrono::milliseconds exit_grace{2000};   // for a post under way at the end
};

// The thread that posts the outbox to the table. It starts with the runs a
// previous session left, then sends each new one as it comes.
class score_sender {
public:
    using poster_maker = std::function<std::unique_ptr<http_poster>(std::string& error)>;
    using timing = score_sending_times;

    score_sender(score_settings settings, poster_maker make = open_http_poster, timing times = score_sending_times(),
                 std::function<void(const std::string&)> say = {});
    // Keeps the runs still queued in the outbox, gives a post under way
    // (or the runs of a session that just ended) exit_grace, then stops.
    ~score_sender();
    score_sender(const score_sender&) = delete;
    score_sender& operator=(const score_sender&) = delete;

    // Starts the sending thread (once; a queued run or the end start it
    // too). The program starts it once its display is up: libcurl reads the
    // environment from that thread, and SDL writes it as its video starts,
    // which glibc does not make safe beside a reader.
    void start();

    // A game's run, from the game's thread: handed over, nothing more.
    void queue(std::string run);

private:
    void work();
    void keep_queued(std::vector<std::string>& runs);
    // False when the table could not take it now (try again later).
    bool send(const std::string& file);
    std::string describe(const std::string& run) const;

    score_settings settings_;
    poster_maker make_;
    timing times_;
    std::function<void(const std::string&)> say_;
    run_outbox outbox_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::string> queued_;
    bool stopping_ = false;
    bool finished_ = false;
    http_poster* poster_ = nullptr;  // while the thread has one

    // The thread's own.
    std::unique_ptr<http_poster> own_poster_;
    std::string secret_;
    bool gave_up_ = false;  // no client or no secret: the runs stay kept
    int failures_ = 0;
    bool told_failure_ = false;
    std::chrono::steady_clock::time_point next_try_{};

    std::thread thread_;
};
