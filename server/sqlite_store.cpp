#include "server/sqlite_store.h"

#include <sqlite3.h>

#include <stdexcept>

namespace {

const char* const SCHEMA = R"sql(
CREATE TABLE IF NOT EXISTS runs (
  id TEXT PRIMARY KEY,
  name TEXT NOT NULL,
  system TEXT NOT NULL,
  version TEXT NOT NULL,
  frames INTEGER NOT NULL,
  body BLOB NOT NULL,
  submitted INTEGER NOT NULL,
  status TEXT NOT NULL DEFAULT 'queued' CHECK (status IN ('queued', 'verifying', 'verified', 'rejected')),
  reason TEXT,
  verified_at INTEGER,
  attempts INTEGER NOT NULL DEFAULT 0,
  faults INTEGER NOT NULL DEFAULT 0,
  worker TEXT,
  claimed_at INTEGER
);
CREATE INDEX IF NOT EXISTS runs_by_status ON runs (status, faults, submitted);
CREATE INDEX IF NOT EXISTS runs_by_verdict ON runs (verified_at) WHERE status = 'verified';
CREATE TABLE IF NOT EXISTS scores (
  run TEXT NOT NULL REFERENCES runs (id),
  game INTEGER NOT NULL,
  name TEXT NOT NULL,
  score INTEGER NOT NULL,
  system TEXT NOT NULL,
  date INTEGER NOT NULL,
  PRIMARY KEY (run, game)
);
CREATE INDEX IF NOT EXISTS scores_by_name ON scores (name, score DESC);
CREATE TABLE IF NOT EXISTS names (
  name TEXT PRIMARY KEY,
  secret_hash TEXT NOT NULL,
  claimed INTEGER NOT NULL
);
)sql";

const char* const RUN_COLUMNS = "id, name, system, version, frames, submitted, status, reason, verified_at, attempts";

}  // namespace

// A prepared statement, its parameters bound in order, finalised however the
// caller leaves.
class sqlite_store::statement {
public:
    statement(sqlite_store& store, const char* sql) : store_(store)
    {
        if (sqlite3_prepare_v2(store.db_, sql, -1, &stmt_, nullptr) != SQLITE_OK)
            store.fail("cannot prepare a statement");
    }
    ~statement() { sqlite3_finalize(stmt_); }
    statement(const statement&) = delete;
    statement& operator=(const statement&) = delete;

    statement& bind(const std::string& text)
    {
        check(sqlite3_bind_text(stmt_, ++bound_, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
        return *this;
    }
    statement& bind_blob(const std::string& bytes)
    {
        check(sqlite3_bind_blob64(stmt_, ++bound_, bytes.data(), bytes.size(), SQLITE_TRANSIENT));
        return *this;
    }
    statement& bind(int64_t v)
    {
        check(sqlite3_bind_int64(stmt_, ++bound_, v));
        return *this;
    }
    statement& bind(int v) { return bind(static_cast<int64_t>(v)); }
    // True while there is a row to read.
    bool step()
    {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            store_.fail("a statement failed");
        return false;
    }
    std::string text(int col) const
    {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, col));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, col))) : std::string();
    }
    int64_t integer(int col) const { return sqlite3_column_int64(stmt_, col); }
    bool is_null(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            store_.fail("cannot bind a value");
    }
    sqlite_store& store_;
    sqlite3_stmt* stmt_ = nullptr;
    int bound_ = 0;
};

namespace {

stored_run read_run(const auto& st)
{
    stored_run r;
    r.id = st.text(0);
    r.name = st.text(1);
    r.system = st.text(2);
    r.version = st.text(3);
    r.frames = static_cast<int>(st.integer(4));
    r.submitted = st.integer(5);
    r.status = status_from_name(st.text(6)).value_or(run_status::queued);
    r.reason = st.text(7);
    if (!st.is_null(8))
        r.verified_at = st.integer(8);
    r.attempts = static_cast<int>(st.integer(9));
    return r;
}

}  // namespace

sqlite_store::sqlite_store(const std::string& path) : path_(path)
{
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw std::runtime_error("cannot open the database " + path + ": " + why);
    }
    try {
        sqlite3_busy_timeout(db_, 10000);
        exec("PRAGMA journal_mode = WAL");
        exec("PRAGMA synchronous = NORMAL");
        exec("PRAGMA foreign_keys = ON");
        exec(SCHEMA);
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

sqlite_store::~sqlite_store() { sqlite3_close(db_); }

void sqlite_store::fail(const std::string& what)
{
    throw std::runtime_error("the database " + path_ + ": " + what + ": " + sqlite3_errmsg(db_));
}

void sqlite_store::exec(const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string why = error ? error : sqlite3_errmsg(db_);
        sqlite3_free(error);
        throw std::runtime_error("the database " + path_ + ": " + why);
    }
}

// BEGIN IMMEDIATE takes the write lock at once (waiting up to the busy
// timeout); the transaction rolls back unless committed.
class sqlite_store::write_transaction {
public:
    explicit write_transaction(sqlite_store& store) : store_(store) { store.exec("BEGIN IMMEDIATE"); }
    ~write_transaction()
    {
        if (!done_)
            sqlite3_exec(store_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void commit()
    {
        store_.exec("COMMIT");
        done_ = true;
    }

private:
    sqlite_store& store_;
    bool done_ = false;
};

name_claim sqlite_store::claim_name(const std::string& name, const std::string& secret_hash, unix_ms now)
{
    write_transaction tx(*this);
    statement insert(*this, "INSERT INTO names (name, secret_hash, claimed) VALUES (?, ?, ?) ON CONFLICT (name) DO NOTHING");
    insert.bind(name).bind(secret_hash).bind(now).step();
    const bool taken_now = sqlite3_changes(db_) == 1;
    statement owner(*this, "SELECT secret_hash FROM names WHERE name = ?");
    owner.bind(name);
    const std::string holder = owner.step() ? owner.text(0) : std::string();
    tx.commit();
    if (taken_now)
        return name_claim::new_owner;
    return holder == secret_hash ? name_claim::same_owner : name_claim::other_owner;
}

bool sqlite_store::add_run(const new_run& run)
{
    statement st(*this, "INSERT INTO runs (id, name, system, version, frames, body, submitted) VALUES (?, ?, ?, ?, ?, ?, ?) "
                        "ON CONFLICT (id) DO NOTHING");
    st.bind(run.id).bind(run.name).bind(run.system).bind(run.version).bind(run.frames).bind_blob(run.body).bind(run.submitted);
    st.step();
    return sqlite3_changes(db_) == 1;
}

std::vector<int> sqlite_store::scores_of(const std::string& id)
{
    statement st(*this, "SELECT score FROM scores WHERE run = ? ORDER BY game");
    st.bind(id);
    std::vector<int> scores;
    while (st.step())
        scores.push_back(static_cast<int>(st.integer(0)));
    return scores;
}

std::optional<stored_run> sqlite_store::find_run(const std::string& id)
{
    statement st(*this, (std::string("SELECT ") + RUN_COLUMNS + " FROM runs WHERE id = ?").c_str());
    st.bind(id);
    if (!st.step())
        return std::nullopt;
    stored_run r = read_run(st);
    r.scores = scores_of(id);
    return r;
}

std::vector<best_score> sqlite_store::best_scores(int top)
{
    statement st(*this, "SELECT name, score, date, system, run FROM ("
                        " SELECT name, score, date, system, run,"
                        "  ROW_NUMBER() OVER (PARTITION BY name ORDER BY score DESC, date, run, game) AS place"
                        " FROM scores) WHERE place = 1 ORDER BY score DESC, date, name LIMIT ?");
    st.bind(top);
    std::vector<best_score> table;
    while (st.step())
        table.push_back({st.text(0), static_cast<int>(st.integer(1)), st.integer(2), st.text(3), st.text(4)});
    return table;
}

std::vector<stored_run> sqlite_store::recent_verified(int count)
{
    std::vector<stored_run> runs;
    {
        statement st(*this, (std::string("SELECT ") + RUN_COLUMNS +
                             " FROM runs WHERE status = 'verified' ORDER BY verified_at DESC, id LIMIT ?")
                                .c_str());
        st.bind(count);
        while (st.step())
            runs.push_back(read_run(st));
    }
    for (auto& r : runs)
        r.scores = scores_of(r.id);
    return runs;
}

verify_outcome sqlite_store::verify_next(const std::string& worker,
                                         const std::function<run_verdict(const queued_run&)>& verify)
{
    queued_run job;
    const unix_ms claimed = now_ms();
    {
        write_transaction tx(*this);
        statement next(*this, "SELECT id, name, body, attempts FROM runs WHERE status = 'queued' ORDER BY faults, submitted, id LIMIT 1");
        if (!next.step())
            return verify_outcome::none_waiting;
        job = {next.text(0), next.text(1), next.text(2), static_cast<int>(next.integer(3))};
        statement mark(*this, "UPDATE runs SET status = 'verifying', worker = ?, claimed_at = ?, attempts = attempts + 1 WHERE id = ?");
        mark.bind(worker).bind(claimed).bind(job.id).step();
        tx.commit();
    }
    const run_verdict verdict = job.attempts >= MAX_VERIFY_ATTEMPTS ? worn_out_verdict(job.attempts) : verify(job);
    if (verdict.worker_fault) {
        // Not counted against the run, but it waits behind the others.
        statement back(*this, "UPDATE runs SET status = 'queued', worker = NULL, attempts = attempts - 1, faults = faults + 1"
                              " WHERE id = ? AND status = 'verifying' AND worker = ?");
        back.bind(job.id).bind(worker).step();
        return verify_outcome::worker_fault;
    }
    write_verdict(job.id, job.name, worker, verdict, now_ms());
    return verify_outcome::judged;
}

void sqlite_store::write_verdict(const std::string& id, const std::string& name, const std::string& worker,
                                 const run_verdict& verdict, unix_ms now)
{
    write_transaction tx(*this);
    statement set(*this, "UPDATE runs SET status = ?, reason = ?, verified_at = ?, worker = NULL"
                         " WHERE id = ? AND status = 'verifying' AND worker = ?");
    set.bind(std::string(verdict.verified ? "verified" : "rejected")).bind(verdict.verified ? std::string() : verdict.reason);
    set.bind(now).bind(id).bind(worker).step();
    if (sqlite3_changes(db_) != 1)
        return;  // taken back meanwhile (the server stopped): judged again later
    if (verdict.verified) {
        statement submitted(*this, "SELECT submitted, system FROM runs WHERE id = ?");
        submitted.bind(id).step();
        const unix_ms date = submitted.integer(0);
        const std::string system = submitted.text(1);
        for (size_t game = 0; game < verdict.scores.size(); ++game) {
            statement add(*this, "INSERT INTO scores (run, game, name, score, system, date) VALUES (?, ?, ?, ?, ?, ?)"
                                 " ON CONFLICT (run, game) DO NOTHING");
            add.bind(id).bind(static_cast<int>(game)).bind(name).bind(verdict.scores[game]).bind(system).bind(date).step();
        }
    }
    tx.commit();
}

int sqlite_store::requeue_abandoned(const std::string& worker_prefix)
{
    statement st(*this, "UPDATE runs SET status = 'queued', worker = NULL WHERE status = 'verifying' AND substr(worker, 1, length(?)) = ?");
    st.bind(worker_prefix).bind(worker_prefix).step();
    return sqlite3_changes(db_);
}
