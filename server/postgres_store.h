// The store in PostgreSQL, for a front and any number of worker processes on
// any machines. A queued run has a row in `jobs`; a worker locks that row in
// a transaction (FOR UPDATE SKIP LOCKED), replays the run while holding it,
// and writes the verdict, the scores and the row's removal in the same
// transaction. A worker that dies drops its connection, its transaction
// rolls back and the next worker takes the run: each run gets one verdict.
// What a worker is doing shows in runs.status and runs.worker, written on a
// second connection, since the run's own row is not locked.
#pragma once

#include <string>

#include "server/run_store.h"

struct pg_conn;

class postgres_store : public run_store {
public:
    // lease_seconds: the longest a worker may hold a job; past it the
    // database ends the worker's session and the job goes to another.
    explicit postgres_store(const std::string& url, int lease_seconds = 600);
    ~postgres_store() override;
    postgres_store(const postgres_store&) = delete;
    postgres_store& operator=(const postgres_store&) = delete;

    name_claim claim_name(const std::string& name, const std::string& secret_hash, unix_ms now) override;
    bool add_run(const new_run& run) override;
    std::optional<stored_run> find_run(const std::string& id) override;
    std::vector<best_score> best_scores(int top) override;
    std::vector<stored_run> recent_verified(int count) override;
    verify_outcome verify_next(const std::string& worker,
                               const std::function<run_verdict(const queued_run&)>& verify) override;
    int requeue_abandoned(const std::string& worker_prefix) override;

private:
    class result;
    struct connection;
    std::vector<int> scores_of(connection& c, const std::string& id);

    std::string url_;
    int lease_seconds_;
    std::unique_ptr<connection> main_;
    std::unique_ptr<connection> side_;  // the worker's status updates beside its job transaction
};

// The URL without its password, for messages.
std::string url_without_password(const std::string& url);
