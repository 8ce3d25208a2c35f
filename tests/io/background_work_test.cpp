// Work handed to the background thread: done in order, its results and
// failures where the caller waits for them, the thread ended and started
// again around FinishBackgroundWork, and work held back until let run.
#include "io/background_work.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

using namespace kelvora;

TEST(BackgroundWork, DoneInOrderWithResultsAndFailuresWhereTheyAreAwaited)
{
    std::vector<int> order;  // written by the background thread alone until it finishes
    std::vector<std::shared_future<int>> results;
    for (int round = 0; round < 2; ++round) {  // the second round starts a thread again
        for (int i = 0; i < 50; ++i)
            results.push_back(InBackground<int>([i, &order] {
                order.push_back(i);
                return i * i;
            }));
        auto failed = InBackground<std::string>([]() -> std::string { throw std::runtime_error("damaged"); });
        FinishBackgroundWork();
        EXPECT_THROW(failed.get(), std::runtime_error);
    }
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(order[size_t(i)], i % 50);
        EXPECT_EQ(results[size_t(i)].get(), (i % 50) * (i % 50));
    }
}

TEST(BackgroundWork, HeldWorkWaitsUntilLetRunOrAwaitedAndFinishingDoesIt)
{
    HoldBackgroundWork(true);
    std::atomic<bool> let_run{false};
    auto held = InBackground<bool>([&let_run] { return let_run.load(); });
    let_run = true;  // held work runs only after this
    EXPECT_TRUE(AwaitBackground(held)) << "work held back started on its own";
    // Let run, work queued later starts at once.
    auto later = InBackground<int>([] { return 8; });
    ASSERT_EQ(later.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(later.get(), 8);
    // Held and never let run, it is still done before finishing returns.
    HoldBackgroundWork(true);
    auto last = InBackground<int>([] { return 9; });
    FinishBackgroundWork();
    ASSERT_EQ(last.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_EQ(last.get(), 9);
    HoldBackgroundWork(false);
}
