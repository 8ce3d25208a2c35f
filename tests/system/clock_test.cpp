#include <gtest/gtest.h>

#include <memory>
#include <thread>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include "kelvora/system/clock.h"
#include "system/paced_clock.h"

using namespace kelvora;

namespace {

TEST(VirtualClock, DelayAdvancesTimeWithoutSleeping)
{
    auto clock = std::make_shared<TVirtualClock>(1000);
    SetClock(clock);
    EXPECT_EQ(Millisecs(), 1000);
    Delay(17);
    EXPECT_EQ(Millisecs(), 1017);
    Delay(-1);
    Delay(0);
    EXPECT_EQ(Millisecs(), 1017);
    Rest(5);  // the suspended game's wait keeps replays on the same time
    EXPECT_EQ(Millisecs(), 1022);
    SetClock(nullptr);
}

TEST(VirtualClock, WrapsLikeA32BitCounter)
{
    TVirtualClock clock(2147483647);
    clock.Advance(2);
    EXPECT_EQ(clock.Millisecs(), -2147483647);
    // Differences taken modulo 2^32 still read 2.
    EXPECT_EQ(int(unsigned(clock.Millisecs()) - unsigned(2147483647)), 2);
}

TEST(RealClock, DelaySleepsAtLeastTheTimeAsked)
{
    TRealClock clock;
    int t0 = clock.Millisecs();
    clock.Delay(20);
    int elapsed = int(unsigned(clock.Millisecs()) - unsigned(t0));
    EXPECT_GE(elapsed, 20);
    int t1 = clock.Millisecs();
    clock.Delay(-1);
    EXPECT_LE(int(unsigned(clock.Millisecs()) - unsigned(t1)), 5);
}

TEST(RealClock, WaitsNeverEndEarlyAndAskForTimelyWakeups)
{
    // In a thread of its own: what a wait asks of the system is per thread.
    std::thread waiter([] {
#if defined(__linux__)
        prctl(PR_SET_TIMERSLACK, 50000UL, 0UL, 0UL, 0UL);  // threads inherit it; start from the default
#endif
        // Beyond the spin margin, inside it, and already past.
        for (int64_t ahead_ns : {3000000, 200000, -1000000}) {
            int64_t deadline = MonotonicNanos() + ahead_ns;
            WaitUntilNanos(deadline);
            EXPECT_GE(MonotonicNanos(), deadline) << ahead_ns;
        }
#if defined(__linux__)
        EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0UL, 0UL, 0UL, 0UL), 1);
#endif
    });
    waiter.join();
}

TEST(PacedClock, ReadsVirtualTimeAndKeepsRealTimeBehindIt)
{
    TPacedClock clock(500);
    int64_t t0 = MonotonicNanos();
    for (int i = 0; i < 3; ++i) clock.Delay(4);
    clock.Delay(0);
    clock.Delay(-3);
    EXPECT_EQ(clock.Millisecs(), 512);
    EXPECT_GE(MonotonicNanos() - t0, 12 * 1000000) << "played faster than real time";
}

}  // namespace
