#pragma once
// Layout of the chart, free of any drawing: margins, band layout and the x
// and y grids. The chart measures its texts and hands the sizes in;
// everything here is plain numbers.
//
// Pixel coordinates: origin top left, y growing downwards.
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

}  // namespace modChartCommon
