#include "server/score_api.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "server/iso_time.h"
#include "app/player_name.h"
#include "app/sha256.h"
#include "server/score_page.h"
#include "server/web_files.h"

using json = nlohmann::json;
namespace fs = std::filesystem;

namespace {

constexpr const char* SECRET_HEADER = "X-Kelvora-Secret";

http_answer json_answer(int status, const json& value)
{
    http_answer a;
    a.status = status;
    // Text from the store that is not UTF-8 is shown replaced, never thrown on.
    a.body = value.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    return a;
}

// A count from the query: `fallback` when absent, within 1..most; false
// when it is not a whole number.
bool count_param(const parsed_target& target, const char* name, int fallback, int most, int& out)
{
    std::string text;
    if (!target.param(name, text)) {
        out = fallback;
        return true;
    }
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || end != text.data() + text.size() || (ec != std::errc() && ec != std::errc::result_out_of_range))
        return false;
    out = ec == std::errc::result_out_of_range ? (text[0] == '-' ? 1 : most)
                                                : static_cast<int>(std::clamp<long long>(v, 1, most));
    return true;
}

json scores_json(const std::vector<int>& scores)
{
    json list = json::array();
    for (int s : scores)
        list.push_back(s);
    return list;
}

json run_json(const stored_run& r)
{
    json j = {{"id", r.id},
              {"name", r.name},
              {"system", r.system},
              {"version", r.version},
              {"frames", r.frames},
              {"submitted", iso_time(r.submitted)},
              {"status", status_name(r.status)}};
    if (r.status == run_status::rejected)
        j["reason"] = r.reason;
    if (r.verified_at && (r.status == run_status::verified || r.status == run_status::rejected))
        j["verified_at"] = iso_time(*r.verified_at);
    j["scores"] = scores_json(r.scores);
    return j;
}

// Said on stderr, then answered as unavailable: the client tries again later.
http_answer store_failed(const std::exception& e)
{
    std::fprintf(stderr, "kelvora3d-scores: %s\n", e.what());
    http_answer a = error_answer(503, "the score table is unavailable for a moment; try again later");
    a.headers.emplace_back("Retry-After", "30");
    return a;
}

// "kelvora3d.0123abcd.js": between the last two dots, 8 to 64
// lowercase hexadecimal digits.
bool named_by_content(const std::string& file_name)
{
    const size_t ext = file_name.rfind('.');
    const size_t hash = ext == std::string::npos || ext == 0 ? std::string::npos : file_name.rfind('.', ext - 1);
    if (hash == std::string::npos)
        return false;
    const std::string middle = file_name.substr(hash + 1, ext - hash - 1);
    return middle.size() >= 8 && middle.size() <= 64 &&
           middle.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// The file's identity for revalidation: its size and change time.
std::string etag_of(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return {};
    return "\"" + std::to_string(st.st_size) + "-" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + "\"";
}

}  // namespace

http_answer error_answer(int status, const std::string& text) { return json_answer(status, {{"error", text}}); }

score_api::score_api(api_settings settings, store_pool& stores, rate_limiter& limiter, std::function<void()> queued)
    : settings_(std::move(settings)), stores_(stores), limiter_(limiter), queued_(std::move(queued))
{
}

template <class Use>
http_answer score_api::with_store(Use&& use)
{
    try {
        auto store = stores_.borrow();
        try {
            return use(*store);
        } catch (...) {
            store.discard();
            throw;
        }
    } catch (const std::exception& e) {
        return store_failed(e);
    }
}

void score_api::add_cors(http_answer& answer, bool preflight) const
{
    if (settings_.allow_origin.empty())
        return;
    answer.headers.emplace_back("Access-Control-Allow-Origin", settings_.allow_origin);
    answer.headers.emplace_back("Vary", "Origin");
    if (preflight) {
        answer.headers.emplace_back("Access-Control-Allow-Methods", "GET, POST, OPTIONS");
        answer.headers.emplace_back("Access-Control-Allow-Headers", std::string("Content-Type, ") + SECRET_HEADER);
        answer.headers.emplace_back("Access-Control-Max-Age", "600");
    } else {
        answer.headers.emplace_back("Access-Control-Expose-Headers", "Retry-After");
    }
}

http_answer score_api::handle(const http_request& request, double now)
{
    const parsed_target target = parse_target(request.target);
    const std::string& path = target.path;
    // HEAD is answered as GET; the front sends the headers only.
    const bool get = request.method == "GET" || request.method == "HEAD";

    if (path.rfind("/api/", 0) == 0) {
        http_answer a;
        if (request.method == "OPTIONS") {
            a.status = 204;
            a.content_type.clear();
            a.headers.emplace_back("Allow", "GET, POST, OPTIONS");
            add_cors(a, true);
            return a;
        }
        const std::string runs_prefix = "/api/runs/";
        if (path == "/api/runs")
            a = request.method == "POST" ? submit(request, target, now) : error_answer(405, "runs are sent with POST");
        else if (path.rfind(runs_prefix, 0) == 0)
            a = get ? run(path.substr(runs_prefix.size())) : error_answer(405, "a run is read with GET");
        else if (path == "/api/scores")
            a = get ? scores(target) : error_answer(405, "the table is read with GET");
        else if (path == "/api/recent")
            a = get ? recent(target) : error_answer(405, "the recent runs are read with GET");
        else
            a = error_answer(404, "there is no such thing here");
        if (a.status == 405)
            a.headers.emplace_back("Allow", path == "/api/runs" ? "POST, OPTIONS" : "GET, HEAD, OPTIONS");
        add_cors(a, false);
        return a;
    }
    if (!get) {
        http_answer a = error_answer(405, "only GET is answered here");
        a.headers.emplace_back("Allow", "GET, HEAD");
        return a;
    }
    if (path == "/")
        return page();
    if (!settings_.web_dir.empty() && path == "/play") {
        http_answer a = error_answer(301, "the game is at /play/");
        a.headers.emplace_back("Location", "/play/");
        return a;
    }
    if (!settings_.web_dir.empty() && path.rfind("/play/", 0) == 0)
        return web(request, path.substr(6));
    return error_answer(404, "there is no such page");
}

http_answer score_api::submit(const http_request& request, const parsed_target& target, double now)
{
    if (request.body.size() > settings_.max_body)
        return error_answer(413, "a run may be at most " + std::to_string(settings_.max_body) + " bytes");
    if (const int wait = limiter_.take(request.remote_addr, now)) {
        http_answer a = error_answer(429, "too many runs from this address; try again in " + std::to_string(wait) + " s");
        a.headers.emplace_back("Retry-After", std::to_string(wait));
        return a;
    }
    std::string raw_name, why;
    if (!target.param("name", raw_name))
        return error_answer(400, "a name is needed (?name=...)");
    const auto name = valid_player_name(raw_name, why);
    if (!name)
        return error_answer(400, why);
    const std::string secret = request.header(SECRET_HEADER);
    if (!valid_secret(secret))
        return error_answer(400, std::string("the ") + SECRET_HEADER +
                                     " header must be 64 lowercase hexadecimal characters");

    recording_info info;
    const std::string reason = precheck_recording(request.body, settings_.limits, &info);
    if (!reason.empty())
        return json_answer(422, {{"status", "rejected"}, {"reason", reason}});

    new_run run;
    run.id = sha256_hex(request.body);
    run.name = *name;
    run.system = info.system.empty() ? "unknown" : info.system;
    run.version = info.version;
    run.frames = info.frames;
    run.body = request.body;
    run.submitted = now_ms();
    return with_store([&](run_store& store) {
        if (store.claim_name(run.name, sha256_hex(secret), run.submitted) == name_claim::other_owner)
            return error_answer(403, "the name " + run.name + " belongs to another player");
        if (store.add_run(run)) {
            if (queued_)
                queued_();
            return json_answer(202, {{"id", run.id}, {"status", "queued"}});
        }
        const auto existing = store.find_run(run.id);
        if (!existing)
            throw std::runtime_error("run " + run.id + " was there and is gone");
        json j = {{"id", run.id}, {"status", status_name(existing->status)}};
        if (existing->status == run_status::rejected)
            j["reason"] = existing->reason;
        return json_answer(200, j);
    });
}

http_answer score_api::run(const std::string& id)
{
    if (!valid_run_id(id))
        return error_answer(404, "there is no such run");
    return with_store([&](run_store& store) {
        const auto r = store.find_run(id);
        return r ? json_answer(200, run_json(*r)) : error_answer(404, "there is no such run");
    });
}

http_answer score_api::scores(const parsed_target& target)
{
    int top = 0;
    if (!count_param(target, "top", 10, 100, top))
        return error_answer(400, "top is a whole number from 1 to 100");
    return with_store([&](run_store& store) {
        json list = json::array();
        int rank = 0;
        for (const auto& row : store.best_scores(top))
            list.push_back({{"rank", ++rank},
                            {"name", row.name},
                            {"score", row.score},
                            {"date", iso_time(row.date)},
                            {"system", row.system},
                            {"run", row.run}});
        return json_answer(200, {{"scores", list}});
    });
}

http_answer score_api::recent(const parsed_target& target)
{
    int count = 0;
    if (!count_param(target, "count", 10, 100, count))
        return error_answer(400, "count is a whole number from 1 to 100");
    return with_store([&](run_store& store) {
        json list = json::array();
        for (const auto& r : store.recent_verified(count))
            list.push_back({{"id", r.id},
                            {"name", r.name},
                            {"system", r.system},
                            {"verified_at", iso_time(r.verified_at.value_or(0))},
                            {"scores", scores_json(r.scores)}});
        return json_answer(200, {{"runs", list}});
    });
}

http_answer score_api::page()
{
    return with_store([&](run_store& store) {
        http_answer a;
        a.content_type = "text/html; charset=utf-8";
        a.body = score_page(store.best_scores(20), store.recent_verified(10), !settings_.web_dir.empty());
        a.headers.emplace_back("Cache-Control", "no-cache");
        return a;
    });
}

http_answer score_api::web(const http_request& request, const std::string& relative)
{
    const auto file = find_web_file(settings_.web_dir, relative);
    if (!file)
        return error_answer(404, "there is no such file");
    http_answer a;
    // The page's files are named after their content (kelvora3d.<hash>.js):
    // kept for good. index.html, which names them, is asked for again each
    // time, so a new build shows at once.
    a.headers.emplace_back("Cache-Control", named_by_content(fs::path(file->path).filename().string())
                                                ? "public, max-age=31536000, immutable"
                                                : "no-cache");
    const std::string etag = etag_of(file->path);
    if (!etag.empty()) {
        a.headers.emplace_back("ETag", etag);
        if (request.header("If-None-Match") == etag) {
            a.status = 304;
            a.content_type.clear();
            return a;
        }
    }
    a.content_type = file->content_type;
    a.file = file->path;
    return a;
}
