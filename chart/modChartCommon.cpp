#include "modChartCommon.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "modCalendar.h"
#include "modFunctions.h"

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

double RoundEven(double x) { return std::nearbyint(x); }

int RoundPixel(double x) {
    constexpr double limit = 1 << 24;
    if (!(x == x)) return 0;
    return static_cast<int>(RoundEven(std::clamp(x, -limit, limit)));
}

double ValueStep(double span, int n) {
    if (span == 0.0 || !std::isfinite(span)) return 0.0;
    if (n < 3) n = 3;
    static const double multipliers[] = {1.0, 2.0, 5.0};
    const double s = std::fabs(span);
    for (int exponent = -6; exponent <= 308; ++exponent) {
        const double power = std::pow(10.0, exponent);
        for (double m : multipliers) {
            const double d = m * power;
            if (s / d < n) return std::copysign(d, span);
        }
    }
    return std::copysign(std::numeric_limits<double>::max(), span);
}

double TimeStep(double spanMs, int n) {
    if (n < 1) n = 1;
    if (!std::isfinite(spanMs) || spanMs == 0.0) return 1.0;
    const double t = std::fabs(spanMs);
    const double q = RoundEven(spanMs / n);
    if (q > 1000) {
        static const double units[] = {1.0, 60.0, 3600.0, 86400.0};
        static const double multipliers[] = {1.0, 2.0, 5.0, 10.0, 15.0, 20.0, 30.0};
        for (double u : units) {
            for (double m : multipliers) {
                const double d = m * u * 1000.0;
                if (t / d < n) return d;
            }
        }
        // Beyond 30 days the step grows in whole 30-day units: the smallest
        // multiple k of them with t / (k * unit) < n.
        constexpr double month = 30.0 * MsPerDay;
        double k = std::max(2.0, std::floor(t / n / month) + 1.0);
        if (k < 1e15) {  // whole numbers still exact: settle the rounding of the estimate
            while (t / (k * month) >= n) ++k;
            while (k > 2.0 && t / ((k - 1.0) * month) < n) --k;
        }
        return k * month;
    }
    static const double multipliers[] = {1.0, 2.0, 5.0};
    for (double power = 1.0;; power *= 10.0) {
        for (double m : multipliers)
            if (t / (m * power) < n) return m * power;
    }
}

std::string NumberFormat(double x) {
    const std::string text = modFunctions::NumberText(x);
    const auto e = text.find_first_of("eE");
    if (e == std::string::npos) return modFunctions::DecimalsPattern(x);
    // Exponent notation (1e-06, 2.5e-07): decimals = those of the mantissa
    // plus the negative exponent.
    const std::string mantissa = text.substr(0, e);
    const int exponent = std::atoi(text.c_str() + e + 1);
    const auto sep = mantissa.find_first_of(".,");
    const int mantissaDecimals =
        sep == std::string::npos ? 0 : static_cast<int>(mantissa.size() - sep - 1);
    const int decimals = std::max(0, mantissaDecimals - exponent);
    return decimals == 0 ? std::string("0") : "0." + std::string(decimals, '0');
}

std::string FormatNumber(double value, const std::string& pattern) {
    const auto dot = pattern.find('.');
    const int decimals =
        dot == std::string::npos ? 0 : static_cast<int>(pattern.size() - dot - 1);
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", std::min(decimals, 30), value);
    std::string s(buf);
    if (s.find_first_not_of("-0.") == std::string::npos && s[0] == '-') s.erase(0, 1);  // "-0.0"
    for (char& c : s)
        if (c == '.') c = modFunctions::DecimalSeparator();
    return s;
}

std::string WidthFormat(double min, double max) {
    const auto lengthOf = [](double x) {
        const double r = std::nearbyint(x * 1e6) / 1e6;
        return modFunctions::NumberText(std::isfinite(r) ? r : x).size();
    };
    const std::size_t l = std::max<std::size_t>({lengthOf(min), lengthOf(max), 4});
    return std::string(l + 2, '#');
}

std::string FormatClock(double day) {
    if (!std::isfinite(day)) return "00:00:00";
    double seconds = std::nearbyint((day - std::floor(day)) * 86400.0);
    if (seconds >= 86400.0) seconds -= 86400.0;
    const int s = static_cast<int>(seconds);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    return buf;
}

double DayOf(double day) {
    if (!std::isfinite(day)) return 0.0;
    return std::floor(std::nearbyint(day * 86400.0) / 86400.0);
}

std::string FormatDate(double day) {
    const double whole = DayOf(day);
    if (!(std::fabs(whole) < 1e9)) return "00.00.00";
    const modCalendar::Date date = modCalendar::DateOf(static_cast<std::int64_t>(whole));
    const int d = date.Day, m = date.Month, yy = (date.Year % 100 + 100) % 100;
    char buf[32];
    if (modFunctions::LanguageOffset() == 0)
        std::snprintf(buf, sizeof buf, "%02d.%02d.%02d", d, m, yy);
    else
        std::snprintf(buf, sizeof buf, "%02d-%02d-%02d", yy, m, d);
    return buf;
}

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

WindowExtremes ScanExtremes(const ScaleHistory& history, double timeSpanDays) {
    WindowExtremes x;
    if (history.Count <= 0) return x;
    bool haveSmall = false, haveLarge = false;
    const double threshold = history.Time(0) - timeSpanDays;
    for (int i = 0; i < history.Count; ++i) {
        if (i > 0 && history.Time(i) < threshold) break;
        const double d = history.Distance(i);
        if (d < 1000000 && (!haveSmall || d < x.Smallest)) {
            x.Smallest = d;
            haveSmall = true;
        }
        if (d > -1000000 && (!haveLarge || d > x.Largest)) {
            x.Largest = d;
            haveLarge = true;
        }
    }
    return x;
}

// ---- ScaleWindow ---------------------------------------------------------------

ScaleWindow::ScaleWindow(int capacity) { Reset(capacity); }

void ScaleWindow::Reset(int capacity) {
    const std::size_t size = static_cast<std::size_t>(std::max(1, capacity));
    m_time.assign(size, 0.0);
    m_distance.assign(size, 0.0);
    m_low.Items.assign(size, 0);
    m_high.Items.assign(size, 0);
    m_low.Clear();
    m_high.Clear();
    m_next = 0;
    m_start = 0;
    m_setBack = -1;
    m_threshold = 0.0;
    m_valid = false;
}

int ScaleWindow::Count() const { return static_cast<int>(std::min<long long>(m_next, Capacity())); }

double ScaleWindow::Time(int age) const {
    return age >= 0 && age < Count() ? TimeAt(m_next - 1 - age) : 0.0;
}

double ScaleWindow::Distance(int age) const {
    return age >= 0 && age < Count() ? DistanceAt(m_next - 1 - age) : 0.0;
}

void ScaleWindow::Push(long long seq) {
    const double d = DistanceAt(seq);
    if (d < 1000000) {
        while (m_low.Size > 0 && DistanceAt(m_low.Back()) >= d) m_low.PopBack();
        m_low.PushBack(seq);
    }
    if (d > -1000000) {
        while (m_high.Size > 0 && DistanceAt(m_high.Back()) <= d) m_high.PopBack();
        m_high.PushBack(seq);
    }
}

void ScaleWindow::DropBefore(long long seq) {
    while (m_low.Size > 0 && m_low.Front() < seq) m_low.PopFront();
    while (m_high.Size > 0 && m_high.Front() < seq) m_high.PopFront();
}

void ScaleWindow::Add(double timeDays, double distanceMm) {
    const long long seq = m_next;
    const bool setBack = seq > Oldest() && timeDays < TimeAt(seq - 1);
    // The slot of the oldest value is reused: it leaves the queues first.
    DropBefore(seq + 1 - Capacity());
    m_time[static_cast<std::size_t>(seq % Capacity())] = timeDays;
    m_distance[static_cast<std::size_t>(seq % Capacity())] = distanceMm;
    ++m_next;
    if (setBack) m_setBack = seq;
    Push(seq);
}

void ScaleWindow::Rebuild(double threshold) {
    // The window by its definition: back from the newest value until the
    // first one older than the threshold.
    const long long newest = m_next - 1;
    long long start = newest;
    while (start > Oldest() && !(TimeAt(start - 1) < threshold)) --start;
    m_low.Clear();
    m_high.Clear();
    for (long long seq = start; seq <= newest; ++seq) Push(seq);
    m_start = start;
}

WindowExtremes ScaleWindow::Extremes(double timeSpanDays) {
    WindowExtremes x;
    if (m_next == 0) return x;
    const long long newest = m_next - 1;
    const double threshold = TimeAt(newest) - timeSpanDays;
    m_start = std::max(m_start, Oldest());
    // While the times run forwards and the window does not widen, the window
    // only loses values at its old end; otherwise it is found afresh.
    if (!m_valid || !(threshold >= m_threshold) || m_setBack > m_start) {
        Rebuild(threshold);
    } else {
        while (m_start < newest && TimeAt(m_start) < threshold) ++m_start;
        DropBefore(m_start);
    }
    m_threshold = threshold;
    m_valid = true;
    if (m_low.Size > 0) x.Smallest = DistanceAt(m_low.Front());
    if (m_high.Size > 0) x.Largest = DistanceAt(m_high.Front());
    return x;
}

// ---- auto-scaling ----------------------------------------------------------------

void AutoScaleY(AutoScaleRecord& rec, const std::function<WindowExtremes()>& extremes) {
    const double n = rec.MinHalfSpan;
    const double v = rec.LastValue;
    if (rec.Maximum == 0) {  // first value
        rec.Minimum = v - n;
        rec.Maximum = v + n;
        return;
    }
    const double step = (rec.Maximum - rec.Minimum) / n;
    if (rec.Maximum - step < v) {
        rec.Maximum = v + step;
        return;
    }
    if (rec.Minimum + step > v) {
        rec.Minimum = v - step;
        return;
    }
    if (rec.Maximum - rec.Minimum <= 2 * n) return;
    // Range of the values still visible in the chart window.
    const WindowExtremes x = extremes ? extremes() : WindowExtremes{};
    if (rec.Minimum + 3 * step < x.Smallest) rec.Minimum = x.Smallest - 2 * step;
    if (rec.Maximum - 3 * step > x.Largest) rec.Maximum = x.Largest + 2 * step;
    if (rec.Maximum - rec.Minimum < 2 * n) {
        const double centre = std::nearbyint((rec.Maximum + rec.Minimum) / 2);
        rec.Minimum = centre - n;
        rec.Maximum = centre + n;
    }
}

void AutoScaleY(AutoScaleRecord& rec, const ScaleHistory& history, double timeSpanDays) {
    AutoScaleY(rec, [&] { return ScanExtremes(history, timeSpanDays); });
}

void AutoScaleY(AutoScaleRecord& rec, ScaleWindow& window, double timeSpanDays) {
    AutoScaleY(rec, [&] { return window.Extremes(timeSpanDays); });
}

// ---- y range units ---------------------------------------------------------------

namespace {

double Tidy(double x) {
    if (!std::isfinite(x) || x == 0.0) return x;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", x);
    return std::strtod(buf, nullptr);
}

double Factor(double mmPerUnit) { return std::isfinite(mmPerUnit) && mmPerUnit > 0 ? mmPerUnit : 1.0; }

}  // namespace

double MillimetresToUnit(double mm, double mmPerUnit) { return Tidy(mm / Factor(mmPerUnit)); }

double UnitToMillimetres(double value, double mmPerUnit) { return Tidy(value * Factor(mmPerUnit)); }

FixedRange ApplyFixedRange(const std::string& maxText, const std::string& minText, double storedMinMm,
                           double storedMaxMm, double mmPerUnit) {
    const auto read = [&](const std::string& text, double& value) {
        double v = 0;
        if (!modFunctions::ParseNumber(text, v) || !std::isfinite(v)) return false;
        if (!(std::fabs(v) < LargestRangeInput)) return false;
        if (!(std::fabs(UnitToMillimetres(v, mmPerUnit)) <= LargestRangeMm)) return false;
        value = v;
        return true;
    };
    FixedRange r;
    double max = MillimetresToUnit(storedMaxMm, mmPerUnit);
    double min = MillimetresToUnit(storedMinMm, mmPerUnit);
    r.MaxTaken = read(maxText, max);
    r.MinTaken = read(minText, min);
    if (min > max) {
        // Upside down: nothing of it is taken.
        r.Reversed = true;
        r.MaxTaken = r.MinTaken = false;
        r.MinMm = storedMinMm;
        r.MaxMm = storedMaxMm;
        r.Max = MillimetresToUnit(storedMaxMm, mmPerUnit);
        return r;
    }
    if (std::fabs(max - min) < SmallestSpan) {
        max = min + SmallestSpan;
        r.Parted = true;
    }
    r.Max = max;
    r.MinMm = UnitToMillimetres(min, mmPerUnit);
    r.MaxMm = UnitToMillimetres(max, mmPerUnit);
    if (!(r.MaxMm > r.MinMm)) {  // parted by less than the millimetres can hold
        r.MaxMm = std::nextafter(r.MinMm, std::numeric_limits<double>::infinity());
        r.Parted = true;
    }
    return r;
}

}  // namespace modChartCommon
