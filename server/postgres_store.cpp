#include "server/postgres_store.h"

#include <libpq-fe.h>

#include <cstring>
#include <stdexcept>

namespace {

const char* const SCHEMA = R"sql(
CREATE TABLE IF NOT EXISTS runs (
  id TEXT PRIMARY KEY,
  name TEXT NOT NULL,
  system TEXT NOT NULL,
  version TEXT NOT NULL,
  frames INTEGER NOT NULL,
  body BYTEA NOT NULL,
  submitted BIGINT NOT NULL,
  status TEXT NOT NULL DEFAULT 'queued' CHECK (status IN ('queued', 'verifying', 'verified', 'rejected')),
  reason TEXT,
  verified_at BIGINT,
  attempts INTEGER NOT NULL DEFAULT 0,
  worker TEXT,
  claimed_at BIGINT
);
CREATE INDEX IF NOT EXISTS runs_by_verdict ON runs (verified_at) WHERE status = 'verified';
CREATE TABLE IF NOT EXISTS jobs (
  run TEXT PRIMARY KEY REFERENCES runs (id),
  submitted BIGINT NOT NULL,
  faults INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS jobs_by_age ON jobs (faults, submitted, run);
CREATE TABLE IF NOT EXISTS scores (
  run TEXT NOT NULL REFERENCES runs (id),
  game INTEGER NOT NULL,
  name TEXT NOT NULL,
  score INTEGER NOT NULL,
  system TEXT NOT NULL,
  date BIGINT NOT NULL,
  PRIMARY KEY (run, game)
);
CREATE INDEX IF NOT EXISTS scores_by_name ON scores (name, score DESC);
CREATE TABLE IF NOT EXISTS names (
  name TEXT PRIMARY KEY,
  secret_hash TEXT NOT NULL,
  claimed BIGINT NOT NULL
);
)sql";

// Any number for pg_advisory_xact_lock, the same in every process: the
// schema is created by one of several starting at once.
constexpr const char* SCHEMA_LOCK = "SELECT pg_advisory_xact_lock(4711003)";

const char* const RUN_COLUMNS = "id, name, system, version, frames, submitted, status, reason, verified_at, attempts";

std::string one_line(const char* message)
{
    std::string s = message ? message : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    for (char& c : s)
        if (c == '\n')
            c = ' ';
    return s;
}

}  // namespace

std::string url_without_password(const std::string& url)
{
    const size_t scheme = url.find("://");
    const size_t at = url.find('@', scheme == std::string::npos ? 0 : scheme + 3);
    if (scheme == std::string::npos || at == std::string::npos)
        return url;
    const size_t colon = url.find(':', scheme + 3);
    if (colon == std::string::npos || colon > at)
        return url;
    return url.substr(0, colon) + url.substr(at);
}

// A query's result, cleared however the caller leaves.
class postgres_store::result {
public:
    explicit result(PGresult* r) : r_(r) {}
    ~result() { PQclear(r_); }
    result(result&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
    result(const result&) = delete;
    result& operator=(const result&) = delete;
    int rows() const { return PQntuples(r_); }
    std::string text(int row, int col) const
    {
        return std::string(PQgetvalue(r_, row, col), static_cast<size_t>(PQgetlength(r_, row, col)));
    }
    bool is_null(int row, int col) const { return PQgetisnull(r_, row, col) != 0; }
    int64_t integer(int row, int col) const { return std::strtoll(PQgetvalue(r_, row, col), nullptr, 10); }
    long affected() const { return std::strtol(PQcmdTuples(r_), nullptr, 10); }
    PGresult* raw() const { return r_; }

private:
    PGresult* r_;
};

// One connection: reconnected before the next statement once it is lost.
struct postgres_store::connection {
    std::string url;
    int lease_seconds;
    PGconn* conn = nullptr;
    bool in_transaction = false;  // a lost connection then fails the transaction, never reconnects

    connection(std::string u, int lease) : url(std::move(u)), lease_seconds(lease) { open(); }
    ~connection() { PQfinish(conn); }

    void open()
    {
        PQfinish(conn);
        conn = PQconnectdb(url.c_str());
        if (PQstatus(conn) != CONNECTION_OK) {
            const std::string why = one_line(PQerrorMessage(conn));
            PQfinish(conn);
            conn = nullptr;
            throw std::runtime_error("cannot connect to the database " + url_without_password(url) + ": " + why);
        }
        // Notices ("already exists, skipping") are not for the log.
        PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
        // A worker stuck past its lease loses its session, and with it its job.
        run(("SET idle_in_transaction_session_timeout = " + std::to_string(lease_seconds * 1000)).c_str());
    }
    void ensure_open()
    {
        if (conn && PQstatus(conn) == CONNECTION_OK)
            return;
        if (in_transaction)
            throw std::runtime_error("the database: the connection was lost in a transaction");
        open();
    }

    // The parameters as text, NULL-free; binary ones (bytea) marked so.
    result run(const char* sql, const std::vector<std::string>& params = {}, const std::vector<bool>& binary = {},
               bool binary_result = false)
    {
        ensure_open();
        std::vector<const char*> values;
        std::vector<int> lengths, formats;
        for (size_t i = 0; i < params.size(); ++i) {
            values.push_back(params[i].data());
            lengths.push_back(static_cast<int>(params[i].size()));
            formats.push_back(i < binary.size() && binary[i] ? 1 : 0);
        }
        result r(PQexecParams(conn, sql, static_cast<int>(params.size()), nullptr, values.data(), lengths.data(),
                              formats.data(), binary_result ? 1 : 0));
        const auto status = PQresultStatus(r.raw());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            throw std::runtime_error("the database: " + one_line(PQerrorMessage(conn)));
        return r;
    }
};

namespace {

stored_run read_run(const auto& r, int row)
{
    stored_run run;
    run.id = r.text(row, 0);
    run.name = r.text(row, 1);
    run.system = r.text(row, 2);
    run.version = r.text(row, 3);
    run.frames = static_cast<int>(r.integer(row, 4));
    run.submitted = r.integer(row, 5);
    run.status = status_from_name(r.text(row, 6)).value_or(run_status::queued);
    run.reason = r.text(row, 7);
    if (!r.is_null(row, 8))
        run.verified_at = r.integer(row, 8);
    run.attempts = static_cast<int>(r.integer(row, 9));
    return run;
}

// Rolls back unless committed; a lost connection rolls back by itself.
template <class Connection>
class transaction {
public:
    explicit transaction(Connection& c) : c_(c)
    {
        c_.run("BEGIN");
        c_.in_transaction = true;
    }
    ~transaction()
    {
        c_.in_transaction = false;
        if (!done_ && c_.conn && PQstatus(c_.conn) == CONNECTION_OK)
            PQclear(PQexecParams(c_.conn, "ROLLBACK", 0, nullptr, nullptr, nullptr, nullptr, 0));
    }
    void commit()
    {
        c_.run("COMMIT");
        done_ = true;
    }

private:
    Connection& c_;
    bool done_ = false;
};

}  // namespace

postgres_store::postgres_store(const std::string& url, int lease_seconds)
    : url_(url), lease_seconds_(lease_seconds), main_(std::make_unique<connection>(url, lease_seconds))
{
    transaction tx(*main_);
    main_->run(SCHEMA_LOCK);
    const std::string schema = SCHEMA;
    size_t from = 0;
    for (size_t end; (end = schema.find(";\n", from)) != std::string::npos; from = end + 2)
        main_->run(schema.substr(from, end - from).c_str());
    tx.commit();
}

postgres_store::~postgres_store() = default;

name_claim postgres_store::claim_name(const std::string& name, const std::string& secret_hash, unix_ms now)
{
    const result taken = main_->run("INSERT INTO names (name, secret_hash, claimed) VALUES ($1, $2, $3) "
                                    "ON CONFLICT (name) DO NOTHING",
                                    {name, secret_hash, std::to_string(now)});
    if (taken.affected() == 1)
        return name_claim::new_owner;
    const result owner = main_->run("SELECT secret_hash FROM names WHERE name = $1", {name});
    return owner.rows() == 1 && owner.text(0, 0) == secret_hash ? name_claim::same_owner : name_claim::other_owner;
}

bool postgres_store::add_run(const new_run& run)
{
    // The run and its job together, or neither.
    const result added = main_->run(
        "WITH added AS (INSERT INTO runs (id, name, system, version, frames, body, submitted)"
        " VALUES ($1, $2, $3, $4, $5, $6, $7) ON CONFLICT (id) DO NOTHING RETURNING id, submitted)"
        " INSERT INTO jobs (run, submitted) SELECT id, submitted FROM added",
        {run.id, run.name, run.system, run.version, std::to_string(run.frames), run.body, std::to_string(run.submitted)},
        {false, false, false, false, false, true, false});
    return added.affected() == 1;
}

std::vector<int> postgres_store::scores_of(connection& c, const std::string& id)
{
    const result r = c.run("SELECT score FROM scores WHERE run = $1 ORDER BY game", {id});
    std::vector<int> scores;
    for (int i = 0; i < r.rows(); ++i)
        scores.push_back(static_cast<int>(r.integer(i, 0)));
    return scores;
}

std::optional<stored_run> postgres_store::find_run(const std::string& id)
{
    const result r = main_->run((std::string("SELECT ") + RUN_COLUMNS + " FROM runs WHERE id = $1").c_str(), {id});
    if (r.rows() == 0)
        return std::nullopt;
    stored_run run = read_run(r, 0);
    run.scores = scores_of(*main_, id);
    return run;
}

std::vector<best_score> postgres_store::best_scores(int top)
{
    const result r = main_->run("SELECT name, score, date, system, run FROM ("
                                " SELECT name, score, date, system, run,"
                                "  ROW_NUMBER() OVER (PARTITION BY name ORDER BY score DESC, date, run, game) AS place"
                                " FROM scores) AS best WHERE place = 1 ORDER BY score DESC, date, name LIMIT $1",
                                {std::to_string(top)});
    std::vector<best_score> table;
    for (int i = 0; i < r.rows(); ++i)
        table.push_back({r.text(i, 0), static_cast<int>(r.integer(i, 1)), r.integer(i, 2), r.text(i, 3), r.text(i, 4)});
    return table;
}

std::vector<stored_run> postgres_store::recent_verified(int count)
{
    const result r = main_->run((std::string("SELECT ") + RUN_COLUMNS +
                                 " FROM runs WHERE status = 'verified' ORDER BY verified_at DESC, id LIMIT $1")
                                    .c_str(),
                                {std::to_string(count)});
    std::vector<stored_run> runs;
    for (int i = 0; i < r.rows(); ++i) {
        runs.push_back(read_run(r, i));
        runs.back().scores = scores_of(*main_, runs.back().id);
    }
    return runs;
}

verify_outcome postgres_store::verify_next(const std::string& worker,
                                           const std::function<run_verdict(const queued_run&)>& verify)
{
    connection& c = *main_;
    transaction tx(c);
    const result next = c.run("SELECT run FROM jobs ORDER BY faults, submitted, run LIMIT 1 FOR UPDATE SKIP LOCKED");
    if (next.rows() == 0)
        return verify_outcome::none_waiting;
    queued_run job;
    job.id = next.text(0, 0);
    {
        const result run = c.run("SELECT name, attempts, body FROM runs WHERE id = $1", {job.id}, {}, true);
        if (run.rows() != 1)
            throw std::runtime_error("the database: the job of run " + job.id + " has no run");
        job.name = run.text(0, 0);
        const char* attempts = PQgetvalue(run.raw(), 0, 1);  // int4, network order
        job.attempts = static_cast<int>((uint32_t(uint8_t(attempts[0])) << 24) | (uint32_t(uint8_t(attempts[1])) << 16) |
                                        (uint32_t(uint8_t(attempts[2])) << 8) | uint32_t(uint8_t(attempts[3])));
        job.body = run.text(0, 2);
    }
    // Said at once, on the other connection: the job's transaction shows
    // nothing until it ends.
    if (!side_)
        side_ = std::make_unique<connection>(url_, lease_seconds_);
    side_->run("UPDATE runs SET status = 'verifying', worker = $2, claimed_at = $3, attempts = attempts + 1 WHERE id = $1",
               {job.id, worker, std::to_string(now_ms())});

    const run_verdict verdict = job.attempts >= MAX_VERIFY_ATTEMPTS ? worn_out_verdict(job.attempts) : verify(job);
    if (verdict.worker_fault) {
        // The try does not count against the run, but it waits behind the others.
        c.run("UPDATE jobs SET faults = faults + 1 WHERE run = $1", {job.id});
        tx.commit();
        side_->run("UPDATE runs SET status = 'queued', worker = NULL, attempts = attempts - 1 WHERE id = $1 AND worker = $2",
                   {job.id, worker});
        return verify_outcome::worker_fault;
    }

    c.run("UPDATE runs SET status = $2, reason = $3, verified_at = $4, worker = NULL WHERE id = $1",
          {job.id, verdict.verified ? "verified" : "rejected", verdict.verified ? std::string() : verdict.reason,
           std::to_string(now_ms())});
    if (verdict.verified)
        for (size_t game = 0; game < verdict.scores.size(); ++game)
            c.run("INSERT INTO scores (run, game, name, score, system, date)"
                  " SELECT id, $2, name, $3, system, submitted FROM runs WHERE id = $1 ON CONFLICT (run, game) DO NOTHING",
                  {job.id, std::to_string(game), std::to_string(verdict.scores[game])});
    c.run("DELETE FROM jobs WHERE run = $1", {job.id});
    tx.commit();
    return verify_outcome::judged;
}

int postgres_store::requeue_abandoned(const std::string&)
{
    // Nothing to do: the jobs of workers that stopped were never taken away.
    return 0;
}
