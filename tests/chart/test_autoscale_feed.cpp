// What the main chart does with each distance: which go into the series,
// the unit they are shown in, and the y range that follows them.
#include <gtest/gtest.h>

#include <memory>

#include "ChartAutoScaleFeed.h"
#include "clsChartData.h"

namespace {

constexpr double Tick = 0.05 / 86400;  // 50 ms in days
constexpr double Minute = 60.0 / 86400;

TEST(ChartAutoScaleFeed, ChartsDistancesAndFollowsThemInTheUnitShown) {
    auto series = std::make_shared<clsChartData>();
    ChartAutoScaleFeed feed(series);
    EXPECT_EQ(feed.Unit(), -1);
    EXPECT_EQ(feed.UnitFactor(), 1.0);
    EXPECT_TRUE(feed.UnitChanged(1));
    feed.Reset(1200);
    feed.SetUnit(1, 1000.0);
    EXPECT_FALSE(feed.UnitChanged(1));

    double t = 46000.5;
    // Not charted: zero while zeros are hidden, magnitudes of 99 999 999 mm and more.
    EXPECT_FALSE(feed.Add(t, 0, 0, false));
    EXPECT_FALSE(feed.Add(t, 99999999, 99999.999, true));
    EXPECT_FALSE(feed.Add(t, -99999999, -99999.999, true));
    EXPECT_EQ(series->WritePointer(), 0);

    // The first value opens 2 x 25 mm around itself; one beyond the top widens it by a step.
    ASSERT_TRUE(feed.Add(t, 1000, 1.0, false));
    feed.AutoScale(Minute);
    EXPECT_EQ(feed.Minimum(), 0.975);
    EXPECT_EQ(feed.Maximum(), 1.025);
    ASSERT_TRUE(feed.Add(t += Tick, 1100, 1.1, false));
    feed.AutoScale(Minute);
    EXPECT_EQ(feed.Record().Maximum, 1102.0);
    EXPECT_EQ(feed.Record().Minimum, 975.0);
    EXPECT_TRUE(feed.Add(t += Tick, 0, 0, true));  // shown zeros count
    EXPECT_EQ(series->WritePointer(), 3);
    EXPECT_EQ(series->Y(1), 1.1);

    // A range set from outside (a playback), shown in the unit.
    feed.SetRange(500, 2500);
    EXPECT_EQ(feed.Minimum(), 0.5);
    EXPECT_EQ(feed.Maximum(), 2.5);
    // A reset empties the series; the next value opens a new range.
    feed.Reset(0);
    EXPECT_EQ(series->StopIndex(), 1);
    ASSERT_TRUE(feed.Add(t += Tick, 2000, 2.0, false));
    feed.AutoScale(Minute);
    EXPECT_EQ(feed.Record().Minimum, 1975.0);
}

}  // namespace
