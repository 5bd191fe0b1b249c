// The month grid of the popup calendar as plain arithmetic: which day sits in which cell, and how
// the date moves with the keys and the month and year buttons.
#pragma once

#include "text/datetime.h"

namespace zentra::popups {

// Days of the week as in the calendar's settings, Sunday first.
enum class WeekDay { Sun, Mon, Tue, Wed, Thu, Fri, Sat };

int daysInMonth(int year, int month);

// 7 columns × 7 rows; row 0 holds the day names, rows 1..6 the days.
class MonthGrid {
  public:
    MonthGrid(int year, int month, WeekDay startOfWeek);

    // The day shown in a cell (row 1..6, column 0..6), 0 for an empty cell or the names row.
    int dayAt(int row, int col) const;
    // The cell of a day of the month; false when the day is not in the month.
    bool cellOf(int day, int& row, int& col) const;
    // The weekday shown in a column.
    WeekDay weekDayOfColumn(int col) const;

  private:
    int year_, month_, days_;
    WeekDay start_;
    int offset_ = 0;  // cells before the first of the month, counted from row 1, column 0
};

// Moves that keep the day valid: a missing 29 February becomes the 28th, other days are clamped
// to the month's length.
text::Date addYears(text::Date d, int years);
text::Date addMonths(text::Date d, int months);

// Where the pick-list popup goes.
struct PopupRect {
    int left = 0, top = 0, width = 0, height = 0;
};
inline constexpr int kPickListItemHeight = 16;
inline constexpr int kPickListMaxWidth = 450;
// `anchorTop` is the top of the anchor (the cell), `topBelow` where the popup starts under it.
PopupRect pickListRect(int anchorLeft, int anchorTop, int minWidth, int topBelow, int rows,
                       int itemCount, int widestText, int screenBottom);

}  // namespace zentra::popups
