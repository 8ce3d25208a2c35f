// Connections to the store for the front's request threads: each request
// borrows one for its length; at most `size` exist, opened when first needed
// and kept. A connection that failed is dropped rather than given back.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "server/run_store.h"

class store_pool {
public:
    store_pool(std::function<std::unique_ptr<run_store>()> open, size_t size);

    class lease {
    public:
        lease(store_pool& pool, std::unique_ptr<run_store> store) : pool_(pool), store_(std::move(store)) {}
        ~lease();
        lease(const lease&) = delete;
        lease& operator=(const lease&) = delete;
        run_store* operator->() { return store_.get(); }
        run_store& operator*() { return *store_; }
        // After an error from the store: the connection is not reused.
        void discard() { store_.reset(); }

    private:
        store_pool& pool_;
        std::unique_ptr<run_store> store_;
    };

    lease borrow();

private:
    std::function<std::unique_ptr<run_store>()> open_;
    size_t size_;
    size_t out_ = 0;
    std::vector<std::unique_ptr<run_store>> idle_;
    std::mutex mutex_;
    std::condition_variable returned_;
};
