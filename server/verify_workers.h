// Threads that take queued runs from the store and have them verified,
// each on a connection of its own. They look for work when told a run was
// queued and every `poll` otherwise (runs queued by another process), and
// start again on a fresh connection after a failure of the store.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/run_store.h"

class verify_workers {
public:
    using opener = std::function<std::unique_ptr<run_store>()>;
    using verifier = std::function<run_verdict(const queued_run&)>;

    // `name_prefix` + the thread's number names each worker in the store.
    verify_workers(opener open, verifier verify, std::string name_prefix, int count,
                   std::chrono::milliseconds poll = std::chrono::milliseconds(500));
    ~verify_workers();

    void wake();
    // Asks every thread to stop after the run it is verifying; true when
    // all had stopped within `wait` (they are joined then).
    bool stop(std::chrono::milliseconds wait);
    const std::string& name_prefix() const { return prefix_; }

private:
    void work(int number);

    opener open_;
    verifier verify_;
    std::string prefix_;
    std::chrono::milliseconds poll_;
    std::mutex mutex_;
    std::condition_variable signal_;
    uint64_t wakes_ = 0;
    bool stopping_ = false;
    int running_ = 0;
    std::condition_variable ended_;
    std::vector<std::thread> threads_;
};
