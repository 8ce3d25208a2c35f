#include <gtest/gtest.h>

#include <memory>

#include "system/clock.h"

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

}  // namespace
