#include "format_settings.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace zentra::text {
namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string pad2(int v) {
    char buf[8];
    snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

std::string pad(int v, int width) {
    char buf[16];
    snprintf(buf, sizeof buf, "%0*d", width, v);
    return buf;
}

// Reads an unsigned decimal of 1..maxDigits digits at `pos`.
bool readDigits(std::string_view s, size_t& pos, int maxDigits, int& value, int& count) {
    value = 0;
    count = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && count < maxDigits) {
        value = value * 10 + (s[pos] - '0');
        ++pos;
        ++count;
    }
    return count > 0;
}

}  // namespace

FormatSettings::FormatSettings()
    : longMonthNames{"Январь", "Февраль", "Март",     "Апрель",  "Май",    "Июнь",
                     "Июль",   "Август",  "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"},
      genitiveMonthNames{"января", "февраля", "марта",    "апреля",  "мая",    "июня",
                         "июля",   "августа", "сентября", "октября", "ноября", "декабря"},
      shortMonthNames{"янв", "фев", "мар", "апр", "май", "июн",
                      "июл", "авг", "сен", "окт", "ноя", "дек"},
      longDayNames{"понедельник", "вторник", "среда",      "четверг",
                   "пятница",     "суббота", "воскресенье"},
      shortDayNames{"Пн", "Вт", "Ср", "Чт", "Пт", "Сб", "Вс"} {}

const FormatSettings& FormatSettings::russian() {
    static const FormatSettings s;
    return s;
}

std::string FormatSettings::formatGeneral(double value) const {
    std::string s = machineNumber(value);
    for (auto& c : s) {
        if (c == '.') c = decimalSeparator;
    }
    return s;
}

std::string FormatSettings::formatFixed(double value, int decimals, bool groupThousands) const {
    if (decimals < 0) decimals = 0;
    if (decimals > 18) decimals = 18;
    if (!std::isfinite(value)) return machineNumber(value);
    // Round the shortest decimal text that reads back as `value`, half away from zero, so
    // that 2.675 (stored as 2.67499999...) gives 2.68 as the user who typed it expects.
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed);
    std::string digits(buf, res.ptr);
    size_t point = digits.find('.');
    if (point == std::string::npos) {
        point = digits.size();
        digits += '.';
    }
    digits.append(static_cast<size_t>(decimals) + 1, '0');
    const bool roundUp = digits[point + 1 + decimals] >= '5';
    digits.resize(point + 1 + decimals);
    if (roundUp) {
        int i = static_cast<int>(digits.size()) - 1;
        for (; i >= 0; --i) {
            if (digits[i] == '.') continue;
            if (digits[i] == '9') {
                digits[i] = '0';
            } else {
                ++digits[i];
                break;
            }
        }
        if (i < 0) digits.insert(digits.begin(), '1');
    }
    if (digits.back() == '.') digits.pop_back();
    bool zero = true;
    for (char c : digits) {
        if (c != '0' && c != '.') zero = false;
    }
    std::string raw = (value < 0 && !zero ? "-" : "") + digits;
    const size_t dot = raw.find('.');
    std::string intPart = raw.substr(0, dot);
    std::string frac = dot == std::string::npos ? "" : raw.substr(dot + 1);
    std::string sign;
    if (!intPart.empty() && intPart[0] == '-') {
        sign = "-";
        intPart.erase(0, 1);
    }
    if (groupThousands && intPart.size() > 3) {
        std::string grouped;
        const size_t first = intPart.size() % 3;
        for (size_t i = 0; i < intPart.size(); ++i) {
            if (i != 0 && (i - first) % 3 == 0 && i >= first) grouped += thousandSeparator;
            grouped += intPart[i];
        }
        intPart = grouped;
    }
    std::string out = sign + intPart;
    if (!frac.empty()) {
        out += decimalSeparator;
        out += frac;
    }
    return out;
}

std::optional<double> FormatSettings::parseNumber(std::string_view text) const {
    text = trim(text);
    if (text.empty()) return std::nullopt;
    std::string clean;
    clean.reserve(text.size());
    bool seenSeparator = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == decimalSeparator || c == '.') {
            if (seenSeparator) return std::nullopt;
            seenSeparator = true;
            clean += '.';
        } else if (c == ' ') {
            continue;  // digit grouping
        } else if (!thousandSeparator.empty() && text.substr(i, thousandSeparator.size()) ==
                                                     thousandSeparator) {
            i += thousandSeparator.size() - 1;
        } else {
            clean += c;
        }
    }
    return parseMachineNumber(clean);
}

std::string FormatSettings::formatPattern(std::string_view p, const DateTime& dt) const {
    int y, m, d;
    dt.date.toYmd(y, m, d);
    std::string out;
    size_t i = 0;
    auto run = [&](char c) {
        size_t n = 0;
        while (i + n < p.size() && p[i + n] == c) ++n;
        return n;
    };
    while (i < p.size()) {
        const char c = p[i];
        size_t n;
        switch (c) {
            case 'd':
                n = run('d');
                if (n == 1) out += std::to_string(d);
                else if (n == 2) out += pad2(d);
                else if (n == 3) out += shortDayNames[dt.date.dayOfWeek() - 1];
                else out += longDayNames[dt.date.dayOfWeek() - 1];
                i += n;
                break;
            case 'M':
                n = run('M');
                if (n == 1) out += std::to_string(m);
                else if (n == 2) out += pad2(m);
                else if (n == 3) out += shortMonthNames[m - 1];
                else out += longMonthNames[m - 1];
                i += n;
                break;
            case 'y':
                n = run('y');
                out += n <= 2 ? pad2(y % 100) : pad(y, 4);
                i += n;
                break;
            case 'h':
                n = run('h');
                out += n == 1 ? std::to_string(dt.hour()) : pad2(dt.hour());
                i += n;
                break;
            case 'm':
                n = run('m');
                out += n == 1 ? std::to_string(dt.minute()) : pad2(dt.minute());
                i += n;
                break;
            case 's':
                n = run('s');
                out += n == 1 ? std::to_string(dt.second()) : pad2(dt.second());
                i += n;
                break;
            case 'z':
                n = run('z');
                out += n == 1 ? std::to_string(dt.millisecond()) : pad(dt.millisecond(), 3);
                i += n;
                break;
            case '.':
            case '/':
                out += dateSeparator;
                ++i;
                break;
            case ':':
                out += timeSeparator;
                ++i;
                break;
            default:
                out += c;
                ++i;
        }
    }
    return out;
}

std::string FormatSettings::formatDate(Date date) const {
    if (!date.isValid()) return {};
    return formatPattern(shortDateFormat, DateTime{date, 0});
}

std::string FormatSettings::formatDateTime(const DateTime& dt) const {
    if (!dt.date.isValid()) return {};
    return formatPattern(shortDateFormat + " " + longTimeFormat, dt);
}

std::optional<Date> FormatSettings::parseDate(std::string_view text) const {
    text = trim(text);
    size_t pos = 0;
    int d, m, y, nd, nm, ny;
    if (!readDigits(text, pos, 2, d, nd)) return std::nullopt;
    if (pos >= text.size() || text[pos] != dateSeparator) return std::nullopt;
    ++pos;
    if (!readDigits(text, pos, 2, m, nm)) return std::nullopt;
    if (pos >= text.size() || text[pos] != dateSeparator) return std::nullopt;
    ++pos;
    if (!readDigits(text, pos, 4, y, ny)) return std::nullopt;
    if (pos != text.size() || (ny != 2 && ny != 4)) return std::nullopt;
    if (ny == 2) y += y < 50 ? 2000 : 1900;
    if (!Date::isValidYmd(y, m, d)) return std::nullopt;
    return Date::fromYmd(y, m, d);
}

std::optional<DateTime> FormatSettings::parseDateTime(std::string_view text) const {
    text = trim(text);
    const size_t blank = text.find(' ');
    const auto date = parseDate(text.substr(0, blank));
    if (!date) return std::nullopt;
    DateTime dt{*date, 0};
    if (blank == std::string_view::npos) return dt;
    std::string_view t = trim(text.substr(blank + 1));
    size_t pos = 0;
    int h, mi, s = 0, n;
    if (!readDigits(t, pos, 2, h, n)) return std::nullopt;
    if (pos >= t.size() || t[pos] != timeSeparator) return std::nullopt;
    ++pos;
    if (!readDigits(t, pos, 2, mi, n) || n != 2) return std::nullopt;
    if (pos < t.size()) {
        if (t[pos] != timeSeparator) return std::nullopt;
        ++pos;
        if (!readDigits(t, pos, 2, s, n) || n != 2) return std::nullopt;
    }
    if (pos != t.size() || h > 23 || mi > 59 || s > 59) return std::nullopt;
    dt.msecs = ((h * 60 + mi) * 60 + s) * 1000;
    return dt;
}

std::string machineNumber(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (value == 0) return "0";
    char buf[64];
    // Integral values up to 2^53 print without exponent or fraction.
    if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
        snprintf(buf, sizeof buf, "%.0f", value);
        return buf;
    }
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    std::string s(buf, res.ptr);
    for (auto& c : s) {
        if (c == 'e') c = 'E';
    }
    return s;
}

std::string machineInteger(long long value) { return std::to_string(value); }

std::optional<double> parseMachineNumber(std::string_view text) {
    text = trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    double v = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return std::nullopt;
    return v;
}

std::optional<long long> parseMachineInteger(std::string_view text) {
    text = trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    long long v = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return std::nullopt;
    return v;
}

std::string machineDate(Date date) {
    int y, m, d;
    date.toYmd(y, m, d);
    return pad(y, 4) + "-" + pad2(m) + "-" + pad2(d);
}

std::string machineDateTime(const DateTime& dt) {
    return machineDate(dt.date) + " " + pad2(dt.hour()) + ":" + pad2(dt.minute()) + ":" +
           pad2(dt.second()) + "." + pad(dt.millisecond(), 3);
}

std::optional<Date> parseMachineDate(std::string_view text) {
    text = trim(text);
    size_t pos = 0;
    int y, m, d, n;
    if (!readDigits(text, pos, 4, y, n) || n != 4) return std::nullopt;
    if (pos >= text.size() || text[pos] != '-') return std::nullopt;
    ++pos;
    if (!readDigits(text, pos, 2, m, n)) return std::nullopt;
    if (pos >= text.size() || text[pos] != '-') return std::nullopt;
    ++pos;
    if (!readDigits(text, pos, 2, d, n)) return std::nullopt;
    if (pos != text.size() || !Date::isValidYmd(y, m, d)) return std::nullopt;
    return Date::fromYmd(y, m, d);
}

}  // namespace zentra::text
