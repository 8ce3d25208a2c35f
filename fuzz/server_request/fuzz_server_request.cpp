// Requests to the score server as anyone on the network may send them: the
// input is "METHOD TARGET", header lines, a blank line and the body, handed
// to the router over a fresh SQLite store in memory, with a game folder for
// /play/. A body that starts like a recording is also tried sealed (its
// check recomputed), so that runs get past the cheap checks into the store;
// every queued run is then judged with made-up scores and the table, the
// recent runs and the page are read back.
#include <unistd.h>

#include <cinttypes>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "server/http_exchange.h"
#include "app/player_name.h"
#include "server/score_api.h"
#include "server/score_page.h"
#include "server/sqlite_store.h"
#include "server/store_pool.h"
#include "fuzz/sealed_recording.h"

namespace fs = std::filesystem;

namespace {

std::string web_root;

void expect(bool holds)
{
    if (!holds)
        __builtin_trap();
}

http_request parse(const std::string& input)
{
    http_request r;
    size_t at = input.find('\n');
    const std::string first = input.substr(0, at);
    const size_t space = first.find(' ');
    r.method = first.substr(0, space);
    r.target = space == std::string::npos ? "/" : first.substr(space + 1);
    while (at != std::string::npos) {
        const size_t end = input.find('\n', at + 1);
        const std::string line = input.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        at = end;
        if (line.empty())
            break;
        const size_t colon = line.find(':');
        r.headers.emplace_back(line.substr(0, colon),
                               colon == std::string::npos ? std::string() : line.substr(colon + 1 + (line[colon + 1] == ' ')));
    }
    r.body = at == std::string::npos ? std::string() : input.substr(at + 1);
    r.remote_addr = r.header("X-Test-Address").empty() ? "127.0.0.1" : r.header("X-Test-Address");
    return r;
}

void check_answer(const http_answer& a)
{
    expect(a.status >= 200 && a.status < 600);
    if (a.content_type == "application/json")
        expect(nlohmann::json::accept(a.body));
    if (!a.file.empty()) {
        // Served files are inside the game's folder, whatever the path said.
        const std::string real = fs::canonical(a.file).string();
        expect(real.rfind(web_root + "/", 0) == 0);
    }
}

void one_request(const std::string& input)
{
    const http_request request = parse(input);

    std::string why;
    if (const auto name = valid_player_name(request.body, why)) {
        expect(!name->empty() && name->size() <= 4 * MAX_NAME_CHARACTERS);
        expect(name->front() != ' ' && name->back() != ' ');
        expect(nlohmann::json::accept(nlohmann::json(*name).dump()));
    }
    const std::string escaped = html_escape(request.body);
    expect(escaped.find_first_of("<>\"'") == std::string::npos);

    store_pool stores([] { return std::make_unique<sqlite_store>(":memory:"); }, 1);
    rate_limiter limiter(30, 16);
    api_settings settings;
    settings.max_body = 1 << 16;
    settings.limits.max_frames = 2000;
    settings.allow_origin = "https://example.org";
    settings.web_dir = web_root;
    score_api api(settings, stores, limiter);

    check_answer(api.handle(request, 1.0));
    if (request.body.rfind(RECORDING_MAGIC, 0) == 0) {
        http_request again = request;
        again.body = sealed_recording(request.body);
        check_answer(api.handle(again, 2.0));
    }
    // Posts from many addresses: the limiter forgets the oldest.
    for (int i = 0; i < 20; ++i) {
        http_request from = request;
        from.remote_addr = (i % 2 ? "10.0.0." : "2001:db8::") + std::to_string(i * 7 + static_cast<int>(input.size()));
        check_answer(api.handle(from, 4.0 + i));
    }
    expect(limiter.addresses() <= 16);
    {
        // Until none is left, or the worker fails (it would pause, here it stops).
        auto store = stores.borrow();
        for (;;) {
            const verify_outcome done = store->verify_next("fuzz/1", [&](const queued_run& job) {
                run_verdict v;
                v.verified = job.body.size() % 3 != 0;
                v.reason = job.name;
                v.worker_fault = job.body.size() % 7 == 0;
                v.scores = {static_cast<int>(job.body.size()) - 500, -125000};
                return v;
            });
            if (done != verify_outcome::judged)
                break;
        }
    }
    for (const char* read : {"/", "/api/scores?top=100", "/api/recent?count=100"}) {
        http_request r;
        r.method = "GET";
        r.target = read;
        const http_answer a = api.handle(r, 3.0);
        expect(a.status == 200);
        check_answer(a);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The game's folder: a page, a file in a subfolder, a hidden file, and a
    // secret beside the folder that no path may reach.
    char dir[] = "/tmp/kv-fuzz-web-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const fs::path base = fs::canonical(dir);
    fs::create_directories(base / "web" / "sub");
    std::ofstream(base / "web" / "index.html") << "<p>game</p>";
    std::ofstream(base / "web" / "sub" / "kelvora3d.wasm") << "wasm";
    std::ofstream(base / "web" / ".hidden") << "hidden";
    std::ofstream(base / "secret.txt") << "secret";
    fs::create_symlink(base / "secret.txt", base / "web" / "link.txt");
    web_root = (base / "web").string();
    static const std::string made = base.string();
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(made, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    one_request(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
