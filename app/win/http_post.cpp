// Posts through WinHTTP, the system's own client: HTTPS with the system's
// certificates and proxy settings, nothing to ship beside the program.
#include "app/http_post.h"

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <mutex>

#include "runtime/win/wide.h"

using namespace kelvora;

namespace {

std::string why_failed(DWORD code)
{
    switch (code) {
    case ERROR_WINHTTP_CANNOT_CONNECT: return "could not connect to the server";
    case ERROR_WINHTTP_TIMEOUT: return "the server did not answer in time";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return "the server's name is not known";
    case ERROR_WINHTTP_CONNECTION_ERROR: return "the connection broke";
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: return "the secure connection failed";
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID: return "the server's certificate is for another name";
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID: return "the server's certificate has expired or is not valid yet";
    case ERROR_WINHTTP_SECURE_INVALID_CA: return "the server's certificate is from an unknown authority";
    case ERROR_WINHTTP_INVALID_URL:
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME: return "the address is not one WinHTTP can use";
    case ERROR_WINHTTP_OPERATION_CANCELLED: return "stopped";
    default: return "WinHTTP error " + std::to_string(code);
    }
}

class winhttp_poster : public http_poster {
public:
    ~winhttp_poster() override
    {
        if (session_)
            WinHttpCloseHandle(session_);
    }

    bool open(std::string& error)
    {
        // The system's proxy as the user set it (Windows 8.1 on), else the
        // one netsh configured.
        session_ = WinHttpOpen(L"kelvora3d", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, 0);
        if (!session_)
            session_ = WinHttpOpen(L"kelvora3d", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, 0);
        if (!session_) {
            error = "WinHTTP could not start (" + why_failed(GetLastError()) + ")";
            return false;
        }
        const int total = HTTP_TOTAL_SECONDS * 1000;
        WinHttpSetTimeouts(session_, HTTP_CONNECT_SECONDS * 1000, HTTP_CONNECT_SECONDS * 1000, total, total);
        return true;
    }

    http_answer post(const std::string& url, const std::vector<std::string>& headers, const std::string& body) override
    {
        http_answer answer;
        const DWORD started = GetTickCount();
        const std::wstring wide_url = Widen(url);
        URL_COMPONENTS parts = {};
        parts.dwStructSize = sizeof parts;
        parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = DWORD(-1);
        if (!WinHttpCrackUrl(wide_url.c_str(), 0, 0, &parts)) {
            answer.error = why_failed(GetLastError());
            return answer;
        }
        const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
        const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                                  std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
        HINTERNET connection = WinHttpConnect(session_, host.c_str(), parts.nPort, 0);
        if (!connection) {
            answer.error = why_failed(GetLastError());
            return answer;
        }
        HINTERNET request = WinHttpOpenRequest(connection, L"POST", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                               WINHTTP_DEFAULT_ACCEPT_TYPES,
                                               parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
        if (!request) {
            answer.error = why_failed(GetLastError());
            WinHttpCloseHandle(connection);
            return answer;
        }
        {
            // cancel() closes the request from its thread, which ends a
            // call waiting on it here.
            std::lock_guard<std::mutex> lock(mutex_);
            if (cancelled_) {
                WinHttpCloseHandle(request);
                WinHttpCloseHandle(connection);
                answer.error = "stopped";
                return answer;
            }
            request_ = request;
        }
        DWORD no_redirects = WINHTTP_DISABLE_REDIRECTS;
        WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &no_redirects, sizeof no_redirects);
        std::wstring header_text;
        for (const std::string& h : headers)
            header_text += Widen(h) + L"\r\n";
        // What is left of the whole post's time, for the next wait.
        auto left = [&]() -> DWORD {
            const DWORD spent = GetTickCount() - started;
            const DWORD total = HTTP_TOTAL_SECONDS * 1000;
            return spent < total ? total - spent : 1;
        };
        auto limit_wait = [&] {
            DWORD ms = left();
            WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
            WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &ms, sizeof ms);
        };
        bool ok = WinHttpSendRequest(request, header_text.c_str(), DWORD(-1), const_cast<char*>(body.data()),
                                     DWORD(body.size()), DWORD(body.size()), 0);
        if (ok) {
            limit_wait();
            ok = WinHttpReceiveResponse(request, nullptr);
        }
        if (ok) {
            DWORD status = 0, size = sizeof status;
            ok = WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                     WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
            answer.status = ok ? int(status) : 0;
            DWORD retry = 0;
            size = sizeof retry;
            if (ok && WinHttpQueryHeaders(request, WINHTTP_QUERY_RETRY_AFTER | WINHTTP_QUERY_FLAG_NUMBER,
                                          WINHTTP_HEADER_NAME_BY_INDEX, &retry, &size, WINHTTP_NO_HEADER_INDEX))
                answer.retry_after = retry > 1000000000 ? 1000000000 : int(retry);
        }
        // The answer's body, the part kept; the rest read and dropped.
        while (ok) {
            char buffer[8192];
            DWORD got = 0;
            limit_wait();
            if (!WinHttpReadData(request, buffer, sizeof buffer, &got)) {
                ok = false;
                break;
            }
            if (got == 0)
                break;
            const size_t room = HTTP_MAX_ANSWER - answer.body.size();
            answer.body.append(buffer, got < room ? got : room);
            if (GetTickCount() - started >= DWORD(HTTP_TOTAL_SECONDS) * 1000) {
                SetLastError(ERROR_WINHTTP_TIMEOUT);
                ok = false;
            }
        }
        if (!ok) {
            const DWORD code = GetLastError();
            answer = {};
            answer.error = cancelled_ ? "stopped" : why_failed(code);
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (request_)
                WinHttpCloseHandle(request_);
            request_ = nullptr;
        }
        WinHttpCloseHandle(connection);
        return answer;
    }

    void cancel() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
        if (request_)
            WinHttpCloseHandle(request_);
        request_ = nullptr;
    }

private:
    HINTERNET session_ = nullptr;
    std::mutex mutex_;
    HINTERNET request_ = nullptr;
    std::atomic<bool> cancelled_{false};
};

}  // namespace

std::unique_ptr<http_poster> open_http_poster(std::string& error)
{
    auto poster = std::make_unique<winhttp_poster>();
    if (!poster->open(error))
        return nullptr;
    return poster;
}
