#include "modAPI.h"

#include <chrono>
#include <ctime>

namespace modAPI {
namespace {
ClockFunction g_clock;
std::string g_programFolder = ".";

// Days from 1899-12-30 to the civil date (proleptic Gregorian).
long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;  // days since 1970-01-01
}
}  // namespace

double DayCount(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    const long epoch1899 = DaysFromCivil(1899, 12, 30);
    const double date = static_cast<double>(DaysFromCivil(year, month, day) - epoch1899);
    return date + hour / 24.0 + minute / 1440.0 + second / 86400.0 + millisecond / MsPerDay;
}

double NowWithMs() {
    if (g_clock) return g_clock();
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    return DayCount(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                    local.tm_sec, static_cast<int>(ms));
}

void SetClock(ClockFunction clock) { g_clock = std::move(clock); }

std::string GetOSName() { return "Linux"; }

std::string ProgramFolder() { return g_programFolder; }
void SetProgramFolder(const std::string& folder) { g_programFolder = folder; }

}  // namespace modAPI
