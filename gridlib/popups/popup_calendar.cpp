#include "popup_calendar.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QToolButton>

#include "text/format_settings.h"

namespace zentra::popups {

namespace {

constexpr int kGridWidth = 170;
constexpr int kCellHeight = 16;

QString utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

}  // namespace

InternalCalendar::InternalCalendar(QWidget* parent) : QWidget(parent), date_(text::Date::today()) {
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(kGridWidth, 7 * kCellHeight);
}

void InternalCalendar::changed() {
    update();
    if (onChange) onChange();
}

void InternalCalendar::setCalendarDate(text::Date d) {
    if (!d.isValid() || d == date_) return;
    date_ = d;
    changed();
}

void InternalCalendar::setDay(int d) {
    setCalendarDate(
        text::Date::fromYmd(year(), month(), std::clamp(d, 1, daysInMonth(year(), month()))));
}

void InternalCalendar::setMonth(int m) {
    setCalendarDate(addMonths(date_, m - month()));
}

void InternalCalendar::setYear(int y) {
    setCalendarDate(addYears(date_, y - year()));
}

QRect InternalCalendar::cellRect(int row, int col) const {
    const int w = width() / 7;
    return QRect(col * w, row * kCellHeight, w, kCellHeight);
}

void InternalCalendar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const MonthGrid g(year(), month(), startOfWeek);
    const auto& names = text::FormatSettings::russian().shortDayNames;  // Monday first
    for (int col = 0; col < 7; ++col) {
        const QRect r = cellRect(0, col);
        p.fillRect(r, QColor(240, 240, 240));
        const int wd = static_cast<int>(g.weekDayOfColumn(col));
        p.setPen(Qt::black);
        p.drawText(r, Qt::AlignCenter, utf8(names[static_cast<size_t>((wd + 6) % 7)]));
    }
    for (int row = 1; row < 7; ++row) {
        for (int col = 0; col < 7; ++col) {
            const int d = g.dayAt(row, col);
            if (!d) continue;
            const QRect r = cellRect(row, col);
            const bool selected = d == day();
            const bool weekend = weekends & (1u << static_cast<unsigned>(g.weekDayOfColumn(col)));
            if (selected) p.fillRect(r, QColor(0, 120, 215));
            p.setPen(selected ? Qt::white : weekend ? weekendColor : Qt::black);
            p.drawText(r, Qt::AlignCenter, QString::number(d));
        }
    }
}

void InternalCalendar::mousePressEvent(QMouseEvent* e) {
    if (readOnly) return;
    const int col = e->position().toPoint().x() / std::max(1, width() / 7);
    const int row = e->position().toPoint().y() / kCellHeight;
    const int d = MonthGrid(year(), month(), startOfWeek).dayAt(row, col);
    if (!d) return;
    setDay(d);
    if (onChoose) onChoose();
}

void InternalCalendar::keyPressEvent(QKeyEvent* e) {
    const QString t = e->text();
    if (e->key() == Qt::Key_Left || t == QLatin1String("-")) {
        setCalendarDate(date_.addDays(-1));
    } else if (e->key() == Qt::Key_Right || t == QLatin1String("+")) {
        setCalendarDate(date_.addDays(1));
    } else if (e->key() == Qt::Key_Up) {
        setCalendarDate(date_.addDays(-7));
    } else if (e->key() == Qt::Key_Down) {
        setCalendarDate(date_.addDays(7));
    } else if (t == QLatin1String("t") || t == QLatin1String("T")) {
        setCalendarDate(text::Date::today());
    } else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        if (onChoose) onChoose();
    } else {
        QWidget::keyPressEvent(e);
    }
}

AdvancedCalendar::AdvancedCalendar(QWidget* owner)
    : QFrame(owner, Qt::Popup | Qt::FramelessWindowHint) {
    setFrameShape(QFrame::Box);
    setFixedWidth(175);
    caption_ = new QLabel(this);
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setGeometry(40, 0, width() - 80, 19);
    struct B {
        const char* text;
        const char* hint;
        int x;
        int delta;
        bool years;
    } buttons[] = {{"<<", "Предыдущий год", 2, -1, true},
                   {"<", "Предыдущий месяц", 21, -1, false},
                   {">", "Следующий месяц", 175 - 40, 1, false},
                   {">>", "Следующий год", 175 - 21, 1, true}};
    for (const B& b : buttons) {
        auto* btn = new QToolButton(this);
        btn->setText(QString::fromUtf8(b.text));
        btn->setToolTip(QString::fromUtf8(b.hint));
        btn->setAutoRaise(true);
        btn->setGeometry(b.x, 0, 19, 19);
        btn->setFocusPolicy(Qt::NoFocus);
        if (b.years) {
            QFont f = btn->font();
            f.setBold(true);
            btn->setFont(f);
            QPalette pal = btn->palette();
            pal.setColor(QPalette::ButtonText, QColor(0, 0, 128));
            btn->setPalette(pal);
        }
        const int delta = b.delta;
        const bool years = b.years;
        connect(btn, &QToolButton::clicked, this, [this, delta, years] {
            grid_->setCalendarDate(years ? addYears(grid_->calendarDate(), delta)
                                         : addMonths(grid_->calendarDate(), delta));
        });
    }
    grid_ = new InternalCalendar(this);
    grid_->move(2, 20);
    grid_->onChange = [this] { updateCaption(); };
    grid_->onChoose = [this] {
        hide();
        if (onChosen) onChosen(*this);
    };
    setFixedHeight(grid_->geometry().bottom() + 1 + 2);
    updateCaption();
}

QString AdvancedCalendar::captionText() const {
    return caption_->text();
}

void AdvancedCalendar::updateCaption() {
    const auto& months = text::FormatSettings::russian().longMonthNames;
    caption_->setText(utf8(months[static_cast<size_t>(grid_->month() - 1)]) + QStringLiteral(", ") +
                      QString::number(grid_->year()));
}

void AdvancedCalendar::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QFrame::keyPressEvent(e);
}

AdvancedCalendar* showPopupCalendar(QWidget* owner, QPoint screenPos,
                                    std::function<void(AdvancedCalendar&)> chosen,
                                    const QString& dateText) {
    auto* cal = new AdvancedCalendar(owner);
    cal->onChosen = std::move(chosen);
    const QString t = dateText.trimmed();
    bool blank = true;
    for (QChar c : t)
        blank = blank && !c.isDigit();
    text::Date d = text::Date::today();
    if (!blank) {
        const QByteArray u = t.toUtf8();
        if (auto parsed =
                text::FormatSettings::russian().parseDate(std::string_view(u.data(), u.size()))) {
            d = *parsed;
        }
    }
    cal->grid()->setCalendarDate(d);
    cal->grid()->update();
    const QScreen* screen = QGuiApplication::screenAt(screenPos);
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen && screenPos.y() + cal->height() > screen->geometry().bottom() + 1) {
        screenPos.setY(screen->geometry().bottom() + 1 - cal->height());
    }
    cal->move(screenPos);
    cal->show();
    cal->grid()->setFocus();
    return cal;
}

}  // namespace zentra::popups
