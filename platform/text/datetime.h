// Calendar dates and date-times without time zones, as the catalogue database and report
// scripts keep them: a date is a day number, day 0 being 30.12.1899 (so that a date converts
// to and from the day part of a floating-point date-time value unchanged).
#pragma once

#include <compare>
#include <cstdint>

namespace zentra::text {

class Date {
public:
    constexpr Date() = default;
    constexpr explicit Date(int32_t serial) : serial_(serial) {}

    // The date of a year, month (1-12) and day; invalid combinations give an invalid Date.
    static Date fromYmd(int year, int month, int day);
    static Date today();
    static bool isValidYmd(int year, int month, int day);

    int32_t serial() const { return serial_; }
    bool isValid() const { return serial_ != kInvalid; }
    int year() const;
    int month() const;
    int day() const;
    void toYmd(int& year, int& month, int& day) const;
    int dayOfWeek() const;  // 1 Monday .. 7 Sunday
    Date addDays(int n) const { return Date(serial_ + n); }

    auto operator<=>(const Date&) const = default;

private:
    static constexpr int32_t kInvalid = INT32_MIN;
    int32_t serial_ = kInvalid;
};

struct DateTime {
    Date date;
    int32_t msecs = 0;  // milliseconds since midnight, 0..86'399'999

    static DateTime now();
    static DateTime fromDays(double days);  // the floating-point form, day 0 = 30.12.1899
    double toDays() const;
    int hour() const { return msecs / 3'600'000; }
    int minute() const { return msecs / 60'000 % 60; }
    int second() const { return msecs / 1000 % 60; }
    int millisecond() const { return msecs % 1000; }
    auto operator<=>(const DateTime&) const = default;
};

}  // namespace zentra::text
