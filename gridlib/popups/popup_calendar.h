// The popup calendar of date editors: a month grid with the month and year in its caption and
// buttons for the previous and next month and year. A click on a day or Enter chooses the date.
#pragma once

#include <QColor>
#include <QFrame>
#include <functional>

#include "calendar_model.h"

class QLabel;

namespace zentra::popups {

// The month grid: 7 × 7 cells, the first row the day names.
class InternalCalendar : public QWidget {
    Q_OBJECT

  public:
    explicit InternalCalendar(QWidget* parent = nullptr);

    text::Date calendarDate() const { return date_; }
    void setCalendarDate(text::Date d);
    int day() const { return date_.day(); }
    int month() const { return date_.month(); }
    int year() const { return date_.year(); }
    void setDay(int d);
    void setMonth(int m);
    void setYear(int y);
    bool readOnly = false;
    WeekDay startOfWeek = WeekDay::Mon;
    QColor weekendColor = Qt::red;
    unsigned weekends = 1u << static_cast<unsigned>(WeekDay::Sun);  // bit per WeekDay
    std::function<void()> onChange;
    std::function<void()> onChoose;  // a click on a day or Enter

    QRect cellRect(int row, int col) const;
    int rowHeight() const { return 16; }

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

  private:
    void changed();
    text::Date date_;
};

class AdvancedCalendar : public QFrame {
    Q_OBJECT

  public:
    explicit AdvancedCalendar(QWidget* owner);
    InternalCalendar* grid() const { return grid_; }
    text::Date selectedDate() const { return grid_->calendarDate(); }
    QString captionText() const;
    std::function<void(AdvancedCalendar&)> onChosen;

  protected:
    void keyPressEvent(QKeyEvent*) override;

  private:
    void updateCaption();
    InternalCalendar* grid_;
    QLabel* caption_;
};

// Opens the calendar at a screen position (moved up when it would reach below the screen) on the
// date of `dateText`; an empty or blank date text means today. Choosing a day hides it and calls
// `chosen`. The owner frees the calendar.
AdvancedCalendar* showPopupCalendar(QWidget* owner, QPoint screenPos,
                                    std::function<void(AdvancedCalendar&)> chosen,
                                    const QString& dateText);

}  // namespace zentra::popups
