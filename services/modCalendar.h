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

// Whole milliseconds of a date value (days, the fraction the time of day),
// rounded to the nearest, ties to even.
std::int64_t WholeMilliseconds(double days);

// A date value as a calendar date and a time of day. It is rounded to whole
// milliseconds once and then split, so 23:59:59.9996 is the next day's
// 00:00:00.000; a value that is not finite or lies more than 3 000 000 days
// from the start counts as 0.
struct Moment {
    Date Day;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};
Moment MomentOf(double days);

}  // namespace modCalendar
