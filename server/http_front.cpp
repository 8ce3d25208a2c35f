#include "server/http_front.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>

namespace {

// Connections served at once. A slow client holds one until a read or a
// write times out.
constexpr size_t CONNECTION_THREADS = 64;

double monotonic_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

const char* status_text(int status)
{
    switch (status) {
    case 400: return "the request is malformed";
    case 404: return "there is no such thing here";
    case 413: return "the request is too large";
    case 414: return "the address is too long";
    case 416: return "that range cannot be sent";
    case 500: return "the server failed to answer";
    default: return "the request cannot be answered";
    }
}

void send_file(httplib::Response& res, const http_answer& a)
{
    auto in = std::make_shared<std::ifstream>(a.file, std::ios::binary);
    in->seekg(0, std::ios::end);
    const std::streamoff size = in->tellg();
    if (!*in || size < 0) {
        res.status = 404;
        return;
    }
    res.set_content_provider(static_cast<size_t>(size), a.content_type,
                             [in](size_t offset, size_t length, httplib::DataSink& sink) {
                                 char buf[64 * 1024];
                                 in->seekg(static_cast<std::streamoff>(offset));
                                 in->read(buf, static_cast<std::streamsize>(std::min(length, sizeof buf)));
                                 const std::streamsize got = in->gcount();
                                 // A file cut short meanwhile ends the connection.
                                 return got > 0 && sink.write(buf, static_cast<size_t>(got));
                             });
}

}  // namespace

http_front::http_front(score_api& api, size_t max_body, const std::string& host, int port)
    : server_(std::make_unique<httplib::Server>())
{
    httplib::Server& s = *server_;
    s.new_task_queue = [] { return new httplib::ThreadPool(CONNECTION_THREADS); };
    s.set_payload_max_length(max_body);
    s.set_read_timeout(10, 0);
    s.set_write_timeout(30, 0);
    s.set_keep_alive_timeout(5);
    s.set_keep_alive_max_count(100);

    auto answer = [&api](const httplib::Request& req, httplib::Response& res, std::string body) {
        http_request r;
        r.method = req.method;
        r.target = req.target;
        for (const auto& [key, value] : req.headers)
            r.headers.emplace_back(key, value);
        r.body = std::move(body);
        r.remote_addr = req.remote_addr;
        const http_answer a = api.handle(r, monotonic_seconds());
        res.status = a.status;
        for (const auto& [key, value] : a.headers)
            res.set_header(key, value);
        if (!a.file.empty())
            send_file(res, a);
        else if (!a.content_type.empty())
            res.set_content(a.body, a.content_type);
    };
    auto without_body = [answer](const httplib::Request& req, httplib::Response& res) { answer(req, res, {}); };
    // Bodies are read here, as bytes, whatever their type says (httplib
    // would parse a form's and limit it to 8 KiB); the front's length limit
    // holds for them all the same.
    auto with_body = [answer, max_body](const httplib::Request& req, httplib::Response& res,
                                        const httplib::ContentReader& read) {
        std::string body;
        // Told by its length before a byte is read, or (chunked) on the way.
        bool too_large = req.has_header("Content-Length") &&
                         req.get_header_value<uint64_t>("Content-Length") > static_cast<uint64_t>(max_body);
        const bool whole = !too_large && read([&](const char* data, size_t length) {
            if (body.size() + length > max_body) {
                too_large = true;
                return false;
            }
            body.append(data, length);
            return true;
        });
        if (!whole) {
            res.status = too_large ? 413 : 400;
            res.set_header("Connection", "close");
            return;
        }
        answer(req, res, std::move(body));
    };
    const std::string any = ".*";
    s.Get(any, without_body);
    s.Options(any, without_body);
    s.Post(any, with_body);
    s.Put(any, with_body);
    s.Delete(any, with_body);
    s.Patch(any, with_body);
    // Refusals httplib makes itself (too large, malformed) answer in JSON too.
    s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty() && res.status >= 400)
            res.set_content(error_answer(res.status, status_text(res.status)).body, "application/json");
    });
    s.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
        try {
            std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kelvora3d-scores: a request failed: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "kelvora3d-scores: a request failed\n");
        }
        res.status = 500;
        res.set_content(error_answer(500, status_text(500)).body, "application/json");
    });

    // httplib listens with a backlog of 5, which drops and resets
    // connections when a few dozen clients arrive at once: the socket is
    // noted as it is made, and listens again with the system's limit.
    int listening = -1;
    s.set_socket_options([&listening](socket_t sock) {
        httplib::default_socket_options(sock);
        listening = sock;
    });
    if (port == 0)
        port_ = s.bind_to_any_port(host);
    else
        port_ = s.bind_to_port(host, port) ? port : -1;
    if (port_ <= 0 || listening < 0 || ::listen(listening, SOMAXCONN) != 0)
        throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port) +
                                 " (in use, or not an address of this machine)");
    s.set_socket_options(httplib::default_socket_options);
}

http_front::~http_front() = default;

bool http_front::run() { return server_->listen_after_bind(); }

void http_front::stop() { server_->stop(); }
