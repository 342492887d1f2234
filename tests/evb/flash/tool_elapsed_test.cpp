// Elapsed time and bit rate of the summary lines.
#include <climits>

#include <gtest/gtest.h>

#include "elapsed.h"

namespace {

timeval tv(long sec, long usec) {
    timeval t{};
    t.tv_sec = sec;
    t.tv_usec = usec;
    return t;
}

TEST(ToolElapsed, SubtractionBorrowsASecond) {
    const timeval d = tv_sub(tv(10, 200), tv(8, 900000));
    EXPECT_EQ(d.tv_sec, 1);
    EXPECT_EQ(d.tv_usec, 100200);
    const timeval e = tv_sub(tv(5, 700), tv(5, 700));
    EXPECT_EQ(e.tv_sec, 0);
    EXPECT_EQ(e.tv_usec, 0);
}

TEST(ToolElapsed, RoundsToTheNearestMillisecond) {
    EXPECT_EQ(run_ms(tv(0, 499)), 0);
    EXPECT_EQ(run_ms(tv(0, 500)), 1);
    EXPECT_EQ(run_ms(tv(1, 1499)), 1001);
    EXPECT_EQ(run_ms(tv(2, 999500)), 3000);
}

TEST(ToolElapsed, BitRateIn64BitsAndZeroWithoutTime) {
    EXPECT_EQ(bit_rate(1000, 1000), 8000);
    EXPECT_EQ(bit_rate(4096, 0), 0);
    EXPECT_EQ(bit_rate(3, 7), 3428);                // 24000 / 7, truncated
    EXPECT_EQ(bit_rate(16 << 20, 1000), 134217728); // 16 MiB * 8000 needs 64 bits
    EXPECT_EQ(bit_rate(16 << 20, 1), INT_MAX) << "saturates instead of wrapping negative";
    EXPECT_EQ(bit_rate(4096, -3), 0) << "a clock stepped back";
}

} // namespace
