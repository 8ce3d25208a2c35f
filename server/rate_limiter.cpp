#include "server/rate_limiter.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cmath>
#include <cstring>

rate_limiter::rate_limiter(int per_minute, size_t max_addresses)
    : capacity_(std::max(1, per_minute)), per_second_(std::max(1, per_minute) / 60.0),
      max_addresses_(std::max<size_t>(1, max_addresses))
{
}

int rate_limiter::take(const std::string& address, double now)
{
    const std::string key = rate_key(address);
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = by_key_.find(key);
    if (found == by_key_.end()) {
        if (by_key_.size() >= max_addresses_) {
            by_key_.erase(recent_.back().key);
            recent_.pop_back();
        }
        recent_.push_front({key, capacity_, now});
        found = by_key_.emplace(key, recent_.begin()).first;
    } else {
        recent_.splice(recent_.begin(), recent_, found->second);
    }
    bucket& b = *found->second;
    b.tokens = std::min(capacity_, b.tokens + std::max(0.0, now - b.updated) * per_second_);
    b.updated = std::max(b.updated, now);
    if (b.tokens >= 1) {
        b.tokens -= 1;
        return 0;
    }
    return std::max(1, static_cast<int>(std::ceil((1 - b.tokens) / per_second_)));
}

size_t rate_limiter::addresses() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return by_key_.size();
}

std::string rate_key(const std::string& address)
{
    unsigned char v6[16];
    if (inet_pton(AF_INET6, address.c_str(), v6) != 1)
        return address;
    static const unsigned char mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    char text[INET6_ADDRSTRLEN];
    if (std::memcmp(v6, mapped, sizeof mapped) == 0)
        return inet_ntop(AF_INET, v6 + 12, text, sizeof text) ? text : address;
    std::memset(v6 + 8, 0, 8);
    return inet_ntop(AF_INET6, v6, text, sizeof text) ? std::string(text) + "/64" : address;
}
