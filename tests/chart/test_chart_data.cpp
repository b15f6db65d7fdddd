#include <gtest/gtest.h>

#include "clsChartData.h"

namespace {

TEST(ChartData, FreshSeriesHasNoRingAndIgnoresPoints) {
    clsChartData s;
    EXPECT_EQ(s.StopIndex(), 0);
    s.AddChartPoint(1.0, 2.0);  // no ring yet: must neither crash nor store
    EXPECT_EQ(s.WritePointer(), 0);
    EXPECT_EQ(s.X(0), 0.0);
    s.ResetReadPointer();
    EXPECT_EQ(s.ReadPointer(), 0);
}

TEST(ChartData, RingWrapsAndOverwritesOldest) {
    clsChartData s;
    ASSERT_TRUE(s.InitChartData(2));
    EXPECT_EQ(s.StopIndex(), 3);
    s.ResetReadPointer();
    EXPECT_EQ(s.ReadPointer(), 0);
    EXPECT_EQ(s.UnreadCount(), 0);
    for (int i = 1; i <= 3; ++i) s.AddChartPoint(i, 10 * i);
    EXPECT_EQ(s.WritePointer(), 0);
    EXPECT_EQ(s.X(0), 1.0);  // oldest, next to go
    s.AddChartPoint(4, 40);
    EXPECT_EQ(s.X(0), 4.0);
    EXPECT_EQ(s.Y(0), 40.0);
    EXPECT_EQ(s.WritePointer(), 1);
}

TEST(ChartData, ResetReadPointerBeforeAndAfterWrap) {
    clsChartData s;
    s.InitChartData(2);
    s.AddChartPoint(1, 1);
    s.AddChartPoint(2, 2);
    s.ResetReadPointer();  // R 0 < W 2, slot 2 never written
    EXPECT_EQ(s.ReadPointer(), 0);
    EXPECT_EQ(s.UnreadCount(), 2);

    s.AddChartPoint(3, 3);
    s.AddChartPoint(4, 4);  // wrapped: W = 1, slot 1 holds the oldest
    s.SetReadPointer(0);
    s.ResetReadPointer();  // R 0 < W 1 after wrap: start at the second-oldest
    EXPECT_EQ(s.ReadPointer(), 2);
    s.SetReadPointer(2);
    s.SetWritePointer(0);
    s.ResetReadPointer();  // R > W
    EXPECT_EQ(s.ReadPointer(), 1);
}

TEST(ChartData, FullRingBetweenDrawingsStillRedraws) {
    // A whole ring of new points leaves both cursors equal; a full redraw
    // must then show the ring, not nothing.
    clsChartData s;
    s.InitChartData(4);
    for (int i = 1; i <= 5; ++i) s.AddChartPoint(i, i);
    ASSERT_EQ(s.ReadPointer(), s.WritePointer());
    EXPECT_EQ(s.UnreadCount(), 0);
    s.ResetReadPointer();
    EXPECT_EQ(s.ReadPointer(), 1);
    EXPECT_EQ(s.UnreadCount(), 4);
}

TEST(ChartData, OneSlotRingAndBadArguments) {
    clsChartData s;
    ASSERT_TRUE(s.InitChartData(0));
    s.AddChartPoint(1, 1);
    s.AddChartPoint(2, 5);
    EXPECT_EQ(s.WritePointer(), 0);
    EXPECT_EQ(s.Y(0), 5.0);
    s.ResetReadPointer();
    EXPECT_EQ(s.ReadPointer(), 0);

    EXPECT_FALSE(s.InitChartData(-1));
    EXPECT_FALSE(s.InitChartData(2147483647));
    EXPECT_EQ(s.StopIndex(), 1);  // unchanged by the refused calls
    EXPECT_EQ(s.Y(0), 5.0);
    EXPECT_EQ(s.X(-1), 0.0);
    EXPECT_EQ(s.Y(1), 0.0);
    s.SetReadPointer(7);
    s.SetWritePointer(-2);
    EXPECT_EQ(s.ReadPointer(), 0);
    EXPECT_EQ(s.WritePointer(), 0);
}

}  // namespace
