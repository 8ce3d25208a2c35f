// What the server answers: the JSON API under /api/, the score page at "/"
// and the game's files under /play/. Needs no network (the HTTP front and
// the fuzz target both feed it), and every input is taken as hostile.
#pragma once

#include <functional>
#include <string>

#include "server/http_exchange.h"
#include "server/rate_limiter.h"
#include "server/store_pool.h"
#include "server/verify/verify.h"

struct api_settings {
    size_t max_body = size_t(8) << 20;
    verify_limits limits;        // max_frames for the cheap checks
    std::string allow_origin;    // CORS; empty: same origin only
    std::string web_dir;         // served under /play/; empty: none
};

class score_api {
public:
    // `queued` is told of every new run (the workers of this process wake).
    score_api(api_settings settings, store_pool& stores, rate_limiter& limiter,
              std::function<void()> queued = {});

    // `now` in seconds on a monotonic clock, for the rate limit.
    http_answer handle(const http_request& request, double now);

private:
    http_answer submit(const http_request& request, const parsed_target& target, double now);
    http_answer run(const std::string& id);
    http_answer scores(const parsed_target& target);
    http_answer recent(const parsed_target& target);
    http_answer page();
    http_answer web(const http_request& request, const std::string& relative);
    void add_cors(http_answer& answer, bool preflight) const;
    // Runs `use` with a connection of the pool; a failure of the store is
    // said on stderr and answered 503 (the connection is not reused).
    template <class Use>
    http_answer with_store(Use&& use);

    api_settings settings_;
    store_pool& stores_;
    rate_limiter& limiter_;
    std::function<void()> queued_;
};

// A JSON answer {"error": text}.
http_answer error_answer(int status, const std::string& text);
