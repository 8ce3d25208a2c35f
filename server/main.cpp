// kelvora3d-scores: the online score table. Takes recorded runs over HTTP,
// verifies each by playing it again in a sandboxed child of this program,
// and keeps and shows the verified scores.
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "app/input_script.h"
#include "server/http_front.h"
#include "server/postgres_store.h"
#include "server/run_store.h"
#include "server/score_api.h"
#include "server/server_options.h"
#include "server/store_pool.h"
#include "server/verify_workers.h"

namespace fs = std::filesystem;

namespace {

std::string this_program()
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

// data/ beside the program, else ../share/kelvora3d/data (installed).
std::string default_data_dir(const std::string& program)
{
    const fs::path dir = fs::path(program).parent_path();
    std::error_code ec;
    if (fs::is_directory(dir / "data", ec))
        return (dir / "data").string();
    return (dir / ".." / "share" / "kelvora3d" / "data").lexically_normal().string();
}

std::string host_name()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || !name[0])
        return "localhost";
    return name;
}

// For the log: a run's reason or a name, one line, no terminal controls.
std::string printable(const std::string& text)
{
    std::string out;
    for (char c : text.substr(0, 300))
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    return out;
}

void log_verdict(const queued_run& job, const run_verdict& v, double seconds)
{
    std::string what;
    if (v.worker_fault) {
        what = "not judged, the worker failed (it is tried again later): " + printable(v.reason);
    } else if (v.verified) {
        what = "verified, ";
        if (v.scores.empty())
            what += "no game finished";
        for (size_t i = 0; i < v.scores.size(); ++i)
            what += (i ? ", " : "score ") + std::to_string(v.scores[i]);
    } else {
        what = "rejected: " + printable(v.reason);
    }
    if (!v.detail.empty())
        what += " [" + printable(v.detail) + "]";
    std::fprintf(stderr, "kelvora3d-scores: run %s by %s: %s (%d frames, %.1f s)\n", job.id.substr(0, 12).c_str(),
                 printable(job.name).c_str(), what.c_str(), v.frames, seconds);
}

int serve(const server_options& o)
{
    const std::string program = this_program();
    if (program.empty()) {
        std::fprintf(stderr, "kelvora3d-scores: cannot find this program's own file (/proc/self/exe)\n");
        return 1;
    }
    const std::string data_dir = o.data_dir.empty() ? default_data_dir(program) : o.data_dir;
    if (const std::string why = check_game_data(data_dir); !why.empty()) {
        std::fprintf(stderr, "kelvora3d-scores: %s (--data DIR)\n", why.c_str());
        return 2;
    }
    std::error_code ec;
    if (!o.web_dir.empty() && !fs::is_directory(o.web_dir, ec)) {
        std::fprintf(stderr, "kelvora3d-scores: the page folder %s does not exist (--web DIR)\n", o.web_dir.c_str());
        return 2;
    }

    // Signals are taken by sigwait below, in no thread at random.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const bool postgres = is_postgres_url(o.database);
    const int lease = o.limits.wall_seconds + 60;
    auto open = [&o, lease] { return open_run_store(o.database, lease); };
    const std::string worker_prefix = host_name() + ":" + std::to_string(getpid()) + "/";
    try {
        // The tables exist, and the database answers, before anything is taken.
        auto store = open();
        if (!postgres)
            if (const int n = store->requeue_abandoned(""))
                std::fprintf(stderr, "kelvora3d-scores: %d run(s) left half-verified are queued again\n", n);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvora3d-scores: %s\n", e.what());
        return 1;
    }

    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int worker_count = o.workers >= 0 ? o.workers : cores;
    verify_workers workers(
        open,
        [&](const queued_run& job) {
            const auto start = std::chrono::steady_clock::now();
            const run_verdict v = verify_sandboxed(program, job.body, data_dir, o.limits);
            log_verdict(job, v, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            return v;
        },
        worker_prefix, worker_count);

    std::unique_ptr<store_pool> stores;
    std::unique_ptr<rate_limiter> limiter;
    std::unique_ptr<score_api> api;
    std::unique_ptr<http_front> front;
    std::thread serving;
    if (!o.worker_only) {
        stores = std::make_unique<store_pool>(open, 16);
        limiter = std::make_unique<rate_limiter>(o.rate_per_minute);
        api_settings settings;
        settings.max_body = o.max_body;
        settings.limits = o.limits;
        settings.allow_origin = o.allow_origin;
        settings.web_dir = o.web_dir;
        api = std::make_unique<score_api>(settings, *stores, *limiter, [&workers] { workers.wake(); });
        try {
            front = std::make_unique<http_front>(*api, o.max_body, o.host, o.port);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kelvora3d-scores: %s\n", e.what());
            workers.stop(std::chrono::seconds(5));
            return 1;
        }
        const bool v6 = o.host.find(':') != std::string::npos;
        std::fprintf(stderr, "kelvora3d-scores: listening on http://%s%s%s:%d/ (%d worker(s), %s)\n", v6 ? "[" : "",
                     o.host.c_str(), v6 ? "]" : "", front->port(), worker_count,
                     postgres ? url_without_password(o.database).c_str() : o.database.c_str());
        serving = std::thread([&] {
            if (!front->run()) {
                std::fprintf(stderr, "kelvora3d-scores: the HTTP front stopped\n");
                kill(getpid(), SIGTERM);
            }
        });
    } else {
        std::fprintf(stderr, "kelvora3d-scores: verifying runs of %s with %d worker(s)\n",
                     url_without_password(o.database).c_str(), worker_count);
    }

    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    std::fprintf(stderr, "kelvora3d-scores: stopping (%s)\n", signal_number == SIGINT ? "SIGINT" : "SIGTERM");
    if (front) {
        front->stop();
        serving.join();
    }
    // Replays in progress may finish for a few seconds; any still running
    // then are verified again later (SQLite: queued again now; PostgreSQL:
    // their transactions roll back with this process's connections).
    if (!workers.stop(std::chrono::seconds(5))) {
        if (!postgres) {
            try {
                const int n = open()->requeue_abandoned(worker_prefix);
                std::fprintf(stderr, "kelvora3d-scores: %d run(s) being verified are queued again\n", n);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "kelvora3d-scores: %s\n", e.what());
            }
        }
        std::fflush(stderr);
        _exit(0);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    server_options o;
    try {
        o = parse_server_options(argc, argv);
    } catch (const bad_option& e) {
        std::fprintf(stderr, "kelvora3d-scores: %s (see --help)\n", e.what());
        return 2;
    }
    if (o.help) {
        std::fputs(SERVER_USAGE, stdout);
        return 0;
    }
    if (o.version) {
        std::printf("kelvora3d-scores %s\n", program_version());
        return 0;
    }
    if (o.verify_one) {
        // A child of a worker, which blocks and ignores signals for its own reasons.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        return verify_one_main(o.data_dir, o.limits);
    }
    return serve(o);
}
