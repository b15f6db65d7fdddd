#include <gtest/gtest.h>

#include <cmath>

#include "modChartCommon.h"
#include "modFunctions.h"

using namespace modChartCommon;

namespace {

constexpr double kDay = 45000.0;  // any date
double At(int h, int m, double s) { return kDay + (h * 3600 + m * 60 + s) / 86400.0; }

TEST(ChartSteps, ValueStep) {
    EXPECT_DOUBLE_EQ(ValueStep(29, 10), 5);
    EXPECT_DOUBLE_EQ(ValueStep(20, 10), 5);  // 20 / 2 is not below 10
    EXPECT_DOUBLE_EQ(ValueStep(5000, 10), 1000);
    EXPECT_DOUBLE_EQ(ValueStep(1, 10), 0.2);
    EXPECT_DOUBLE_EQ(ValueStep(10, 1), 5);  // n raised to 3
    EXPECT_DOUBLE_EQ(ValueStep(-29, 10), -5);
    EXPECT_DOUBLE_EQ(ValueStep(1e-9, 10), 1e-6);
    EXPECT_EQ(ValueStep(0, 10), 0);
    EXPECT_EQ(ValueStep(NAN, 10), 0);
    EXPECT_EQ(ValueStep(INFINITY, 10), 0);
}

TEST(ChartSteps, TimeStep) {
    EXPECT_EQ(TimeStep(60000, 10), 10000);
    EXPECT_EQ(TimeStep(60000, 100), 1000);
    EXPECT_EQ(TimeStep(60000, 20), 5000);
    EXPECT_EQ(TimeStep(3600000, 10), 600000);   // 10 min
    EXPECT_EQ(TimeStep(86400000, 10), 5 * 3600000.0);
    EXPECT_EQ(TimeStep(500, 10), 100);
    EXPECT_EQ(TimeStep(60000, 0), 120000);      // n raised to 1
    EXPECT_GT(TimeStep(1e12, 1), 1e12);         // beyond 30 days still ends
}

TEST(ChartFormats, NumbersClockAndWidth) {
    EXPECT_EQ(NumberFormat(0.25), "0.00");
    EXPECT_EQ(NumberFormat(5), "0");
    EXPECT_EQ(NumberFormat(1e-6), "0.000000");
    EXPECT_EQ(NumberFormat(2.5e-7), "0.00000000");  // 2.5e-07: eight decimals
    EXPECT_EQ(FormatNumber(0.6000000000000001, "0.0"), "0.6");
    EXPECT_EQ(FormatNumber(-0.01, "0.0"), "0.0");
    EXPECT_EQ(FormatNumber(75, "0"), "75");
    modFunctions::SetDecimalSeparator(',');
    EXPECT_EQ(FormatNumber(0.2, "0.0"), "0,2");
    EXPECT_EQ(NumberFormat(1e-6), "0.000000");
    modFunctions::SetDecimalSeparator('.');

    EXPECT_EQ(FormatClock(At(9, 5, 7)), "09:05:07");
    EXPECT_EQ(FormatClock(At(11, 59, 59.9996)), "12:00:00");
    EXPECT_EQ(FormatClock(At(23, 59, 59.9)), "00:00:00");
    EXPECT_EQ(WidthFormat(0, 1), "######");
    EXPECT_EQ(WidthFormat(0, 45000.1234567), std::string(14, '#'));
}

TEST(ChartLayout, Margins) {
    // y title 40 wide, y tick 50 wide, x tick 61 wide: half a tick label
    // plus 6 is 36.5, which rounds to even.
    auto m = HorizontalMargins(PlaceLeft, 40, 50, 61);
    EXPECT_EQ(m.Left, 108);
    EXPECT_EQ(m.Right, 36);
    m = HorizontalMargins(PlaceLeft | PlaceRight, 40, 50, 61);
    EXPECT_EQ(m.Right, 108);
    // header 19 high, x title 13, x tick 11.
    auto v = VerticalMargins(PlaceBelow, 19, 13, 11);
    EXPECT_EQ(v.Top, 29);
    EXPECT_EQ(v.Bottom, 42);
    v = VerticalMargins(PlaceAbove | PlaceBelow, 19, 13, 11);
    EXPECT_EQ(v.Top, 65);
    EXPECT_EQ(v.Bottom, 42);
}

TEST(ChartLayout, BandsOfSeveralMasks) {
    auto bands = Bands(5, 10, 510);  // bands 0 and 2
    ASSERT_EQ(bands.size(), 2u);
    EXPECT_EQ(bands[0].Index, 0);
    EXPECT_EQ(bands[0].Top, 10);
    EXPECT_EQ(bands[0].Bottom, 250);
    EXPECT_EQ(bands[1].Index, 2);
    EXPECT_EQ(bands[1].Top, 270);
    EXPECT_EQ(bands[1].Bottom, 510);

    bands = Bands(15, 0, 500);
    ASSERT_EQ(bands.size(), 4u);
    EXPECT_EQ(bands[3].Top, 3 * (110 + 20));
    EXPECT_EQ(bands[3].Bottom, 500);

    EXPECT_TRUE(Bands(0, 0, 500).empty());
    EXPECT_TRUE(Bands(16, 0, 500).empty());  // only bits 0..3 count
    EXPECT_EQ(BandHeight(0, 500, 0), 0);
}

TEST(ChartYGrid, ZeroAlignmentAndFormats) {
    auto g = ComputeYGrid(-12, 17, false, 290, 10);
    ASSERT_TRUE(g.Valid);
    EXPECT_DOUBLE_EQ(g.Step, 5);
    EXPECT_DOUBLE_EQ(g.Min, -10);
    EXPECT_EQ(g.Count, 5);
    EXPECT_EQ(g.Labels, (std::vector<std::string>{"-10", "-5", "0", "5", "10", "15"}));
    EXPECT_DOUBLE_EQ(g.Scale, 290.0 / 27);
    EXPECT_EQ(g.Positions[2], 107);  // 10 units up: 107.4

    g = ComputeYGrid(-3, 17, false, 200, 10);
    EXPECT_DOUBLE_EQ(g.Min, 0);
    EXPECT_EQ(g.Labels, (std::vector<std::string>{"0", "5", "10", "15"}));

    g = ComputeYGrid(0, 5000, false, 500, 10);
    EXPECT_EQ(g.Count, 5);
    EXPECT_EQ(g.Labels.front(), "0");
    EXPECT_EQ(g.Labels.back(), "5000");
    EXPECT_EQ(g.Positions.back(), 500);

    g = ComputeYGrid(0, 1, false, 500, 10);
    EXPECT_EQ(g.Labels, (std::vector<std::string>{"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}));

    // -0.6 / 0.2 is -2.9999999999999996 in doubles: the alignment must not
    // move the minimum a whole step.
    g = ComputeYGrid(-0.6, 1, false, 500, 10);
    EXPECT_DOUBLE_EQ(g.Min, -0.6);
    EXPECT_EQ(g.Count, 8);
}

TEST(ChartYGrid, NegativeReversedTinyAndEmpty) {
    auto g = ComputeYGrid(-100, -20, false, 400, 10);
    EXPECT_DOUBLE_EQ(g.Min, -100);  // same signs: no alignment
    EXPECT_DOUBLE_EQ(g.Step, 10);
    EXPECT_EQ(g.Count, 8);

    g = ComputeYGrid(0, 5000, true, 500, 10);
    ASSERT_TRUE(g.Valid);
    EXPECT_DOUBLE_EQ(g.Step, -1000);
    EXPECT_EQ(g.Labels.front(), "5000");
    EXPECT_EQ(g.Labels.back(), "0");
    EXPECT_EQ(g.Positions[1], -100);

    g = ComputeYGrid(1, 1.00001, false, 500, 10);
    ASSERT_TRUE(g.Valid);
    EXPECT_DOUBLE_EQ(g.Step, 2e-6);
    EXPECT_EQ(g.Labels[1], "1.000002");

    // A span below the smallest step: one line, no division trouble.
    g = ComputeYGrid(3, 3 + 1e-9, false, 500, 10);
    ASSERT_TRUE(g.Valid);
    EXPECT_EQ(g.Count, 0);

    // Upside-down limits: the step takes the sign of the span.
    g = ComputeYGrid(100, 0, false, 500, 10);
    ASSERT_TRUE(g.Valid);
    EXPECT_LT(g.Step, 0);
    EXPECT_EQ(g.Count, 5);
    EXPECT_EQ(g.Positions[5], 500);

    EXPECT_FALSE(ComputeYGrid(7, 7, false, 500, 10).Valid);
    EXPECT_FALSE(ComputeYGrid(0, NAN, false, 500, 10).Valid);
    EXPECT_FALSE(ComputeYGrid(-1e-7, 0, false, 500, 10).Valid);  // aligned onto yMax
}

TEST(ChartXGrid, IntervalAxis) {
    // 600 px, labels 60 px wide: n = 10, step 10 s.
    auto g = ComputeXGrid(false, 60000, At(12, 0, 0), 100, 600, 60);
    ASSERT_TRUE(g.Valid);
    EXPECT_EQ(g.Step, 10);
    EXPECT_EQ(g.Count, 6);
    EXPECT_EQ(g.Values, (std::vector<double>{60, 50, 40, 30, 20, 10, 0}));
    EXPECT_EQ(g.Positions, (std::vector<int>{100, 200, 300, 400, 500, 600, 700}));
    EXPECT_DOUBLE_EQ(g.Scale, 86400000.0 / 60000 * 600);
    EXPECT_DOUBLE_EQ(g.Xmin, At(11, 59, 0));
}

TEST(ChartXGrid, WindowNotAMultipleOfTheStep) {
    // A 75 s window over 750 px is 10 px/s: every label must sit where its
    // time is, the "5" five seconds (50 px) left of the right edge.
    auto g = ComputeXGrid(false, 75000, At(12, 0, 0), 0, 750, 75);
    ASSERT_EQ(g.Count, 7);
    for (std::size_t i = 0; i < g.Values.size(); ++i)
        EXPECT_EQ(g.Positions[i], 750 - static_cast<int>(g.Values[i] * 10)) << i;
    EXPECT_EQ(g.Values.back(), 5);
    EXPECT_EQ(g.Positions.back(), 700);

    // Clock time, same window, left edge at 11:58:58: lines every 10 s from
    // 11:59:00 to 12:00:10 (eight of them, one more than 75 / 10).
    g = ComputeXGrid(true, 75000, At(12, 0, 13), 0, 750, 75);
    ASSERT_EQ(g.Count, 7);
    ASSERT_EQ(g.Values.size(), 8u);
    for (std::size_t i = 0; i < g.Values.size(); ++i) {
        EXPECT_EQ(FormatClock(g.Values[i]), FormatClock(At(11, 59, 10.0 * i))) << i;
        EXPECT_NEAR(g.Positions[i], 20 + 100 * static_cast<int>(i), 1) << i;
    }
}

TEST(ChartXGrid, ClockAxisAlignedToStep) {
    auto g = ComputeXGrid(true, 60000, At(12, 0, 35), 100, 600, 60);
    ASSERT_TRUE(g.Valid);
    EXPECT_EQ(g.Step, 10000);
    ASSERT_EQ(g.Values.size(), 6u);
    EXPECT_EQ(FormatClock(g.Values.front()), "11:59:40");
    EXPECT_EQ(FormatClock(g.Values.back()), "12:00:30");
    EXPECT_EQ(g.Positions.front(), 150);
    EXPECT_EQ(g.Positions.back(), 650);
    EXPECT_DOUBLE_EQ(g.Xmin, At(11, 59, 35));
}

TEST(ChartXGrid, DegenerateWindows) {
    // 1.5 s: the 1-2-5 step is 0.2 s, which would round to 0; the interval
    // axis keeps at least one second.
    auto g = ComputeXGrid(false, 1500, At(12, 0, 0), 0, 600, 60);
    ASSERT_TRUE(g.Valid);
    EXPECT_EQ(g.Step, 1);
    EXPECT_EQ(g.Count, 1);
    EXPECT_EQ(g.Positions, (std::vector<int>{0, 400}));

    EXPECT_FALSE(ComputeXGrid(false, 0, At(12, 0, 0), 0, 600, 60).Valid);
    EXPECT_FALSE(ComputeXGrid(true, -5, At(12, 0, 0), 0, 600, 60).Valid);
    EXPECT_FALSE(ComputeXGrid(true, 60000, At(12, 0, 0), 0, 0, 60).Valid);
    // Labels wider than the plot, or of no width: still a grid.
    EXPECT_TRUE(ComputeXGrid(true, 60000, At(12, 0, 0), 0, 50, 60).Valid);
    EXPECT_TRUE(ComputeXGrid(false, 60000, At(12, 0, 0), 0, 600, 0).Valid);
}

}  // namespace
