#include "modChartLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "modChartDates.h"
#include "modChartNumbers.h"

namespace modChartCommon {

namespace {

// Quotients of values that are meant to be whole (a range over its step)
// come out as 2.9999999999999996 now and then; snap those before floor/trunc.
double Snap(double q) {
    const double r = std::nearbyint(q);
    return std::fabs(q - r) < 1e-9 * std::max(1.0, std::fabs(r)) ? r : q;
}

int ClampInt(double x) {
    if (!(x == x)) return 0;
    if (x > 2147483647.0) return 2147483647;
    if (x < -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(x);
}

int Sign(double x) { return (x > 0) - (x < 0); }

}  // namespace

HMargins HorizontalMargins(int yFlags, int yTitleWidth, int yTickWidth, int xTickWidth) {
    const int half = static_cast<int>(RoundEven(xTickWidth / 2.0 + 6));
    const int full = yTitleWidth + 10 + yTickWidth + 8;
    const bool left = yFlags & PlaceLeft;
    const bool right = yFlags & PlaceRight;
    if (left && right) return {yTitleWidth + yTickWidth + 18, yTitleWidth + yTickWidth + 18};
    if (left) return {full, half};
    if (right) return {half, full};
    return {half, half};
}

VMargins VerticalMargins(int xFlags, int headerHeight, int xTitleHeight, int xTickHeight) {
    const bool above = xFlags & PlaceAbove;
    const bool below = xFlags & PlaceBelow;
    const int top = headerHeight + 10;
    const int topWithScale = headerHeight + 10 + xTitleHeight + 4 + xTickHeight + 8;
    if (above && below) return {topWithScale, xTitleHeight + xTickHeight + 18};
    if (above) return {topWithScale, 10};
    if (below) return {top, xTitleHeight + 10 + xTickHeight + 8};
    return {top, 10};
}

int VisibleCount(int chartMask) {
    int count = 0;
    for (int i = 0; i < MaxBands; ++i)
        if (chartMask & (1 << i)) ++count;
    return count;
}

int BandHeight(int plotTop, int plotBottom, int visibleCount) {
    if (visibleCount < 1) return 0;
    return static_cast<int>(
        RoundEven(double(plotBottom - plotTop - (visibleCount - 1) * BandGap) / visibleCount));
}

std::vector<Band> Bands(int chartMask, int plotTop, int plotBottom) {
    std::vector<Band> bands;
    const int height = BandHeight(plotTop, plotBottom, VisibleCount(chartMask));
    int k = 0;
    for (int i = 0; i < MaxBands; ++i) {
        if (!(chartMask & (1 << i))) continue;
        const int top = plotTop + k * (height + BandGap);
        bands.push_back({i, top, top + height});
        ++k;
    }
    return bands;
}

YGrid ComputeYGrid(double yMin, double yMax, bool reversed, int bandHeight, int n) {
    YGrid g;
    g.Min = yMin;
    g.Max = yMax;
    g.GridStart = yMin;
    const double span = yMax - yMin;
    if (span == 0.0 || !std::isfinite(span)) return g;
    double d = ValueStep(span, n);
    // Limits of different signs: the grid starts on the step multiple next
    // to yMin towards zero, so that 0 is a grid line. The range stays.
    double low = yMin;
    if (Sign(yMin) != Sign(yMax)) low = std::trunc(Snap(yMin / d)) * d;
    const double count = std::floor(Snap((yMax - low) / d));
    if (!(count >= 0) || count > 100000) return g;
    g.Valid = true;
    g.Count = static_cast<int>(count);
    g.Scale = bandHeight / span;
    g.GridStart = low;
    // Positions count from the band's base: yMin, or yMax on a reversed axis.
    double start = low;
    double base = yMin;
    if (reversed) {
        d = -d;
        start = yMax;
        base = yMax;
    }
    g.Step = d;
    if (reversed) g.GridStart = start;
    const std::string pattern = NumberFormat(d);
    for (int i = 0; i <= g.Count; ++i) {
        const double value = start + i * d;
        g.Values.push_back(value);
        g.Positions.push_back(RoundPixel((value - base) * g.Scale));
        g.Labels.push_back(FormatNumber(value, pattern));
    }
    return g;
}

XGrid ComputeXGrid(bool isTimeScale, double timeIntervalMs, double xMax, int plotLeft,
                   int plotWidth, int tickLabelWidth) {
    XGrid g;
    const double t = timeIntervalMs;
    if (!(t >= 1) || !std::isfinite(t) || plotWidth < 1) return g;
    const int n = std::max(1, plotWidth / std::max(1, tickLabelWidth));
    g.Scale = MsPerDay / t * plotWidth;
    g.Xmin = xMax - t / MsPerDay;
    const double spacingPerMs = plotWidth / t;
    if (!isTimeScale) {
        // Whole seconds, never below one.
        const double d = std::max(1.0, RoundEven(ValueStep(t / 1000.0, n)));
        g.Step = d;
        g.Count = ClampInt(std::floor(Snap(t / 1000.0 / d)));
        const double spacing = spacingPerMs * d * 1000.0;
        for (int i = 0; i <= g.Count; ++i) {
            g.Values.push_back(t / 1000.0 - i * d);
            g.Positions.push_back(static_cast<int>(std::floor(plotLeft + i * spacing)));
        }
    } else {
        const double d = TimeStep(t, n);
        g.Step = d;
        g.Count = ClampInt(std::floor(Snap(t / d)));
        const double day = std::floor(g.Xmin);
        const double e = d / MsPerDay;
        const double first = day + std::floor(Snap((g.Xmin - day) / e)) * e;
        const int x0 = RoundPixel((first - g.Xmin) * g.Scale + plotLeft);
        const double spacing = spacingPerMs * d;
        // Step boundaries after `first` up to the right edge: Count of them,
        // or one more when the window is not a multiple of the step.
        const double limit = xMax + 0.01 / MsPerDay;
        // A date where the day changes; under the first line as well when
        // the window reaches over more than one day.
        double previousDay = DayOf(g.Xmin);
        const bool severalDays = DayOf(g.Xmin) != DayOf(xMax);
        for (int i = 0; i <= g.Count; ++i) {
            const double value = first + (i + 1) * e;
            if (value > limit) break;
            g.Values.push_back(value);
            g.Positions.push_back(RoundPixel((i + 1) * spacing + x0));
            const double day = DayOf(value);
            const bool dated = day != previousDay || (i == 0 && severalDays);
            g.Dates.push_back(dated ? FormatDate(value) : std::string());
            previousDay = day;
        }
    }
    g.Valid = true;
    return g;
}

}  // namespace modChartCommon
