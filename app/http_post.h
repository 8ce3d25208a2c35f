// HTTP and HTTPS posts through the system's own client: libcurl on Linux,
// loaded only when first asked for (app/posix/), WinHTTP on Windows
// (app/win/). Used from one thread at a time; cancel() from any.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// A connection must be made within this many seconds, and a whole post
// (connection, request and answer) must end within the other.
constexpr int HTTP_CONNECT_SECONDS = 5;
constexpr int HTTP_TOTAL_SECONDS = 30;
// The answer's body is kept up to this many bytes; the rest is dropped.
constexpr size_t HTTP_MAX_ANSWER = 64 * 1024;

struct http_answer {
    int status = 0;         // the HTTP status; 0 when no answer came
    std::string body;       // at most HTTP_MAX_ANSWER bytes of it
    int retry_after = -1;   // seconds, when the answer had a Retry-After of seconds
    std::string error;      // why no answer came, when status is 0
};

class http_poster {
public:
    virtual ~http_poster() = default;
    // Posts body to url (http:// or https://) with these header lines
    // ("Name: value"); waits for the answer within the timeouts above.
    virtual http_answer post(const std::string& url, const std::vector<std::string>& headers,
                             const std::string& body) = 0;
    // From any thread: a post in progress ends within about a second with
    // no answer, and so does every later one at once.
    virtual void cancel() = 0;
};

// The system's client; null, with one sentence in error, when it cannot be
// had (libcurl is not installed).
std::unique_ptr<http_poster> open_http_poster(std::string& error);
