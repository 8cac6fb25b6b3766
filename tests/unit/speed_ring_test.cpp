// The shown speed of a running transfer.
#include "engine/speed_ring.h"

#include <gtest/gtest.h>

#include <climits>

TEST(SpeedRing, SpeedStartsAtZeroAndMovesTowardsTheTenSecondAverage) {
    SpeedRing ring;
    EXPECT_EQ(ring.NextSpeed(), 0);
    ring.Count(0, 1000);
    ring.Count(999, 1000);
    // (2000 + 0) / 10, then (2000 + 200) / 10, ...: the previous speed counts once more.
    const int32_t expected[] = {200, 220, 222, 222};
    for (int32_t speed : expected) {
        EXPECT_EQ(ring.NextSpeed(), speed);
    }
}

TEST(SpeedRing, ACounterIsEmptiedOnlyWhenCountingMovesOntoIt) {
    SpeedRing ring;
    ring.Count(0, 1000);     // second 0
    ring.Count(1500, 500);   // second 1
    ring.Count(10200, 300);  // second 10: counter 0 starts again
    ring.Count(10900, 100);  // still second 10: added
    // Second 1 had no data since, yet its counter keeps its 500.
    EXPECT_EQ(ring.NextSpeed(), (400 + 500) / 10);
}

TEST(SpeedRing, LargeCountsDoNotOverflowAndTheSpeedIsClampedTo32Bits) {
    SpeedRing ring;
    // Ten seconds at 1 GB/s: the counters' sum is beyond 2^31.
    for (uint32_t second = 0; second < 10; ++second) {
        ring.Count(second * 1000, 1000000000);
    }
    EXPECT_EQ(ring.NextSpeed(), 1000000000);

    SpeedRing fast;
    fast.Count(0, 50000000000);
    EXPECT_EQ(fast.NextSpeed(), INT32_MAX);  // 5e9 shown as the largest 32-bit speed
    fast.Count(1000, 0);
    fast.Count(10000, 0);  // every counter empty again
    // Only what is shown is clamped: the average goes on from the true 5e9.
    EXPECT_EQ(fast.NextSpeed(), 500000000);
}
