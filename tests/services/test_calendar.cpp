// Calendar arithmetic of the day count.
#include <gtest/gtest.h>

#include "modCalendar.h"

namespace {

TEST(Calendar, KnownDays) {
    struct Case {
        int year, month, day;
        std::int64_t number;
    };
    const Case cases[] = {
        {1899, 12, 30, 0},       {1900, 1, 1, 2},        {1900, 3, 1, 61},     // 1900: no leap year
        {1970, 1, 1, 25569},     {2000, 2, 29, 36585},   {2000, 3, 1, 36586},  // 2000: a leap year
        {2026, 12, 7, 46363},    {1600, 3, 1, -109511},  {1, 1, 1, -693593},
        {9999, 12, 31, 2958465},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(modCalendar::DayNumber(c.year, c.month, c.day), c.number);
        const modCalendar::Date date = modCalendar::DateOf(c.number);
        EXPECT_EQ(date.Year, c.year);
        EXPECT_EQ(date.Month, c.month);
        EXPECT_EQ(date.Day, c.day);
    }
}

TEST(Calendar, EveryDayOfFourCenturiesFollowsTheMonths) {
    std::int64_t n = modCalendar::DayNumber(1800, 1, 1);
    for (int year = 1800; year < 2200; ++year)
        for (int month = 1; month <= 12; ++month)
            for (int day = 1; day <= modCalendar::DaysInMonth(year, month); ++day, ++n) {
                const modCalendar::Date date = modCalendar::DateOf(n);
                ASSERT_EQ(modCalendar::DayNumber(year, month, day), n);
                ASSERT_TRUE(date.Year == year && date.Month == month && date.Day == day) << n;
            }
    EXPECT_EQ(n, modCalendar::DayNumber(2200, 1, 1));
    EXPECT_EQ(modCalendar::DaysInMonth(1900, 2), 28);
    EXPECT_EQ(modCalendar::DaysInMonth(2000, 2), 29);
    EXPECT_EQ(modCalendar::DaysInMonth(2024, 2), 29);
}

}  // namespace
