// The popup calendar's month grid and date moves, and where the pick-list popup opens.
#include <gtest/gtest.h>

#include "calendar_model.h"

using namespace zentra::popups;
using zentra::text::Date;

TEST(MonthGrid, FirstOfMonthInItsWeekdayColumn) {
    struct Case {
        int year, month;
        WeekDay start;
        int row, col;  // cell of the 1st
    } cases[] = {
        {2026, 12, WeekDay::Mon, 1, 1},  // Tuesday 1 December 2026
        {2026, 6, WeekDay::Mon, 2, 0},   // Monday 1 June 2026: second week row
        {2026, 6, WeekDay::Sun, 1, 1},  {2026, 2, WeekDay::Sun, 2, 0},  // Sunday 1 February 2026
        {2026, 3, WeekDay::Mon, 1, 6},  // Sunday in a Monday week: last column
    };
    for (const auto& c : cases) {
        MonthGrid g(c.year, c.month, c.start);
        int row = -1, col = -1;
        ASSERT_TRUE(g.cellOf(1, row, col));
        EXPECT_EQ(row, c.row) << c.month;
        EXPECT_EQ(col, c.col) << c.month;
        EXPECT_EQ(g.dayAt(row, col), 1);
    }
    MonthGrid feb(2026, 2, WeekDay::Mon);
    EXPECT_EQ(feb.dayAt(0, 3), 0);  // names row
    int row, col;
    EXPECT_FALSE(feb.cellOf(29, row, col));
    EXPECT_EQ(feb.weekDayOfColumn(6), WeekDay::Sun);
}

TEST(CalendarMoves, DaysClampedToMonthLength) {
    struct Case {
        Date from;
        int years, months;
        Date expected;
    } cases[] = {
        {Date::fromYmd(2024, 2, 29), 1, 0, Date::fromYmd(2025, 2, 28)},
        {Date::fromYmd(2024, 2, 29), 4, 0, Date::fromYmd(2028, 2, 29)},
        {Date::fromYmd(2026, 1, 31), 0, 1, Date::fromYmd(2026, 2, 28)},
        {Date::fromYmd(2026, 3, 31), 0, -1, Date::fromYmd(2026, 2, 28)},
        {Date::fromYmd(2026, 12, 15), 0, 1, Date::fromYmd(2027, 1, 15)},
        {Date::fromYmd(2026, 1, 15), 0, -1, Date::fromYmd(2025, 12, 15)},
    };
    for (const auto& c : cases) {
        const Date got = c.years ? addYears(c.from, c.years) : addMonths(c.from, c.months);
        EXPECT_EQ(got, c.expected) << c.from.serial();
    }
}

TEST(PickListPopup, PlacementBelowOrAboveAndWidth) {
    // 3 of 7 rows: 3 × 16 + 2 high; widest text between the minimum and 450 wins.
    PopupRect r = pickListRect(100, 200, 80, 220, 7, 3, 120, 1000);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 220);
    EXPECT_EQ(r.height, 50);
    EXPECT_EQ(r.width, 120);
    EXPECT_EQ(pickListRect(100, 200, 80, 220, 7, 3, 600, 1000).width, 80);  // too wide
    EXPECT_EQ(pickListRect(100, 200, 80, 220, 7, 3, 50, 1000).width, 80);
    // Near the screen bottom it opens above the anchor.
    r = pickListRect(100, 900, 80, 920, 7, 10, 60, 1000);
    EXPECT_EQ(r.height, 114);
    EXPECT_EQ(r.top, 900 - 114 - 10);
}
