#include "modCalendar.h"

#include <cmath>

namespace modCalendar {
namespace {
// Day number of 1 March of year 0, the start of the 400-year eras below.
constexpr std::int64_t Era0 = -693899;
constexpr std::int64_t DaysPerEra = 146097;
constexpr std::int64_t MsPerDay = 86400000;
// Date values further from the start than this are no times of this program.
constexpr double LargestDays = 3.0e6;
}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Years start on 1 March, so that the leap day is the last of its year.
std::int64_t DayNumber(int year, int month, int day) {
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;                                  // 0..399
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;  // 0..365
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;          // 0..146096
    return era * DaysPerEra + doe + Era0;
}

Date DateOf(std::int64_t dayNumber) {
    const std::int64_t z = dayNumber - Era0;
    const std::int64_t era = (z >= 0 ? z : z - (DaysPerEra - 1)) / DaysPerEra;
    const std::int64_t doe = z - era * DaysPerEra;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    Date date;
    date.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    date.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    date.Year = static_cast<int>(yoe + era * 400 + (date.Month <= 2 ? 1 : 0));
    return date;
}

std::int64_t WholeMilliseconds(double days) {
    return static_cast<std::int64_t>(std::nearbyint(days * static_cast<double>(MsPerDay)));
}

Moment MomentOf(double days) {
    if (!std::isfinite(days) || std::fabs(days) > LargestDays) days = 0;
    const std::int64_t total = WholeMilliseconds(days);
    std::int64_t date = total / MsPerDay;
    std::int64_t ms = total % MsPerDay;
    if (ms < 0) {
        ms += MsPerDay;
        --date;
    }
    Moment m;
    m.Day = DateOf(date);
    m.Hour = static_cast<int>(ms / 3600000);
    m.Minute = static_cast<int>(ms / 60000 % 60);
    m.Second = static_cast<int>(ms / 1000 % 60);
    m.Millisecond = static_cast<int>(ms % 1000);
    return m;
}

}  // namespace modCalendar
