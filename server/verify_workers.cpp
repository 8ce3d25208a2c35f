#include "server/verify_workers.h"

#include <cstdio>
#include <optional>

verify_workers::verify_workers(opener open, verifier verify, std::string name_prefix, int count,
                               std::chrono::milliseconds poll)
    : open_(std::move(open)), verify_(std::move(verify)), prefix_(std::move(name_prefix)), poll_(poll)
{
    running_ = count;
    for (int i = 0; i < count; ++i)
        threads_.emplace_back([this, i] { work(i + 1); });
}

verify_workers::~verify_workers()
{
    // Threads still in a replay after stop() are left to the process's end.
    for (auto& t : threads_)
        if (t.joinable())
            t.detach();
}

void verify_workers::wake()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++wakes_;
    }
    signal_.notify_one();
}

bool verify_workers::stop(std::chrono::milliseconds wait)
{
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    signal_.notify_all();
    if (!ended_.wait_for(lock, wait, [&] { return running_ == 0; }))
        return false;
    lock.unlock();
    for (auto& t : threads_)
        t.join();
    threads_.clear();
    return true;
}

void verify_workers::work(int number)
{
    const std::string name = prefix_ + std::to_string(number);
    std::unique_ptr<run_store> store;
    // Until the time is up, stop() or (when `seen` is given) a new run.
    auto pause = [&](std::chrono::milliseconds how_long, std::optional<uint64_t> seen) {
        std::unique_lock<std::mutex> lock(mutex_);
        signal_.wait_for(lock, how_long, [&] { return stopping_ || (seen && wakes_ != *seen); });
    };
    for (;;) {
        uint64_t seen = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_)
                break;
            seen = wakes_;
        }
        try {
            if (!store)
                store = open_();
            switch (store->verify_next(name, verify_)) {
            case verify_outcome::judged: continue;  // maybe more waiting
            case verify_outcome::none_waiting: pause(poll_, seen); break;
            // Not the run's fault: it waits for this or another worker, later.
            case verify_outcome::worker_fault: pause(std::chrono::seconds(10), std::nullopt); break;
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kelvora3d-scores: worker %s: %s\n", name.c_str(), e.what());
            store.reset();
            pause(std::chrono::seconds(2), std::nullopt);
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (--running_ == 0)
        ended_.notify_all();
}
