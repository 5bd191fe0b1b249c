#include "calendar_model.h"

#include <algorithm>

namespace zentra::popups {

int daysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

MonthGrid::MonthGrid(int year, int month, WeekDay startOfWeek)
    : year_(year), month_(month), days_(daysInMonth(year, month)), start_(startOfWeek) {
    const text::Date first = text::Date::fromYmd(year, month, 1);
    // Date::dayOfWeek counts 1 Monday .. 7 Sunday; WeekDay counts 0 Sunday .. 6 Saturday.
    const int weekday = first.isValid() ? first.dayOfWeek() % 7 : 0;
    int column = (weekday - static_cast<int>(start_) + 7) % 7;
    // A month that starts on the first day of the week begins in the second week row, so that
    // the end of the previous month always has a row to show through.
    offset_ = column == 0 ? 7 : column;
}

int MonthGrid::dayAt(int row, int col) const {
    if (row < 1 || row > 6 || col < 0 || col > 6) return 0;
    const int day = (row - 1) * 7 + col - offset_ + 1;
    return day >= 1 && day <= days_ ? day : 0;
}

bool MonthGrid::cellOf(int day, int& row, int& col) const {
    if (day < 1 || day > days_) return false;
    const int cell = offset_ + day - 1;
    row = cell / 7 + 1;
    col = cell % 7;
    return true;
}

WeekDay MonthGrid::weekDayOfColumn(int col) const {
    return static_cast<WeekDay>((static_cast<int>(start_) + col) % 7);
}

text::Date addYears(text::Date d, int years) {
    int y, m, day;
    d.toYmd(y, m, day);
    y += years;
    return text::Date::fromYmd(y, m, std::min(day, daysInMonth(y, m)));
}

text::Date addMonths(text::Date d, int months) {
    int y, m, day;
    d.toYmd(y, m, day);
    int total = y * 12 + (m - 1) + months;
    y = total / 12;
    m = total % 12 + 1;
    return text::Date::fromYmd(y, m, std::min(day, daysInMonth(y, m)));
}

PopupRect pickListRect(int anchorLeft, int anchorTop, int minWidth, int topBelow, int rows,
                       int itemCount, int widestText, int screenBottom) {
    PopupRect r;
    const int shown = std::max(0, std::min(rows, itemCount));
    r.height = shown * kPickListItemHeight + 2;
    r.left = anchorLeft;
    r.width = widestText > minWidth && widestText <= kPickListMaxWidth ? widestText : minWidth;
    r.top = topBelow;
    if (r.top + r.height > screenBottom - 10) r.top = anchorTop - r.height - 10;
    return r;
}

}  // namespace zentra::popups
