#include <gtest/gtest.h>

#include "clsChartData.h"

namespace {

TEST(ChartData, RingWrapsAndOverwritesTheOldest) {
    clsChartData s;
    s.AddChartPoint(1.0, 2.0);  // no ring yet: ignored, no crash
    EXPECT_EQ(s.X(0), 0.0);
    ASSERT_TRUE(s.InitChartData(2));
    EXPECT_EQ(s.StopIndex(), 3);
    for (int i = 1; i <= 4; ++i) s.AddChartPoint(i, 10 * i);
    EXPECT_EQ(s.X(0), 4.0);
    EXPECT_EQ(s.Y(0), 40.0);
    EXPECT_EQ(s.X(1), 2.0);  // oldest, next to go
    EXPECT_EQ(s.WritePointer(), 1);
}

// ResetReadPointer: every kept point is drawn again, the oldest slot of a
// wrapped ring (next to be overwritten) excepted.
TEST(ChartData, ResetReadPointerCoversTheKeptPoints) {
    const struct {
        int maxIndex, points, readBefore, expectedRead, expectedUnread;
    } cases[] = {
        {2, 2, 0, 0, 2},  // not wrapped: from slot 0
        {2, 4, 0, 2, 2},  // wrapped, W = 1: from the second-oldest
        {2, 4, 2, 2, 2},  // the same with R > W
        {4, 5, 0, 1, 4},  // a whole ring since the last drawing leaves R == W
        {0, 2, 0, 0, 0},  // one slot
    };
    for (const auto& c : cases) {
        clsChartData s;
        s.InitChartData(c.maxIndex);
        for (int i = 1; i <= c.points; ++i) s.AddChartPoint(i, i);
        s.SetReadPointer(c.readBefore);
        s.ResetReadPointer();
        EXPECT_EQ(s.ReadPointer(), c.expectedRead) << c.maxIndex << "/" << c.points;
        EXPECT_EQ(s.UnreadCount(), c.expectedUnread) << c.maxIndex << "/" << c.points;
    }
}

TEST(ChartData, BadArgumentsLeaveTheSeriesAlone) {
    clsChartData s;
    ASSERT_TRUE(s.InitChartData(0));
    s.AddChartPoint(2, 5);
    EXPECT_FALSE(s.InitChartData(-1));
    EXPECT_FALSE(s.InitChartData(2147483647));
    EXPECT_EQ(s.StopIndex(), 1);
    EXPECT_EQ(s.Y(0), 5.0);
    EXPECT_EQ(s.X(-1), 0.0);
    EXPECT_EQ(s.Y(1), 0.0);
    s.SetReadPointer(7);
    s.SetWritePointer(-2);
    EXPECT_EQ(s.ReadPointer(), 0);
    EXPECT_EQ(s.WritePointer(), 0);
}

}  // namespace
