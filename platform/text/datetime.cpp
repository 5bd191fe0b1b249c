#include "datetime.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace zentra::text {
namespace {

// Days from 1970-01-01 for a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

constexpr int64_t kEpochOffset = 25569;  // 1970-01-01 as a day number from 1899-12-30

}  // namespace

bool Date::isValidYmd(int y, int m, int d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    const int last = kDays[m - 1] + (m == 2 && leap ? 1 : 0);
    return d <= last;
}

Date Date::fromYmd(int y, int m, int d) {
    if (!isValidYmd(y, m, d)) return Date();
    return Date(static_cast<int32_t>(daysFromCivil(y, m, d) + kEpochOffset));
}

Date Date::today() { return DateTime::now().date; }

void Date::toYmd(int& y, int& m, int& d) const { civilFromDays(serial_ - kEpochOffset, y, m, d); }

int Date::year() const {
    int y, m, d;
    toYmd(y, m, d);
    return y;
}
int Date::month() const {
    int y, m, d;
    toYmd(y, m, d);
    return m;
}
int Date::day() const {
    int y, m, d;
    toYmd(y, m, d);
    return d;
}

int Date::dayOfWeek() const {
    // 30.12.1899 was a Saturday.
    const int r = ((serial_ + 5) % 7 + 7) % 7;  // 0 Monday
    return r + 1;
}

DateTime DateTime::now() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    DateTime dt;
    dt.date = Date::fromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    dt.msecs = ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 +
               static_cast<int32_t>(ms);
    return dt;
}

DateTime DateTime::fromDays(double days) {
    DateTime dt;
    const double whole = std::floor(days);
    dt.date = Date(static_cast<int32_t>(whole));
    dt.msecs = static_cast<int32_t>(std::llround((days - whole) * 86'400'000.0));
    if (dt.msecs >= 86'400'000) {
        dt.date = dt.date.addDays(1);
        dt.msecs -= 86'400'000;
    }
    return dt;
}

double DateTime::toDays() const { return date.serial() + msecs / 86'400'000.0; }

}  // namespace zentra::text
