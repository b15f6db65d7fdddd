#include <gtest/gtest.h>

#include <cmath>

#include "modChartCommon.h"
#include "modFunctions.h"

using namespace modChartCommon;

namespace {

constexpr double kDay = 45000.0;  // any date
double At(int h, int m, double s) { return kDay + (h * 3600 + m * 60 + s) / 86400.0; }

TEST(ChartSteps, ValueAndTimeSteps) {
    const struct { double span; int n; double step; } values[] = {
        {29, 10, 5}, {20, 10, 5} /* 20 / 2 is not below 10 */, {5000, 10, 1000}, {1, 10, 0.2},
        {10, 1, 5} /* n raised to 3 */, {-29, 10, -5}, {1e-9, 10, 1e-6}, {0, 10, 0}, {NAN, 10, 0},
        {INFINITY, 10, 0}};
    for (const auto& c : values) EXPECT_DOUBLE_EQ(ValueStep(c.span, c.n), c.step) << c.span << "/" << c.n;
    const struct { double spanMs; int n; double step; } times[] = {
        {60000, 10, 10000}, {60000, 100, 1000}, {60000, 20, 5000}, {3600000, 10, 600000},
        {86400000, 10, 5 * 3600000.0}, {500, 10, 100}, {60000, 0, 120000} /* n raised to 1 */};
    for (const auto& c : times) EXPECT_EQ(TimeStep(c.spanMs, c.n), c.step) << c.spanMs << "/" << c.n;
    EXPECT_GT(TimeStep(1e12, 1), 1e12);  // beyond 30 days still ends
    // Beyond 30 days: the fewest whole 30-day units that keep span / step below n,
    // found at once even for spans far beyond any chart window.
    const double month = 30 * 86400000.0;
    EXPECT_EQ(TimeStep(90 * 86400000.0, 1), 4 * month);  // 90 / 90 days is not below 1
    EXPECT_EQ(TimeStep(91 * 86400000.0, 2), 2 * month);
    const double far = TimeStep(1e20, 3);
    EXPECT_LT(1e20 / far, 3);
    EXPECT_GE(1e20 / (far - month), 3);
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

TEST(ChartLayout, MarginsAndBands) {
    // y title 40 wide, y tick 50, x tick 61: half a tick label plus 6 is
    // 36.5, which rounds to even.
    auto m = HorizontalMargins(PlaceLeft, 40, 50, 61);
    EXPECT_EQ(m.Left, 108);
    EXPECT_EQ(m.Right, 36);
    EXPECT_EQ(HorizontalMargins(PlaceLeft | PlaceRight, 40, 50, 61).Right, 108);
    // header 19 high, x title 13, x tick 11.
    auto v = VerticalMargins(PlaceBelow, 19, 13, 11);
    EXPECT_EQ(v.Top, 29);
    EXPECT_EQ(v.Bottom, 42);
    EXPECT_EQ(VerticalMargins(PlaceAbove | PlaceBelow, 19, 13, 11).Top, 65);

    // Bands 0 and 2 share 500 px less one gap; the visible ones stack without holes.
    auto bands = Bands(5, 10, 510);
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
}

// Zero alignment (yMin moved towards 0 onto a step multiple when the limits
// have different signs), label formats, reversed, negative and tiny ranges.
TEST(ChartYGrid, Cases) {
    const struct {
        double yMin, yMax;
        bool reversed;
        int height;
        double min, step;
        int count;
        const char *first, *last;
        int index, position;  // a pixel position to check
    } cases[] = {
        {-12, 17, false, 290, -10, 5, 5, "-10", "15", 2, 107},  // 10 units up: 107.4
        {-3, 17, false, 200, 0, 5, 3, "0", "15", 0, 0},
        {0, 5000, false, 500, 0, 1000, 5, "0", "5000", 5, 500},
        {0, 1, false, 500, 0, 0.2, 5, "0.0", "1.0", 1, 100},
        // -0.6 / 0.2 is -2.9999999999999996: the minimum must not move a step.
        {-0.6, 1, false, 500, -0.6, 0.2, 8, "-0.6", "1.0", 8, 500},
        {-100, -20, false, 400, -100, 10, 8, "-100", "-20", 8, 400},  // same signs: no alignment
        {0, 5000, true, 500, 0, -1000, 5, "5000", "0", 1, -100},
        {1, 1.00001, false, 500, 1, 2e-6, 5, "1.000000", "1.000010", 5, 500},
        {3, 3 + 1e-9, false, 500, 3, 1e-6, 0, "3.000000", "3.000000", 0, 0},  // below the smallest step
        {100, 0, false, 500, 100, -20, 5, "100", "0", 5, 500},  // upside-down limits
    };
    for (const auto& c : cases) {
        const auto g = ComputeYGrid(c.yMin, c.yMax, c.reversed, c.height, 10);
        ASSERT_TRUE(g.Valid) << c.yMin << ".." << c.yMax;
        EXPECT_DOUBLE_EQ(g.Min, c.min) << c.yMin << ".." << c.yMax;
        EXPECT_DOUBLE_EQ(g.Step, c.step) << c.yMin << ".." << c.yMax;
        ASSERT_EQ(g.Count, c.count) << c.yMin << ".." << c.yMax;
        EXPECT_EQ(g.Labels.front(), c.first) << c.yMin << ".." << c.yMax;
        EXPECT_EQ(g.Labels.back(), c.last) << c.yMin << ".." << c.yMax;
        EXPECT_EQ(g.Positions[c.index], c.position) << c.yMin << ".." << c.yMax;
    }
    EXPECT_EQ(ComputeYGrid(-12, 17, false, 290, 10).Labels,
              (std::vector<std::string>{"-10", "-5", "0", "5", "10", "15"}));
    EXPECT_FALSE(ComputeYGrid(7, 7, false, 500, 10).Valid);
    EXPECT_FALSE(ComputeYGrid(0, NAN, false, 500, 10).Valid);
    EXPECT_FALSE(ComputeYGrid(-1e-7, 0, false, 500, 10).Valid);  // aligned onto yMax
}

// Lines sit where their time is (plotWidth * step / T apart), also when the
// window T is no multiple of the step: playback sets T to a recording's span.
TEST(ChartXGrid, LinesSitAtTheirTimes) {
    // 600 px for 60 s (n = 10, step 10 s), and 750 px for 75 s (still 10 s,
    // seven lines): both 10 px/s, offset 100 px.
    for (double t : {60000.0, 75000.0}) {
        const int width = static_cast<int>(t / 100);
        auto g = ComputeXGrid(false, t, At(12, 0, 0), 100, width, 60);
        ASSERT_TRUE(g.Valid);
        EXPECT_EQ(g.Step, 10);
        ASSERT_EQ(g.Count, static_cast<int>(t / 10000));
        ASSERT_EQ(g.Values.size(), g.Positions.size());
        for (std::size_t i = 0; i < g.Values.size(); ++i) {
            EXPECT_EQ(g.Values[i], t / 1000 - 10.0 * i) << t << " " << i;
            EXPECT_EQ(g.Positions[i], 100 + width - static_cast<int>(g.Values[i] * 10)) << t << " " << i;
        }
        EXPECT_DOUBLE_EQ(g.Scale, 86400000.0 / t * width);
        EXPECT_DOUBLE_EQ(g.Xmin, At(12, 0, 0) - t / 86400000.0);
    }

}

// Clock time: lines on whole steps of the clock after the left edge, up to the
// right edge (one more than T / step when T is no multiple of it).
TEST(ChartXGrid, ClockAxisLinesOnWholeSteps) {
    const struct {
        double t, xMax;
        int left, width, labelWidth;
        std::size_t lines;
        double firstSecond;  // seconds after 11:59:00
    } cases[] = {
        {75000, At(12, 0, 13), 0, 750, 75, 8, 0},    // left edge 11:58:58
        {60000, At(12, 0, 35), 100, 600, 60, 6, 40},  // left edge 11:59:35
    };
    for (const auto& c : cases) {
        const auto g = ComputeXGrid(true, c.t, c.xMax, c.left, c.width, c.labelWidth);
        ASSERT_TRUE(g.Valid);
        EXPECT_EQ(g.Step, 10000);
        ASSERT_EQ(g.Values.size(), c.lines) << c.t;
        for (std::size_t i = 0; i < c.lines; ++i) {
            EXPECT_EQ(FormatClock(g.Values[i]), FormatClock(At(11, 59, c.firstSecond + 10.0 * i))) << i;
            EXPECT_NEAR(g.Positions[i], c.left + (g.Values[i] - g.Xmin) * g.Scale, 1) << i;
        }
    }
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

// Auto-scaling over the charted values, newest first, one a second.
struct ScaleFixture {
    std::vector<double> mm;  // newest first
    AutoScaleRecord rec;
    ScaleHistory History() {
        ScaleHistory h;
        h.Count = static_cast<int>(mm.size());
        h.Distance = [this](int i) { return mm[static_cast<std::size_t>(i)]; };
        h.Time = [this](int i) { return kDay - i / 86400.0; };
        return h;
    }
    void Add(double v, double windowDays) {
        mm.insert(mm.begin(), v);
        rec.LastValue = static_cast<std::int32_t>(v);
        AutoScaleY(rec, History(), windowDays);
    }
};

TEST(ChartAutoScale, GrowsAtOnceAndShrinksToTheWindow) {
    ScaleFixture f;
    const double minute = 60.0 / 86400.0;
    f.Add(1000, minute);  // the first value: 2n around it
    EXPECT_EQ(f.rec.Minimum, 975);
    EXPECT_EQ(f.rec.Maximum, 1025);
    f.Add(1100, minute);  // above: the top moves past it by one step
    EXPECT_EQ(f.rec.Minimum, 975);
    EXPECT_EQ(f.rec.Maximum, 1100 + 50.0 / 25);
    f.Add(500, minute);  // below
    EXPECT_DOUBLE_EQ(f.rec.Minimum, 500 - (1102.0 - 975) / 25);
    // The far values leave the window: the range closes in on what is left,
    // never narrower than 2n, centred.
    for (int i = 0; i < 120; ++i) f.Add(800, minute);
    EXPECT_LE(f.rec.Maximum - f.rec.Minimum, 60);
    EXPECT_GE(f.rec.Maximum - f.rec.Minimum, 50);
    EXPECT_LE(f.rec.Minimum, 800);
    EXPECT_GE(f.rec.Maximum, 800);
}

TEST(ChartAutoScale, FarValuesAndAnEmptyHistory) {
    ScaleFixture f;
    f.rec.Minimum = -10;
    f.rec.Maximum = 90;
    f.rec.LastValue = 40;
    // Nothing charted: smallest and largest count as 0; the top comes down
    // to 0 + 2 steps, and a range narrower than 2n is centred.
    AutoScaleY(f.rec, ScaleHistory{}, 1.0);
    EXPECT_EQ(f.rec.Minimum, -26);
    EXPECT_EQ(f.rec.Maximum, 24);
    // A value of a million mm or more does not count for the bottom of the
    // range, but does for the top.
    ScaleFixture g;
    g.mm = {5000, 2000000, 4000};
    g.rec.Minimum = 3000;
    g.rec.Maximum = 9000;
    g.rec.LastValue = 5000;
    AutoScaleY(g.rec, g.History(), 1.0);
    EXPECT_EQ(g.rec.Minimum, 4000 - 2 * 240);
    EXPECT_EQ(g.rec.Maximum, 9000);
}

}  // namespace
