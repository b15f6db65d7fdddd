#include "modChartDates.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "modCalendar.h"
#include "modFunctions.h"

namespace modChartCommon {

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

}  // namespace modChartCommon
