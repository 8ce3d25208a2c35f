// Runs a client may post: a bucket of `per_minute` tokens per address,
// refilled continuously. Memory stays bounded however many addresses come:
// past `max_addresses` the one heard from longest ago is forgotten (a
// forgotten address starts again with a full bucket). IPv6 addresses count
// by their /64, the block one host usually has.
#pragma once

#include <list>
#include <mutex>
#include <string>
#include <unordered_map>

class rate_limiter {
public:
    explicit rate_limiter(int per_minute, size_t max_addresses = 100000);

    // Takes a token for the address at time `now` (seconds, any monotonic
    // origin). Returns 0 when allowed, else the whole seconds to wait.
    int take(const std::string& address, double now);

    size_t addresses() const;

private:
    struct bucket {
        std::string key;
        double tokens;
        double updated;
    };
    double capacity_;
    double per_second_;
    size_t max_addresses_;
    mutable std::mutex mutex_;
    std::list<bucket> recent_;  // most recently heard first
    std::unordered_map<std::string, std::list<bucket>::iterator> by_key_;
};

// What of an address is limited: IPv4 as it is, IPv6 by its /64,
// an IPv4-mapped IPv6 address as the IPv4 one.
std::string rate_key(const std::string& address);
