#pragma once
// Layout and scale arithmetic of the chart, free of any drawing: step choice,
// number formats, margins, band layout and the x and y grids. The chart
// measures its texts and hands the sizes in; everything here is plain numbers.
//
// Pixel coordinates: origin top left, y growing downwards.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "modAPI.h"

namespace modChartCommon {

// Placement flags of the axes: x labels above (1) / below (2) the bands,
// y labels left (4) / right (8) of them.
constexpr int PlaceAbove = 1;
constexpr int PlaceBelow = 2;
constexpr int PlaceLeft = 4;
constexpr int PlaceRight = 8;

constexpr int MaxBands = 4;
constexpr int BandGap = 20;        // pixels between two visible bands
using modAPI::MsPerDay;

// Rounded to the nearest integer, ties to even (2.5 -> 2, 3.5 -> 4).
double RoundEven(double x);
// RoundEven as int, clamped to +-(1 << 24) so that far-off points stay representable.
int RoundPixel(double x);

// First of the steps 1e-6, 2e-6, 5e-6, 1e-5 ... with |span / step| < n
// (n raised to 3 when smaller). Carries the sign of span. 0 for a span of 0
// or one that is not finite.
double ValueStep(double span, int n);

// Step in ms for a time span T (ms) and a label count n (at least 1): whole
// 1, 2, 5, 10, 15, 20, 30 multiples of seconds, minutes, hours and days when
// T / n exceeds a second, else the 1-2-5 series of milliseconds.
double TimeStep(double spanMs, int n);

// Number pattern for a step or value: "0", "0.0", "0.00" ... with as many
// decimals as the value's text has (also for values written with an exponent).
std::string NumberFormat(double x);

// A value written with such a pattern, with the locale's decimal separator.
std::string FormatNumber(double value, const std::string& pattern);

// "#" repeated max(L, 4) + 2 times, L the longer text of min and max rounded
// to 6 decimals: serves to measure the widest tick label of an interval axis.
std::string WidthFormat(double min, double max);

// Time of day of a date value as "hh:mm:ss" (rounded to the nearest second).
std::string FormatClock(double day);

// Day number (whole days since 30 December 1899) of a date value, after
// rounding to the nearest second, so that it agrees with FormatClock: a value
// a hair before midnight that shows "00:00:00" belongs to the next day.
double DayOf(double day);

// Date of a date value, as wide as a "hh:mm:ss" text in the usual faces:
// "dd.mm.yy" in German, "yy-mm-dd" in English (language offset 1000).
std::string FormatDate(double day);

// Margins around the plot. Horizontal ones come from the placement flags of
// y axis 0, vertical ones from those of the x axis.
struct HMargins {
    int Left = 0;
    int Right = 0;
};
struct VMargins {
    int Top = 0;
    int Bottom = 0;
};
HMargins HorizontalMargins(int yFlags, int yTitleWidth, int yTickWidth, int xTickWidth);
VMargins VerticalMargins(int xFlags, int headerHeight, int xTitleHeight, int xTickHeight);

// Visible bands of a ChartMask (bit i = band i), in drawing order.
struct Band {
    int Index = 0;
    int Top = 0;
    int Bottom = 0;
};
int VisibleCount(int chartMask);
// Height of each visible band; 0 when no band is visible.
int BandHeight(int plotTop, int plotBottom, int visibleCount);
std::vector<Band> Bands(int chartMask, int plotTop, int plotBottom);

// y grid of one band. The band always shows the whole range yMin..yMax;
// only the grid lines are aligned.
struct YGrid {
    bool Valid = false;            // false: no ticks, labels or grid lines
    double Min = 0.0;              // yMin, at the band bottom (top when reversed)
    double Max = 0.0;
    double GridStart = 0.0;        // value of grid line 0
    double Step = 0.0;             // negative on a reversed axis
    int Count = 0;                 // grid lines 0..Count
    double Scale = 0.0;            // pixels per value unit
    std::vector<double> Values;
    std::vector<int> Positions;    // pixels up from the band bottom (down when reversed: negative)
    std::vector<std::string> Labels;
};
// n is the number of labels that fit in the band (band height / label height).
// When yMin and yMax have different signs, the grid starts at the step
// multiple next to yMin towards zero, so that 0 falls on a grid line; the
// range itself is kept (values between yMin and that line stay in the band).
YGrid ComputeYGrid(double yMin, double yMax, bool reversed, int bandHeight, int n);

// x grid of the shared time axis. Step is in ms on a clock-time axis and in
// whole seconds (at least 1) on an interval axis. Lines are placed at
// plotWidth * step / T apart, so they stay true when the window T is not a
// multiple of the step.
struct XGrid {
    bool Valid = false;            // false when T < 1 or the plot has no width
    double Step = 0.0;
    int Count = 0;                 // floor(T / Step)
    double Scale = 0.0;            // pixels per day
    double Xmin = 0.0;             // time of the left edge (clock-time axis)
    std::vector<double> Values;    // seconds before the right edge, or date values
    std::vector<int> Positions;    // x pixels
    // Clock-time axis: the date under a line where the day changes (and
    // under the first line when the window reaches over more than one day);
    // "" elsewhere. Empty on an interval axis.
    std::vector<std::string> Dates;
};
XGrid ComputeXGrid(bool isTimeScale, double timeIntervalMs, double xMax, int plotLeft,
                   int plotWidth, int tickLabelWidth);

// ---- y auto-scaling ---------------------------------------------------------

// Working data of the y auto-scaling (all distances in millimetres).
struct AutoScaleRecord {
    std::int32_t MinHalfSpan = 25;  // n: half the smallest range shown
    std::int32_t Axis = 0;          // chart band whose y axis is adjusted
    double Minimum = 0;             // current range, mm
    double Maximum = 0;
    std::int32_t LastValue = 0;     // newest charted distance, mm
};

// The charted distances, newest first: count, distance (mm) and time (days)
// of entry i.
struct ScaleHistory {
    int Count = 0;
    std::function<double(int)> Distance;
    std::function<double(int)> Time;
};

// Smallest and largest distance of the charted values still in the chart
// window: the newest value and, going back, every value until the first one
// more than the window older than the newest. Distances of a million mm or
// more do not count for the smallest, those of minus a million or less not
// for the largest; where nothing counts the result is 0.
struct WindowExtremes {
    double Smallest = 0.0;
    double Largest = 0.0;
};
// By a walk over the history: O(values in the window) per call.
WindowExtremes ScanExtremes(const ScaleHistory& history, double timeSpanDays);

// The auto-scale history (time and distance of the last `capacity` charted
// values) with the extremes of its window kept up to date as values come:
// Add and Extremes cost O(1) amortised while the times run forwards and the
// window does not widen. A clock set back or a wider window costs one walk
// over the window (per call for as long as the set-back lies in the window).
// Gives the same results as ScanExtremes over the same values.
class ScaleWindow {
public:
    explicit ScaleWindow(int capacity = 32);
    // Forgets every value; keeps the newest `capacity` (at least 1) from now on.
    void Reset(int capacity);
    void Add(double timeDays, double distanceMm);
    int Count() const;
    int Capacity() const { return static_cast<int>(m_time.size()); }
    // Entry `age` places before the newest (0 = newest); 0 outside 0..Count-1.
    double Time(int age) const;
    double Distance(int age) const;
    WindowExtremes Extremes(double timeSpanDays);

private:
    // Monotonic queue of sequence numbers (a ring as large as the history).
    struct Queue {
        std::vector<long long> Items;
        int Head = 0;
        int Size = 0;
        void Clear() { Head = Size = 0; }
        long long Front() const { return Items[Head]; }
        long long Back() const { return Items[(Head + Size - 1) % Items.size()]; }
        void PopFront() { Head = (Head + 1) % static_cast<int>(Items.size()); --Size; }
        void PopBack() { --Size; }
        void PushBack(long long seq) { Items[(Head + Size++) % Items.size()] = seq; }
    };
    double TimeAt(long long seq) const { return m_time[static_cast<std::size_t>(seq % Capacity())]; }
    double DistanceAt(long long seq) const { return m_distance[static_cast<std::size_t>(seq % Capacity())]; }
    long long Oldest() const { return m_next > Capacity() ? m_next - Capacity() : 0; }
    void Push(long long seq);
    void DropBefore(long long seq);
    void Rebuild(double threshold);

    std::vector<double> m_time;
    std::vector<double> m_distance;
    long long m_next = 0;           // sequence number of the next value
    long long m_start = 0;          // oldest value of the window at the last Extremes
    long long m_setBack = -1;       // newest value whose time is before its predecessor's
    double m_threshold = 0.0;       // oldest time of the window at the last Extremes
    bool m_valid = false;           // m_start and m_threshold hold
    Queue m_low;                    // candidates for the smallest, values rising
    Queue m_high;                   // candidates for the largest, values falling
};

// Adjusts the record's range to its LastValue: the range grows at once when
// a value leaves it, and shrinks towards the values still inside the window
// (never below 2n). `extremes` is asked only when the range may shrink.
void AutoScaleY(AutoScaleRecord& record, const std::function<WindowExtremes()>& extremes);
// The same over a history walked for every value (O(window) per value).
void AutoScaleY(AutoScaleRecord& record, const ScaleHistory& history, double timeSpanDays);
// The same over a ScaleWindow that already holds the record's LastValue.
void AutoScaleY(AutoScaleRecord& record, ScaleWindow& window, double timeSpanDays);

// ---- y range units ----------------------------------------------------------

// The fixed y range is kept in millimetres (KOV.ini, the settings); the axis
// and the chart settings show it in the unit of the values, `mmPerUnit`
// millimetres each (with the unit m a stored 5000 is 5). A factor that is not
// a positive finite number counts as 1. Results are rounded to 15 significant
// digits so that a value survives the way there and back (1.5 in stays 1.5,
// not 1.4999999999999998).
double MillimetresToUnit(double mm, double mmPerUnit);
double UnitToMillimetres(double value, double mmPerUnit);

// Largest magnitude of a stored limit: no distance the sensor sends is larger.
constexpr double LargestRangeMm = 2147483647.0;
// Largest magnitude a limit may be given with (in the unit shown).
constexpr double LargestRangeInput = 99999999.0;
// Smallest span of a fixed range (in the unit shown).
constexpr double SmallestSpan = 0.000001;

// Applying the two limits typed for the fixed range (texts in the unit of
// the values, read in the locale). A text that is no number, too large
// (LargestRangeInput or more, or beyond LargestRangeMm as millimetres) is
// refused, and that limit keeps its stored value. Limits that would put yMin
// above yMax are both refused. Equal limits are parted: yMax becomes
// yMin + SmallestSpan.
struct FixedRange {
    double MinMm = 0.0;        // the range from now on, in millimetres
    double MaxMm = 0.0;
    double Max = 0.0;          // yMax in the unit shown (for the box, when parted)
    bool MinTaken = false;     // false: refused (the box turns red)
    bool MaxTaken = false;
    bool Reversed = false;     // refused because yMin > yMax
    bool Parted = false;       // yMax moved up from yMin
};
FixedRange ApplyFixedRange(const std::string& maxText, const std::string& minText, double storedMinMm,
                           double storedMaxMm, double mmPerUnit);

}  // namespace modChartCommon
