#include "server/run_store.h"

#include "server/postgres_store.h"
#include "server/sqlite_store.h"

#include <chrono>

const char* status_name(run_status s)
{
    switch (s) {
    case run_status::queued: return "queued";
    case run_status::verifying: return "verifying";
    case run_status::verified: return "verified";
    case run_status::rejected: return "rejected";
    }
    return "queued";
}

std::optional<run_status> status_from_name(const std::string& name)
{
    for (run_status s : {run_status::queued, run_status::verifying, run_status::verified, run_status::rejected})
        if (name == status_name(s))
            return s;
    return std::nullopt;
}

bool is_postgres_url(const std::string& database)
{
    return database.rfind("postgresql://", 0) == 0 || database.rfind("postgres://", 0) == 0;
}

std::unique_ptr<run_store> open_run_store(const std::string& database, int lease_seconds)
{
    if (is_postgres_url(database))
        return std::make_unique<postgres_store>(database, lease_seconds);
    return std::make_unique<sqlite_store>(database);
}

unix_ms now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

run_verdict worn_out_verdict(int attempts)
{
    run_verdict v;
    v.reason = "it could not be verified: its replay stopped the verifier " + std::to_string(attempts) + " times";
    return v;
}
