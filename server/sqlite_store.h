// The store in one SQLite file: WAL, so readers never wait for the writer,
// a busy timeout for the writers, and every statement parameterised.
#pragma once

#include <string>

#include "server/run_store.h"

struct sqlite3;
struct sqlite3_stmt;

class sqlite_store : public run_store {
public:
    explicit sqlite_store(const std::string& path);
    ~sqlite_store() override;
    sqlite_store(const sqlite_store&) = delete;
    sqlite_store& operator=(const sqlite_store&) = delete;

    name_claim claim_name(const std::string& name, const std::string& secret_hash, unix_ms now) override;
    bool add_run(const new_run& run) override;
    std::optional<stored_run> find_run(const std::string& id) override;
    std::vector<best_score> best_scores(int top) override;
    std::vector<stored_run> recent_verified(int count) override;
    verify_outcome verify_next(const std::string& worker,
                               const std::function<run_verdict(const queued_run&)>& verify) override;
    int requeue_abandoned(const std::string& worker_prefix) override;

private:
    class statement;
    class write_transaction;
    [[noreturn]] void fail(const std::string& what);
    void exec(const char* sql);
    std::vector<int> scores_of(const std::string& id);
    void write_verdict(const std::string& id, const std::string& name, const std::string& worker,
                       const run_verdict& verdict, unix_ms now);

    sqlite3* db_ = nullptr;
    std::string path_;
};
