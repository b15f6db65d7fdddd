#pragma once
// The numbers of the chart's axes: rounding to pixels, the steps between
// grid lines (values and times) and the texts of the tick labels.
#include <string>

namespace modChartCommon {

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

}  // namespace modChartCommon
