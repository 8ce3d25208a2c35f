// The HTTP side (cpp-httplib): connections, timeouts, the body limit, and
// every request handed to score_api.
#pragma once

#include <memory>
#include <string>

#include "server/score_api.h"

namespace httplib {
class Server;
}

class http_front {
public:
    // Binds at once; throws std::runtime_error when it cannot.
    http_front(score_api& api, size_t max_body, const std::string& host, int port);
    ~http_front();
    int port() const { return port_; }
    // Answers until stop(); false when listening failed.
    bool run();
    void stop();

private:
    std::unique_ptr<httplib::Server> server_;
    int port_ = 0;
};
