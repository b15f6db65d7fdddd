#pragma once
// Calendar arithmetic of the program's day count: whole days since
// 30 December 1899, proleptic Gregorian calendar, no time zones. Plain
// numbers; the clock itself is read in modAPI.
#include <cstdint>

namespace modCalendar {

struct Date {
    int Year = 1899;
    int Month = 12;  // 1..12
    int Day = 30;    // 1..31
};

bool IsLeapYear(int year);
// Days of `month` (1..12) in `year`.
int DaysInMonth(int year, int month);

// Day number of a calendar date (0 for 30 December 1899, 25569 for 1 January
// 1970, negative before 1900). The month is 1..12; the day may run past the
// month's end and counts on into the next.
std::int64_t DayNumber(int year, int month, int day);
// Calendar date of a day number; DateOf(DayNumber(y, m, d)) gives y, m, d back.
Date DateOf(std::int64_t dayNumber);

}  // namespace modCalendar
