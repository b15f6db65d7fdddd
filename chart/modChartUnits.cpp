#include "modChartUnits.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "modFunctions.h"

namespace modChartCommon {

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
