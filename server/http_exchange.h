// A request and its answer as the server's handlers see them, apart from
// any network: the HTTP front fills one from the connection and sends the
// other back; the fuzz target builds them from bytes.
#pragma once

#include <string>
#include <utility>
#include <vector>

using header_list = std::vector<std::pair<std::string, std::string>>;

struct http_request {
    std::string method;       // "GET", "POST", ...
    std::string target;       // the path and query as sent: "/api/runs?name=Ann"
    header_list headers;
    std::string body;
    std::string remote_addr;  // the client's address, for the rate limit
    // The first value of a header, whatever its case; empty when absent.
    std::string header(const std::string& name) const;
};

struct http_answer {
    int status = 200;
    std::string content_type = "application/json";
    std::string body;
    header_list headers;
    // A file to send as the body instead (static files of --web).
    std::string file;
};

// "/a%20b?x=1&y=%C3%A9+z": the path and its query parameters, decoded
// (a '+' in the query is a space). Parameters keep their order.
struct parsed_target {
    std::string path;
    std::vector<std::pair<std::string, std::string>> params;
    // The first value of a parameter; false when absent.
    bool param(const std::string& name, std::string& value) const;
};
parsed_target parse_target(const std::string& target);
