// Posts through libcurl, loaded when first needed: players who never send a
// run neither need the library nor pay for loading it.
#include "app/http_post.h"

#if defined(__EMSCRIPTEN__)

// A page posts through the browser, not through this.
std::unique_ptr<http_poster> open_http_poster(std::string& error)
{
    error = "this build has no HTTP client";
    return nullptr;
}

#else

#include <dlfcn.h>
#include <strings.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>

#define CURL_DISABLE_TYPECHECK 1
#define CURL_DISABLE_DEPRECATION 1
#include <curl/curl.h>

namespace {

// The few entry points used, taken from the library.
struct curl_library {
    void* handle = nullptr;
    decltype(&curl_global_init) global_init = nullptr;
    decltype(&curl_easy_init) easy_init = nullptr;
    decltype(&curl_easy_setopt) easy_setopt = nullptr;
    decltype(&curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&curl_easy_strerror) easy_strerror = nullptr;
    decltype(&curl_slist_append) slist_append = nullptr;
    decltype(&curl_slist_free_all) slist_free_all = nullptr;
    decltype(&curl_multi_init) multi_init = nullptr;
    decltype(&curl_multi_add_handle) multi_add_handle = nullptr;
    decltype(&curl_multi_perform) multi_perform = nullptr;
    decltype(&curl_multi_wait) multi_wait = nullptr;
    decltype(&curl_multi_info_read) multi_info_read = nullptr;
    decltype(&curl_multi_remove_handle) multi_remove_handle = nullptr;
    decltype(&curl_multi_cleanup) multi_cleanup = nullptr;

    template <typename F>
    bool take(F& f, const char* name)
    {
        f = reinterpret_cast<F>(dlsym(handle, name));
        return f != nullptr;
    }
    bool load(std::string& error)
    {
        handle = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            error = "libcurl (libcurl.so.4) is not installed";
            return false;
        }
        if (!take(global_init, "curl_global_init") || !take(easy_init, "curl_easy_init") ||
            !take(easy_setopt, "curl_easy_setopt") ||
            !take(easy_getinfo, "curl_easy_getinfo") || !take(easy_cleanup, "curl_easy_cleanup") ||
            !take(easy_strerror, "curl_easy_strerror") || !take(slist_append, "curl_slist_append") ||
            !take(slist_free_all, "curl_slist_free_all") || !take(multi_init, "curl_multi_init") ||
            !take(multi_add_handle, "curl_multi_add_handle") || !take(multi_perform, "curl_multi_perform") ||
            !take(multi_wait, "curl_multi_wait") || !take(multi_info_read, "curl_multi_info_read") ||
            !take(multi_remove_handle, "curl_multi_remove_handle") || !take(multi_cleanup, "curl_multi_cleanup")) {
            error = "libcurl.so.4 lacks functions the game needs (it is older than 7.28)";
            return false;
        }
        // Once per process, before any other use; the library stays loaded
        // (and initialised) until the program ends.
        if (global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            error = "libcurl could not start";
            return false;
        }
        return true;
    }
};

struct transfer {
    std::string body;
    int retry_after = -1;
};

size_t on_body(char* data, size_t size, size_t count, void* user)
{
    auto* t = static_cast<transfer*>(user);
    const size_t n = size * count;
    const size_t room = HTTP_MAX_ANSWER - t->body.size();
    t->body.append(data, n < room ? n : room);
    return n;  // the rest is read and dropped
}

size_t on_header(char* data, size_t size, size_t count, void* user)
{
    auto* t = static_cast<transfer*>(user);
    const size_t n = size * count;
    static const char name[] = "retry-after:";
    const size_t len = sizeof name - 1;
    if (n > len && strncasecmp(data, name, len) == 0) {
        size_t i = len;
        while (i < n && (data[i] == ' ' || data[i] == '\t'))
            ++i;
        long seconds = 0;
        size_t digits = 0;
        for (; i < n && std::isdigit(static_cast<unsigned char>(data[i])) && digits < 9; ++i, ++digits)
            seconds = seconds * 10 + (data[i] - '0');
        if (digits > 0)
            t->retry_after = static_cast<int>(seconds);
    }
    return n;
}

class curl_poster : public http_poster {
public:
    explicit curl_poster(const curl_library& lib) : lib_(lib) {}

    http_answer post(const std::string& url, const std::vector<std::string>& headers, const std::string& body) override
    {
        http_answer answer;
        if (cancelled_) {
            answer.error = "stopped";
            return answer;
        }
        CURL* easy = lib_.easy_init();
        if (!easy) {
            answer.error = "libcurl could not make a transfer";
            return answer;
        }
        curl_slist* list = nullptr;
        for (const std::string& h : headers)
            list = lib_.slist_append(list, h.c_str());
        // No wait for a "100 Continue" before a large body.
        list = lib_.slist_append(list, "Expect:");
        transfer t;
        char why[CURL_ERROR_SIZE] = {};
        const auto set = lib_.easy_setopt;
        set(easy, CURLOPT_URL, url.c_str());
        // Only the web's two protocols, here and on a redirect (none is
        // followed: a score table that moved says so in its status).
        if (set(easy, CURLOPT_PROTOCOLS_STR, "http,https") != CURLE_OK)
            set(easy, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
        set(easy, CURLOPT_FOLLOWLOCATION, 0L);
        set(easy, CURLOPT_NOSIGNAL, 1L);
        set(easy, CURLOPT_CONNECTTIMEOUT, static_cast<long>(HTTP_CONNECT_SECONDS));
        set(easy, CURLOPT_TIMEOUT, static_cast<long>(HTTP_TOTAL_SECONDS));
        set(easy, CURLOPT_POST, 1L);
        set(easy, CURLOPT_POSTFIELDS, body.data());
        set(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        set(easy, CURLOPT_HTTPHEADER, list);
        set(easy, CURLOPT_WRITEFUNCTION, on_body);
        set(easy, CURLOPT_WRITEDATA, &t);
        set(easy, CURLOPT_HEADERFUNCTION, on_header);
        set(easy, CURLOPT_HEADERDATA, &t);
        set(easy, CURLOPT_ERRORBUFFER, why);
        set(easy, CURLOPT_USERAGENT, "kelvora3d");
        // Driven here, a tenth of a second at a time at most, so that a
        // cancel takes effect at once whatever the transfer waits for.
        CURLcode done = CURLE_OK;
        CURLM* multi = lib_.multi_init();
        if (!multi || lib_.multi_add_handle(multi, easy) != CURLM_OK) {
            done = CURLE_OUT_OF_MEMORY;
        } else {
            for (int running = 1;;) {
                if (lib_.multi_perform(multi, &running) != CURLM_OK) {
                    done = CURLE_RECV_ERROR;
                    break;
                }
                if (!running) {
                    int left = 0;
                    const CURLMsg* m = lib_.multi_info_read(multi, &left);
                    done = m && m->msg == CURLMSG_DONE ? m->data.result : CURLE_RECV_ERROR;
                    break;
                }
                if (cancelled_) {
                    done = CURLE_ABORTED_BY_CALLBACK;
                    break;
                }
                lib_.multi_wait(multi, nullptr, 0, 100, nullptr);
            }
            lib_.multi_remove_handle(multi, easy);
        }
        if (multi)
            lib_.multi_cleanup(multi);
        if (done == CURLE_OK) {
            long status = 0;
            lib_.easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
            answer.status = static_cast<int>(status);
            answer.body = std::move(t.body);
            answer.retry_after = t.retry_after;
        } else if (done == CURLE_ABORTED_BY_CALLBACK) {
            answer.error = "stopped";
        } else {
            answer.error = why[0] ? why : lib_.easy_strerror(done);
        }
        lib_.easy_cleanup(easy);
        lib_.slist_free_all(list);
        return answer;
    }

    void cancel() override { cancelled_ = true; }

private:
    const curl_library& lib_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace

std::unique_ptr<http_poster> open_http_poster(std::string& error)
{
    // Loaded once, by the first caller; a failure is remembered.
    static curl_library lib;
    static std::string why;
    static const bool loaded = lib.load(why);
    if (!loaded) {
        error = why;
        return nullptr;
    }
    return std::make_unique<curl_poster>(lib);
}

#endif
