#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "modChartAutoScale.h"
#include "modChartDates.h"
#include "modChartLayout.h"
#include "modChartNumbers.h"
#include "modChartUnits.h"
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

// Zero alignment (the grid starts on the step multiple next to yMin towards 0
// when the limits have different signs; the range itself stays), label
// formats, reversed, negative and tiny ranges.
TEST(ChartYGrid, Cases) {
    const struct {
        double yMin, yMax;
        bool reversed;
        int height;
        double gridStart, step;
        int count;
        const char *first, *last;
        int index, position;  // a pixel position to check
    } cases[] = {
        {-12, 17, false, 290, -10, 5, 5, "-10", "15", 2, 120},  // 0 is 12 units up: 120 px
        {-3, 17, false, 200, 0, 5, 3, "0", "15", 0, 30},
        {0, 5000, false, 500, 0, 1000, 5, "0", "5000", 5, 500},
        {0, 1, false, 500, 0, 0.2, 5, "0.0", "1.0", 1, 100},
        // -0.6 / 0.2 is -2.9999999999999996: the grid must not start a step off.
        {-0.6, 1, false, 500, -0.6, 0.2, 8, "-0.6", "1.0", 8, 500},
        {-100, -20, false, 400, -100, 10, 8, "-100", "-20", 8, 400},  // same signs: no alignment
        {0, 5000, true, 500, 5000, -1000, 5, "5000", "0", 1, -100},
        {1, 1.00001, false, 500, 1, 2e-6, 5, "1.000000", "1.000010", 5, 500},
        {3, 3 + 1e-9, false, 500, 3, 1e-6, 0, "3.000000", "3.000000", 0, 0},  // below the smallest step
        {100, 0, false, 500, 100, -20, 5, "100", "0", 5, 500},  // upside-down limits
    };
    for (const auto& c : cases) {
        const auto g = ComputeYGrid(c.yMin, c.yMax, c.reversed, c.height, 10);
        ASSERT_TRUE(g.Valid) << c.yMin << ".." << c.yMax;
        EXPECT_EQ(g.Min, c.yMin) << "the limits are kept";
        EXPECT_EQ(g.Max, c.yMax);
        EXPECT_DOUBLE_EQ(g.Scale, c.height / (c.yMax - c.yMin)) << c.yMin << ".." << c.yMax;
        EXPECT_DOUBLE_EQ(g.GridStart, c.gridStart) << c.yMin << ".." << c.yMax;
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
    // The grid start falls on yMax: one line, at the top of the band.
    const auto top = ComputeYGrid(-1e-7, 0, false, 500, 10);
    ASSERT_TRUE(top.Valid);
    EXPECT_EQ(top.Positions, std::vector<int>{500});
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

// The window kept value by value gives what a walk over the history gives:
// forward times, equal times, a clock set back, far values, a window that
// widens and narrows, and a history shorter than the window.
TEST(ChartAutoScale, WindowKeptValueByValueMatchesTheWalk) {
    std::mt19937 random(7);
    for (int capacity : {1, 3, 50, 400}) {
        ScaleWindow window(capacity);
        std::vector<double> times, mm;  // newest first
        ScaleHistory h;
        h.Distance = [&](int i) { return mm[static_cast<std::size_t>(i)]; };
        h.Time = [&](int i) { return times[static_cast<std::size_t>(i)]; };
        double t = kDay;
        for (int i = 0; i < 3000; ++i) {
            const int r = static_cast<int>(random() % 1000);
            if (r < 5) t -= 20.0 / 86400;            // clock set back
            else if (r < 100) t += 0.0;              // same time stamp
            else t += (random() % 200) / 86400000.0 * 50;
            double d = 1000.0 + static_cast<int>(random() % 2000) - 1000.0;
            if (r % 97 == 1) d = 2000000;             // far above: only for the largest
            if (r % 89 == 1) d = -3000000;            // far below: only for the smallest
            window.Add(t, d);
            times.insert(times.begin(), t);
            mm.insert(mm.begin(), d);
            if (static_cast<int>(times.size()) > capacity) {
                times.pop_back();
                mm.pop_back();
            }
            h.Count = static_cast<int>(times.size());
            ASSERT_EQ(window.Count(), h.Count);
            if (random() % 3 == 0) continue;  // not asked after every value
            const double span = (i / 500 % 2 ? 10.0 : 3.0) / 86400;  // widens and narrows
            const WindowExtremes fast = window.Extremes(span);
            const WindowExtremes walk = ScanExtremes(h, span);
            ASSERT_EQ(fast.Smallest, walk.Smallest) << capacity << " " << i;
            ASSERT_EQ(fast.Largest, walk.Largest) << capacity << " " << i;
        }
        EXPECT_EQ(window.Time(0), times.front());
        EXPECT_EQ(window.Distance(h.Count - 1), mm.back());
        EXPECT_EQ(window.Distance(h.Count), 0.0);
        window.Reset(capacity);
        EXPECT_EQ(window.Count(), 0);
        EXPECT_EQ(window.Extremes(1.0).Largest, 0.0);
    }
}

// The record follows the same ranges whether the extremes come from the
// window or from the walk.
TEST(ChartAutoScale, SameRangesThroughTheWindow) {
    std::vector<double> times, mm;  // newest first, one value a second
    ScaleHistory h;
    h.Distance = [&](int i) { return mm[static_cast<std::size_t>(i)]; };
    h.Time = [&](int i) { return times[static_cast<std::size_t>(i)]; };
    AutoScaleRecord walk, fast;
    ScaleWindow window(1200);
    const double minute = 60.0 / 86400.0;
    std::mt19937 random(11);
    double level = 1500;
    for (int i = 0; i < 5000; ++i) {
        level += static_cast<int>(random() % 41) - 20;
        if (i % 700 == 0) level += 3000;  // jumps the range must follow and forget
        const double t = kDay + i / 86400.0;
        times.insert(times.begin(), t);
        mm.insert(mm.begin(), level);
        if (times.size() > 1200) {
            times.pop_back();
            mm.pop_back();
        }
        h.Count = static_cast<int>(times.size());
        window.Add(t, level);
        walk.LastValue = fast.LastValue = static_cast<std::int32_t>(level);
        AutoScaleY(walk, h, minute);
        AutoScaleY(fast, window, minute);
        ASSERT_EQ(fast.Minimum, walk.Minimum) << i;
        ASSERT_EQ(fast.Maximum, walk.Maximum) << i;
    }
    EXPECT_LT(walk.Maximum - walk.Minimum, 400);  // the last jump is forgotten
}

TEST(ChartUnits, MillimetresAndTheUnitOfTheValues) {
    EXPECT_EQ(MillimetresToUnit(5000, 1000), 5.0);  // unit m
    EXPECT_EQ(UnitToMillimetres(5, 1000), 5000.0);
    EXPECT_EQ(MillimetresToUnit(UnitToMillimetres(1.5, 25.4), 25.4), 1.5);
    EXPECT_EQ(MillimetresToUnit(UnitToMillimetres(0.3, 304.8), 304.8), 0.3);
    EXPECT_EQ(UnitToMillimetres(100.000001, 1000), 100000.001);
    for (double bad : {0.0, -1.0, double(NAN), double(INFINITY)}) {
        EXPECT_EQ(MillimetresToUnit(42, bad), 42.0);
        EXPECT_EQ(UnitToMillimetres(42, bad), 42.0);
    }
}

TEST(ChartDates, DayChangesAndFormats) {
    modFunctions::SetLanguageOffset(0);
    EXPECT_EQ(FormatDate(45000.0), "15.03.23");
    EXPECT_EQ(FormatDate(2.0), "01.01.00");  // 1 January 1900
    EXPECT_EQ(FormatDate(45000.0 - 0.2 / 86400), "15.03.23");  // shows as 00:00:00 of that day
    EXPECT_EQ(DayOf(45000.0 - 0.2 / 86400), 45000.0);
    EXPECT_EQ(FormatDate(45351.5), "29.02.24");
    modFunctions::SetLanguageOffset(1000);
    EXPECT_EQ(FormatDate(45351.5), "24-02-29");
    modFunctions::SetLanguageOffset(0);
    EXPECT_EQ(FormatDate(NAN), FormatDate(0.0));
}

// A clock axis over several days dates the first line and every line where
// the day changes; within one day there are no dates.
TEST(ChartDates, ClockAxisDatesWhereTheDayChanges) {
    const double day = 86400000.0;
    for (int days : {1, 2, 3, 7, 14}) {
        const double xMax = kDay + days + 0.4;
        const auto g = ComputeXGrid(true, days * day, xMax, 0, 1000, 60);
        ASSERT_TRUE(g.Valid);
        ASSERT_EQ(g.Dates.size(), g.Values.size());
        ASSERT_FALSE(g.Dates.empty());
        EXPECT_EQ(g.Dates.front(), FormatDate(g.Values.front())) << days;
        int dated = 0;
        for (std::size_t i = 1; i < g.Values.size(); ++i) {
            const bool changed = DayOf(g.Values[i]) != DayOf(g.Values[i - 1]);
            EXPECT_EQ(!g.Dates[i].empty(), changed) << days << " " << i;
            if (changed) {
                EXPECT_EQ(g.Dates[i], FormatDate(g.Values[i]));
            }
            dated += changed;
        }
        EXPECT_GE(dated, 1) << days;
    }
    // One hour within a day: no date; a minute across midnight: the first
    // line (the day before) and the line at midnight.
    const auto hour = ComputeXGrid(true, 3600000, At(12, 0, 0), 0, 1000, 60);
    for (const auto& d : hour.Dates) EXPECT_EQ(d, "");
    const auto midnight = ComputeXGrid(true, 60000, kDay + 30.0 / 86400, 0, 600, 60);
    std::vector<std::string> dated;
    for (std::size_t i = 0; i < midnight.Dates.size(); ++i)
        if (!midnight.Dates[i].empty()) dated.push_back(FormatClock(midnight.Values[i]) + " " + midnight.Dates[i]);
    EXPECT_EQ(dated, (std::vector<std::string>{"23:59:40 14.03.23", "00:00:00 15.03.23"}));
    EXPECT_TRUE(ComputeXGrid(false, 3 * day, kDay, 0, 1000, 60).Dates.empty());
}

// Apply of the two limits: separators of either locale, equal limits,
// out-of-range and non-numeric texts, yMin above yMax, and the unit shown.
TEST(ChartUnits, ApplyingTheFixedRange) {
    for (char separator : {'.', ','}) {
        modFunctions::SetDecimalSeparator(separator);
        const std::string half = separator == '.' ? "12.5" : "12,5";
        auto r = ApplyFixedRange(half, "-3", 0, 5000, 1);
        EXPECT_TRUE(r.MaxTaken && r.MinTaken && !r.Reversed && !r.Parted);
        EXPECT_EQ(r.MaxMm, 12.5);
        EXPECT_EQ(r.MinMm, -3.0);
    }
    modFunctions::SetDecimalSeparator('.');
    // Equal limits are parted by 0.000001.
    auto equal = ApplyFixedRange("100", "100", 0, 5000, 1);
    EXPECT_TRUE(equal.Parted);
    EXPECT_EQ(equal.Max, 100.000001);
    EXPECT_EQ(equal.MaxMm, 100.000001);
    EXPECT_GT(equal.MaxMm, equal.MinMm);
    // Unit m: the boxes are metres, the range millimetres.
    auto metres = ApplyFixedRange("5", "0.5", 0, 5000, 1000);
    EXPECT_EQ(metres.MaxMm, 5000.0);
    EXPECT_EQ(metres.MinMm, 500.0);
    auto partedMetres = ApplyFixedRange("2", "2", 0, 5000, 1000);
    EXPECT_EQ(partedMetres.MaxMm, 2000.001);
    // Refused texts keep the stored limit of their box only.
    for (const char* bad : {"abc", "-", "1.2.3", "", "99999999", "-1E9"}) {
        auto r = ApplyFixedRange(bad, "10", 0, 5000, 1);
        EXPECT_FALSE(r.MaxTaken) << bad;
        EXPECT_TRUE(r.MinTaken) << bad;
        EXPECT_EQ(r.MaxMm, 5000.0) << bad;
        EXPECT_EQ(r.MinMm, 10.0) << bad;
    }
    EXPECT_TRUE(ApplyFixedRange("99999998", "0", 0, 5000, 1).MaxTaken);
    // In nautical miles 999999 is beyond any distance the sensor sends.
    EXPECT_FALSE(ApplyFixedRange("999999", "0", 0, 5000, 1852000).MaxTaken);
    // yMin above yMax: neither is taken, the stored range stays.
    auto upside = ApplyFixedRange("10", "20", 0, 5000, 1);
    EXPECT_TRUE(upside.Reversed);
    EXPECT_FALSE(upside.MaxTaken || upside.MinTaken);
    EXPECT_EQ(upside.MinMm, 0.0);
    EXPECT_EQ(upside.MaxMm, 5000.0);
    // ... also against the stored limit of a refused box.
    EXPECT_TRUE(ApplyFixedRange("x", "6000", 0, 5000, 1).Reversed);
}

}  // namespace
