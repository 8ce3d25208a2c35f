#include "server/store_pool.h"

store_pool::store_pool(std::function<std::unique_ptr<run_store>()> open, size_t size)
    : open_(std::move(open)), size_(size == 0 ? 1 : size)
{
}

store_pool::lease store_pool::borrow()
{
    std::unique_lock<std::mutex> lock(mutex_);
    returned_.wait(lock, [&] { return !idle_.empty() || out_ < size_; });
    ++out_;
    if (!idle_.empty()) {
        auto store = std::move(idle_.back());
        idle_.pop_back();
        return lease(*this, std::move(store));
    }
    lock.unlock();
    try {
        return lease(*this, open_());
    } catch (...) {
        lock.lock();
        --out_;
        returned_.notify_one();
        throw;
    }
}

store_pool::lease::~lease()
{
    std::lock_guard<std::mutex> lock(pool_.mutex_);
    --pool_.out_;
    if (store_)
        pool_.idle_.push_back(std::move(store_));
    pool_.returned_.notify_one();
}
