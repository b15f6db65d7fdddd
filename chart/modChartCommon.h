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

// y grid of one band.
struct YGrid {
    bool Valid = false;            // false: no ticks, labels or grid lines
    double Min = 0.0;              // yMin after the zero alignment
    double Max = 0.0;
    double Step = 0.0;             // negative on a reversed axis
    int Count = 0;                 // grid lines 0..Count
    double Scale = 0.0;            // pixels per value unit
    std::vector<double> Values;
    std::vector<int> Positions;    // pixels up from the band bottom
    std::vector<std::string> Labels;
};
// n is the number of labels that fit in the band (band height / label height).
// When yMin and yMax have different signs, yMin is moved towards zero onto a
// step multiple so that 0 falls on a grid line (the new value is in Min).
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

// Adjusts the record's range to its LastValue: the range grows at once when
// a value leaves it, and shrinks towards the values still inside the window
// of `timeSpanDays` (never below 2n).
void AutoScaleY(AutoScaleRecord& record, const ScaleHistory& history, double timeSpanDays);

}  // namespace modChartCommon
