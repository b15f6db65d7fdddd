#pragma once
// Clock and date texts of the chart's time axis, for date values in days
// since 30 December 1899 (the fraction is the time of day).
#include <string>

namespace modChartCommon {

// Time of day of a date value as "hh:mm:ss" (rounded to the nearest second).
std::string FormatClock(double day);

// Day number (whole days since 30 December 1899) of a date value, after
// rounding to the nearest second, so that it agrees with FormatClock: a value
// a hair before midnight that shows "00:00:00" belongs to the next day.
double DayOf(double day);

// Date of a date value, as wide as a "hh:mm:ss" text in the usual faces:
// "dd.mm.yy" in German, "yy-mm-dd" in English (language offset 1000).
std::string FormatDate(double day);

}  // namespace modChartCommon
