// Where runs, their verdicts, the scores they earned and the claimed names
// are kept: one interface, kept in SQLite or in PostgreSQL. A store object is
// one connection and is used by one thread at a time (see store_pool.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/verify/verify.h"

// Milliseconds since 1970 (UTC), as every time here is kept.
using unix_ms = int64_t;

enum class run_status { queued, verifying, verified, rejected };
const char* status_name(run_status s);
std::optional<run_status> status_from_name(const std::string& name);

// A run as it arrives: the recording and what its header says.
struct new_run {
    std::string id;  // SHA-256 of the body, lowercase hex
    std::string name;
    std::string system;
    std::string version;
    int frames = 0;
    std::string body;
    unix_ms submitted = 0;
};

struct stored_run {
    std::string id;
    std::string name;
    std::string system;
    std::string version;
    int frames = 0;
    unix_ms submitted = 0;
    run_status status = run_status::queued;
    std::string reason;
    std::optional<unix_ms> verified_at;
    int attempts = 0;
    std::vector<int> scores;  // verified runs: each completed game's score, in order
};

// One line of the table: the best verified score of a name.
struct best_score {
    std::string name;
    int score = 0;
    unix_ms date = 0;
    std::string system;
    std::string run;
};

enum class name_claim { new_owner, same_owner, other_owner };

// A queued run handed to a worker.
struct queued_run {
    std::string id;
    std::string name;
    std::string body;
    int attempts = 0;  // claims before this one: a run that keeps killing its workers stops being retried
};

enum class verify_outcome { none_waiting, judged, worker_fault };

class run_store {
public:
    virtual ~run_store() = default;

    // The name for the holder of secret_hash (SHA-256 of the install's
    // secret): taken now when nobody has it.
    virtual name_claim claim_name(const std::string& name, const std::string& secret_hash, unix_ms now) = 0;

    // Adds the run as queued; false when a run with its id is there already.
    virtual bool add_run(const new_run& run) = 0;
    virtual std::optional<stored_run> find_run(const std::string& id) = 0;
    // The best verified score of each name, best first (earlier first on a tie).
    virtual std::vector<best_score> best_scores(int top) = 0;
    // Verified runs, the last verified first.
    virtual std::vector<stored_run> recent_verified(int count) = 0;

    // Takes the oldest queued run, if any, has `verify` judge it and keeps
    // the verdict and the scores. A worker that dies in `verify`, or a
    // verdict that blames the worker (worker_fault), leaves the run to be
    // taken again. `worker` names the worker in the runs table.
    virtual verify_outcome verify_next(const std::string& worker,
                                       const std::function<run_verdict(const queued_run&)>& verify) = 0;

    // At the start of a server that verifies in its own process: the runs a
    // stopped one left half-verified are queued again. Returns how many.
    virtual int requeue_abandoned(const std::string& worker_prefix) = 0;
};

// Opens "postgresql://..." / "postgres://..." (libpq's connection URI) or a
// SQLite file (created with its tables on first use). Throws
// std::runtime_error with a sentence naming what failed. lease_seconds: see
// postgres_store.
std::unique_ptr<run_store> open_run_store(const std::string& database, int lease_seconds = 600);
bool is_postgres_url(const std::string& database);

unix_ms now_ms();

// A run claimed this many times without a verdict (its workers killed each
// time) is rejected instead of handed out again.
constexpr int MAX_VERIFY_ATTEMPTS = 3;
// The verdict on such a run.
run_verdict worn_out_verdict(int attempts);
