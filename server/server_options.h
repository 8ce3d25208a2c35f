// kelvora3d-scores's command line.
#pragma once

#include <stdexcept>
#include <string>

#include "server/verify/verify.h"

struct server_options {
    std::string database = "scores.db";
    std::string host = "127.0.0.1";
    int port = 8090;             // 0: any free port (said on stderr)
    int workers = -1;            // -1: one per core
    bool worker_only = false;    // --worker
    bool verify_one = false;     // the sandboxed child of a worker
    std::string data_dir;        // empty: beside the program, else ../share/kelvora3d/data
    std::string web_dir;
    std::string allow_origin;
    size_t max_body = size_t(8) << 20;
    verify_limits limits;
    int rate_per_minute = 30;
    bool help = false;
    bool version = false;
};

// Throws bad_option with one sentence on anything it cannot take.
struct bad_option : std::runtime_error {
    using std::runtime_error::runtime_error;
};
server_options parse_server_options(int argc, char** argv);

extern const char* const SERVER_USAGE;
