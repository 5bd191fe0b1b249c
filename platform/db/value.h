// One database value: null, integer, floating-point number (exact numerics are read and written
// as doubles), text, date, date-time or boolean. Texts are bytes in the connection's character
// set (UTF-8 for the client, cp1251 for report scripts).
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "text/datetime.h"

namespace zentra::db {

using text::Date;
using text::DateTime;

class Value {
public:
    enum class Kind { Null, Integer, Double, Text, Date, DateTime, Boolean };

    Value() = default;
    Value(int v) : v_(int64_t{v}) {}
    Value(int64_t v) : v_(v) {}
    Value(long long v) : v_(static_cast<int64_t>(v)) {}
    Value(double v) : v_(v) {}
    Value(bool v) : v_(v) {}
    Value(std::string v) : v_(std::move(v)) {}
    Value(const char* v) : v_(std::string(v)) {}
    Value(Date v) : v_(v) {}
    Value(DateTime v) : v_(v) {}

    Kind kind() const { return static_cast<Kind>(v_.index()); }
    bool isNull() const { return v_.index() == 0; }

    // Conversions used by callers that know what they expect. Null gives 0, empty text or an
    // invalid date; a text that is not a number gives 0 for the numeric forms.
    int64_t toInt() const;
    double toDouble() const;
    bool toBool() const;
    // Machine-readable text: numbers with '.', dates as yyyy-mm-dd (display forms are made by
    // the data set's fields through FormatSettings).
    std::string toText() const;
    Date toDate() const;
    DateTime toDateTime() const;

    const std::string* textIf() const { return std::get_if<std::string>(&v_); }

    bool operator==(const Value& other) const = default;

private:
    std::variant<std::monostate, int64_t, double, std::string, Date, DateTime, bool> v_;
};

}  // namespace zentra::db
