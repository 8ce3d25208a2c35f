#include "server/server_options.h"

#include <charconv>

const char* const SERVER_USAGE =
    "usage: kelvora3d-scores [options]\n"
    "The online score table of Kelvora 3D: takes recorded runs over HTTP, verifies\n"
    "each by playing it again, and shows the verified scores.\n"
    "  --database FILE|URL   SQLite file (default scores.db) or postgresql://...\n"
    "  --listen HOST:PORT    where to answer (default 127.0.0.1:8090; port 0: any free one)\n"
    "  --workers N           verifying threads in this process (default: one per core; 0: none)\n"
    "  --worker              verify only, no HTTP (PostgreSQL; any number, anywhere)\n"
    "  --data DIR            the game's data folder (default data/ beside the program,\n"
    "                        else ../share/kelvora3d/data)\n"
    "  --web DIR             serve the built game page (build/web) under /play/\n"
    "  --allow-origin ORIGIN let pages of ORIGIN use the API (CORS)\n"
    "  --max-body BYTES      largest run taken (default 8388608)\n"
    "  --max-frames N        longest run taken, in frames (default 216000, one hour)\n"
    "  --cpu-seconds N       CPU time of one verification (default 120)\n"
    "  --wall-seconds N      real time of one verification (default: CPU seconds + 60)\n"
    "  --memory-mb N         memory of one verification (default 1024)\n"
    "  --rate PER_MINUTE     runs one address may send a minute (default 30)\n"
    "  --help, --version\n";

namespace {

long long whole_number(const std::string& option, const std::string& text, long long lo, long long hi)
{
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi)
        throw bad_option(option + " takes a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) +
                         ", not \"" + text + "\"");
    return v;
}

void parse_listen(const std::string& text, server_options& o)
{
    // HOST:PORT, [IPv6]:PORT
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        throw bad_option("--listen takes HOST:PORT, such as 127.0.0.1:8090, not \"" + text + "\"");
    std::string host = text.substr(0, colon);
    if (host.front() == '[') {
        if (host.back() != ']' || host.size() < 3)
            throw bad_option("--listen takes [IPv6 address]:PORT, not \"" + text + "\"");
        host = host.substr(1, host.size() - 2);
    }
    o.host = host;
    o.port = static_cast<int>(whole_number("--listen's port", text.substr(colon + 1), 0, 65535));
}

}  // namespace

server_options parse_server_options(int argc, char** argv)
{
    server_options o;
    bool wall_given = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw bad_option(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--database") {
            o.database = value();
            if (o.database.empty())
                throw bad_option("--database needs a file or a postgresql:// URL");
        } else if (arg == "--listen") {
            parse_listen(value(), o);
        } else if (arg == "--workers") {
            o.workers = static_cast<int>(whole_number(arg, value(), 0, 256));
        } else if (arg == "--worker") {
            o.worker_only = true;
        } else if (arg == "--verify-one") {
            o.verify_one = true;
        } else if (arg == "--data") {
            o.data_dir = value();
        } else if (arg == "--web") {
            o.web_dir = value();
        } else if (arg == "--allow-origin") {
            o.allow_origin = value();
            for (char c : o.allow_origin)
                if (static_cast<unsigned char>(c) < 0x21 || c == 0x7f)
                    throw bad_option("--allow-origin takes an origin such as https://example.org or *");
            if (o.allow_origin.empty())
                throw bad_option("--allow-origin takes an origin such as https://example.org or *");
        } else if (arg == "--max-body") {
            o.max_body = static_cast<size_t>(whole_number(arg, value(), 1024, MAX_SCRIPT_BYTES));
        } else if (arg == "--max-frames") {
            o.limits.max_frames = static_cast<int>(whole_number(arg, value(), 1, MAX_SCRIPT_FRAMES));
        } else if (arg == "--cpu-seconds") {
            o.limits.cpu_seconds = static_cast<int>(whole_number(arg, value(), 1, 86400));
        } else if (arg == "--wall-seconds") {
            o.limits.wall_seconds = static_cast<int>(whole_number(arg, value(), 1, 86400));
            wall_given = true;
        } else if (arg == "--memory-mb") {
            o.limits.memory_mb = whole_number(arg, value(), 64, 1 << 20);
        } else if (arg == "--rate") {
            o.rate_per_minute = static_cast<int>(whole_number(arg, value(), 1, 1000000));
        } else if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else {
            throw bad_option("unknown option " + arg);
        }
    }
    // A replay waits for nothing: its time is CPU time, with room for a busy machine.
    if (!wall_given)
        o.limits.wall_seconds = o.limits.cpu_seconds + 60;
    if (o.worker_only && !o.database.starts_with("postgres"))
        throw bad_option("--worker needs a PostgreSQL database (--database postgresql://...); "
                         "with SQLite the server verifies in its own process (--workers N)");
    return o;
}
