#include "value.h"

#include <cmath>

#include "text/format_settings.h"

namespace zentra::db {

int64_t Value::toInt() const {
    switch (kind()) {
        case Kind::Integer: return std::get<int64_t>(v_);
        case Kind::Double: {
            const double d = std::get<double>(v_);
            if (!std::isfinite(d) || std::fabs(d) > 9.2e18) return 0;
            return std::llround(d);
        }
        case Kind::Boolean: return std::get<bool>(v_) ? 1 : 0;
        case Kind::Text: {
            if (auto i = text::parseMachineInteger(std::get<std::string>(v_))) return *i;
            if (auto d = text::parseMachineNumber(std::get<std::string>(v_))) {
                return Value(*d).toInt();
            }
            return 0;
        }
        case Kind::Date: return std::get<Date>(v_).serial();
        default: return 0;
    }
}

double Value::toDouble() const {
    switch (kind()) {
        case Kind::Integer: return static_cast<double>(std::get<int64_t>(v_));
        case Kind::Double: return std::get<double>(v_);
        case Kind::Boolean: return std::get<bool>(v_) ? 1 : 0;
        case Kind::Text: return text::parseMachineNumber(std::get<std::string>(v_)).value_or(0);
        case Kind::Date: return std::get<Date>(v_).serial();
        case Kind::DateTime: return std::get<DateTime>(v_).toDays();
        default: return 0;
    }
}

bool Value::toBool() const {
    switch (kind()) {
        case Kind::Boolean: return std::get<bool>(v_);
        case Kind::Null: return false;
        default: return toDouble() != 0;
    }
}

std::string Value::toText() const {
    switch (kind()) {
        case Kind::Null: return {};
        case Kind::Integer: return std::to_string(std::get<int64_t>(v_));
        case Kind::Double: return text::machineNumber(std::get<double>(v_));
        case Kind::Text: return std::get<std::string>(v_);
        case Kind::Date: return text::machineDate(std::get<Date>(v_));
        case Kind::DateTime: return text::machineDateTime(std::get<DateTime>(v_));
        case Kind::Boolean: return std::get<bool>(v_) ? "1" : "0";
    }
    return {};
}

Date Value::toDate() const {
    switch (kind()) {
        case Kind::Date: return std::get<Date>(v_);
        case Kind::DateTime: return std::get<DateTime>(v_).date;
        case Kind::Text:
            return text::parseMachineDate(std::get<std::string>(v_)).value_or(Date());
        default: return Date();
    }
}

DateTime Value::toDateTime() const {
    switch (kind()) {
        case Kind::DateTime: return std::get<DateTime>(v_);
        case Kind::Date: return DateTime{std::get<Date>(v_), 0};
        default: return DateTime{toDate(), 0};
    }
}

}  // namespace zentra::db
