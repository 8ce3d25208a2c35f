// Work handed to the background thread: done in order, its results and
// failures where the caller waits for them, and the thread ended and
// started again around FinishBackgroundWork.
#include "io/background_work.h"

#include <gtest/gtest.h>

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
