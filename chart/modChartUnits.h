#pragma once
// The y range in millimetres and in the unit of the values, and the fixed
// range typed in the chart settings.
#include <string>

namespace modChartCommon {

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
