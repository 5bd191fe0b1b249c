// Strings, number conversions (with numbers and amounts in Russian words), rounding and dates.
// All texts are cp1251 bytes; lengths and case rules are per byte.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "rt_support.h"
#include "runtime_abi.h"
#include "text/cp1251.h"
#include "text/datetime.h"
#include "text/format_settings.h"

namespace kelvo::runtime {
namespace {

using zentra::text::Date;
using zentra::text::FormatSettings;

// Blanks for Trim are the control characters and the space, as report authors know them from
// the original tools: a text read from a fixed-width column often ends in tabs or line breaks.
bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view trimLeft(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    return s.substr(i);
}
std::string_view trimRight(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && isBlank(s[n - 1]))
        --n;
    return s.substr(0, n);
}

// ---- Russian number words -------------------------------------------------------------------

const char* const kUnitsMasc[] = {"",     "один",  "два",  "три",    "четыре",
                                  "пять", "шесть", "семь", "восемь", "девять"};
const char* const kUnitsFem[] = {"",     "одна",  "две",  "три",    "четыре",
                                 "пять", "шесть", "семь", "восемь", "девять"};
const char* const kTeens[] = {"десять",       "одиннадцать", "двенадцать",  "тринадцать",
                              "четырнадцать", "пятнадцать",  "шестнадцать", "семнадцать",
                              "восемнадцать", "девятнадцать"};
const char* const kTens[] = {"",          "",           "двадцать",  "тридцать",    "сорок",
                             "пятьдесят", "шестьдесят", "семьдесят", "восемьдесят", "девяносто"};
const char* const kHundreds[] = {"",        "сто",      "двести",  "триста",    "четыреста",
                                 "пятьсот", "шестьсот", "семьсот", "восемьсот", "девятьсот"};

// The noun form after a number: 1, 21, 101 take `one`; 2-4, 22-24 take `few`; 0, 5-20, 25-30
// and every number ending in 11-14 take `many`.
const char* pluralForm(uint64_t n, const char* one, const char* few, const char* many) {
    const uint64_t lastTwo = n % 100;
    if (lastTwo >= 11 && lastTwo <= 14) return many;
    switch (n % 10) {
        case 1:
            return one;
        case 2:
        case 3:
        case 4:
            return few;
        default:
            return many;
    }
}

void appendWord(std::string& out, std::string_view word) {
    if (word.empty()) return;
    if (!out.empty()) out += ' ';
    out += word;
}

// Words of 1..999; `feminine` chooses "одна"/"две" (thousands, kopecks).
void appendTriad(std::string& out, unsigned n, bool feminine) {
    appendWord(out, kHundreds[n / 100]);
    const unsigned rest = n % 100;
    if (rest >= 10 && rest < 20) {
        appendWord(out, kTeens[rest - 10]);
    } else {
        appendWord(out, kTens[rest / 10]);
        appendWord(out, (feminine ? kUnitsFem : kUnitsMasc)[rest % 10]);
    }
}

struct Scale {
    uint64_t value;
    bool feminine;
    const char *one, *few, *many;
};
const Scale kScales[] = {
    {1'000'000'000'000ULL, false, "триллион", "триллиона", "триллионов"},
    {1'000'000'000ULL, false, "миллиард", "миллиарда", "миллиардов"},
    {1'000'000ULL, false, "миллион", "миллиона", "миллионов"},
    {1'000ULL, true, "тысяча", "тысячи", "тысяч"},
};

// A whole number in words (UTF-8); `feminine` is the gender of the noun that follows.
std::string numberWords(uint64_t n, bool feminine) {
    if (n == 0) return "ноль";
    if (n >= 1'000'000'000'000'000ULL)
        throw RtError(cp("Число слишком велико для записи прописью"));
    std::string out;
    for (const Scale& s : kScales) {
        const unsigned triad = static_cast<unsigned>(n / s.value % 1000);
        if (triad == 0) continue;
        appendTriad(out, triad, s.feminine);
        appendWord(out, pluralForm(triad, s.one, s.few, s.many));
    }
    appendTriad(out, static_cast<unsigned>(n % 1000), feminine);
    return out;
}

// ---- Numbers --------------------------------------------------------------------------------

// The double that the value's first 15 significant digits stand for. Products such as
// 2.675 * 100 land just below the decimal value the author wrote (267.49999999999997); reading
// them back at 15 digits, the precision of a double's decimal form, restores 267.5 before the
// rounding step looks at it.
double snap(double x) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 15);
    double y = x;
    std::from_chars(buf, r.ptr, y);
    return y;
}

double pow10(int n) {
    double p = 1;
    for (int i = 0; i < n; ++i)
        p *= 10;
    return p;
}

double roundTo(double value, int32_t digits, std::string_view style) {
    if (!std::isfinite(value)) throw RtError(cp("Round: значение не является числом"));
    if (digits < -15 || digits > 15) {
        throw RtError(cp("Round: число знаков должно быть от -15 до 15, задано ") +
                      std::to_string(digits));
    }
    double (*step)(double);
    if (style.empty()) {
        step = [](double x) { return std::round(x); };  // half away from zero
    } else if (style == "-") {
        step = [](double x) { return std::floor(x); };
    } else if (style == "+") {
        step = [](double x) { return std::ceil(x); };
    } else {
        throw RtError(cp("Round: неизвестный способ округления \"") + std::string(style) +
                      cp("\" (допустимы \"-\", \"\" и \"+\")"));
    }
    if (digits >= 0) {
        const double p = pow10(digits);
        const double r = step(snap(value * p)) / p;
        return r == 0 ? 0.0 : r;  // no negative zero in reports
    }
    const double p = pow10(-digits);
    const double r = step(snap(value / p)) * p;
    return r == 0 ? 0.0 : r;
}

double parseFloat(std::string_view text) {
    const std::string_view t = trimRight(trimLeft(text));
    if (auto v = FormatSettings::russian().parseNumber(t)) return *v;
    throw RtError(cp("\"") + std::string(text) + cp("\" не является правильным числом"));
}

bool parseInt32(std::string_view text, int32_t& out) {
    std::string_view t = trimRight(trimLeft(text));
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    if (t.empty()) return false;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), out);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

}  // namespace

// The day number of a TDATETIME value: its day part, as the original date arithmetic truncates.
int32_t dayOf(double value) {
    // 1.01.0001 and 31.12.9999 are the ends of the calendar the date routines know.
    if (!std::isfinite(value) || value < -693593.0 || value >= 2958466.0) {
        throw RtError(cp("Значение не является правильной датой"));
    }
    return static_cast<int32_t>(std::trunc(value));
}

namespace {
Date dateOf(double value) {
    return Date(dayOf(value));
}

double dateValue(Date d) {
    if (!d.isValid()) throw RtError(cp("Значение не является правильной датой"));
    return static_cast<double>(d.serial());
}

const std::string& monthName(int32_t m, bool genitive) {
    if (m < 1 || m > 12) {
        throw RtError(cp("Номер месяца должен быть от 1 до 12, задано ") + std::to_string(m));
    }
    const FormatSettings& fs = FormatSettings::russian();
    return (genitive ? fs.genitiveMonthNames : fs.longMonthNames)[m - 1];
}
}  // namespace

}  // namespace kelvo::runtime

using namespace kelvo::runtime;

// ---- Strings ------------------------------------------------------------------------------------

KR_EXPORT int32_t StrLen(const char* Text) {
    return guarded<int32_t>(0, [&] { return static_cast<int32_t>(std::strlen(Text ? Text : "")); });
}

KR_EXPORT const char* Trim(const char* Str) {
    return guarded<const char*>(
        "", [&] { KR_TEXT_RESULT(std::string(trimRight(trimLeft(arg(Str))))); });
}
KR_EXPORT const char* TrimLeft(const char* Str) {
    return guarded<const char*>("", [&] { KR_TEXT_RESULT(std::string(trimLeft(arg(Str)))); });
}
KR_EXPORT const char* TrimRight(const char* Str) {
    return guarded<const char*>("", [&] { KR_TEXT_RESULT(std::string(trimRight(arg(Str)))); });
}

// Index counts from 0; an index outside the text gives the empty text, the way a report loop
// that walks one past the end expects to find nothing there.
KR_EXPORT const char* GetCharInStr(const char* Str, int32_t Index) {
    return guarded<const char*>("", [&] {
        const std::string_view s = arg(Str);
        KR_TEXT_RESULT(Index >= 0 && static_cast<size_t>(Index) < s.size()
                           ? std::string(1, s[static_cast<size_t>(Index)])
                           : std::string());
    });
}

KR_EXPORT const char* StrUpperCase(const char* Str) {
    return guarded<const char*>("", [&] { KR_TEXT_RESULT(zentra::text::upperCp1251(arg(Str))); });
}
KR_EXPORT const char* StrLowerCase(const char* Str) {
    return guarded<const char*>("", [&] { KR_TEXT_RESULT(zentra::text::lowerCp1251(arg(Str))); });
}

// Code 0 gives the empty text: a NUL byte cannot travel in a NUL-terminated text.
KR_EXPORT const char* Chr(int32_t Key) {
    return guarded<const char*>("", [&] {
        if (Key < 0 || Key > 255) {
            throw RtError(cp("Chr: код символа должен быть от 0 до 255, задано ") +
                          std::to_string(Key));
        }
        KR_TEXT_RESULT(Key == 0 ? std::string() : std::string(1, static_cast<char>(Key)));
    });
}

// ---- Conversions --------------------------------------------------------------------------------

KR_EXPORT const char* IntToStr(int32_t Value) {
    return guarded<const char*>("", [&] { KR_TEXT_RESULT(std::to_string(Value)); });
}

KR_EXPORT const char* IntToText(int32_t Value) {
    return guarded<const char*>("", [&] {
        const int64_t v = Value;
        std::string words = numberWords(static_cast<uint64_t>(v < 0 ? -v : v), false);
        if (v < 0) words = "минус " + words;
        KR_TEXT_RESULT(cp(words));
    });
}

KR_EXPORT int32_t StrToIntDef(const char* Value, int32_t DefValue) {
    return guarded<int32_t>(DefValue, [&] {
        int32_t v = 0;
        return parseInt32(arg(Value), v) ? v : DefValue;
    });
}

KR_EXPORT const char* FloatToStr(double Value) {
    return guarded<const char*>("", [&] {
        if (!std::isfinite(Value)) throw RtError(cp("FloatToStr: значение не является числом"));
        KR_TEXT_RESULT(FormatSettings::russian().formatGeneral(Value));
    });
}

// An amount of money: roubles in words, kopecks as two digits, both nouns agreeing with their
// number ("двадцать один рубль 01 копейка"), the way amounts are written out on invoices.
KR_EXPORT const char* FloatToText(double Value) {
    return guarded<const char*>("", [&] {
        if (!std::isfinite(Value) || std::fabs(Value) >= 1e15) {
            throw RtError(cp("FloatToText: сумма вне допустимого диапазона"));
        }
        const double kopecksTotal = std::fabs(roundTo(Value, 2, "")) * 100;
        const auto total = static_cast<uint64_t>(std::llround(kopecksTotal));
        const uint64_t roubles = total / 100;
        const unsigned kopecks = static_cast<unsigned>(total % 100);
        std::string words = total != 0 && Value < 0 ? "минус " : "";
        words += numberWords(roubles, false);
        words += ' ';
        words += pluralForm(roubles, "рубль", "рубля", "рублей");
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02u", kopecks);
        words += ' ';
        words += digits;
        words += ' ';
        words += pluralForm(kopecks, "копейка", "копейки", "копеек");
        KR_TEXT_RESULT(cp(words));
    });
}

KR_EXPORT double StrToFloat(const char* Value) {
    return guarded<double>(0.0, [&] { return parseFloat(arg(Value)); });
}

KR_EXPORT double StrToFloatDef(const char* Value, double DefValue) {
    return guarded<double>(DefValue, [&] {
        const std::string_view t = trimRight(trimLeft(arg(Value)));
        auto v = FormatSettings::russian().parseNumber(t);
        return v ? *v : DefValue;
    });
}

KR_EXPORT double Round(double Value, int32_t RoundCount, const char* TxtRoundStyle) {
    return guarded<double>(0.0, [&] { return roundTo(Value, RoundCount, arg(TxtRoundStyle)); });
}

// ---- Dates --------------------------------------------------------------------------------------

KR_EXPORT const char* DateToStr(double Value) {
    return guarded<const char*>(
        "", [&] { KR_TEXT_RESULT(FormatSettings::russian().formatDate(dateOf(Value))); });
}

KR_EXPORT double StrToDate(const char* Value) {
    return guarded<double>(0.0, [&] {
        const std::string_view t = trimRight(trimLeft(arg(Value)));
        auto d = FormatSettings::russian().parseDate(t);
        if (!d) {
            throw RtError(cp("\"") + std::string(arg(Value)) +
                          cp("\" не является правильной датой"));
        }
        return dateValue(*d);
    });
}

KR_EXPORT double NowDate(void) {
    return guarded<double>(0.0, [&] { return dateValue(Date::today()); });
}

KR_EXPORT const char* MonthToStr(int32_t M) {
    return guarded<const char*>("", [&] { KR_TEXT_RESULT(cp(monthName(M, false))); });
}
KR_EXPORT const char* MonthToStrEx(int32_t M) {
    return guarded<const char*>("", [&] { KR_TEXT_RESULT(cp(monthName(M, true))); });
}

KR_EXPORT double GetFirstDate(double Value) {
    return guarded<double>(0.0, [&] {
        const Date d = dateOf(Value);
        return dateValue(Date::fromYmd(d.year(), d.month(), 1));
    });
}

KR_EXPORT double GetLastDate(double Value) {
    return guarded<double>(0.0, [&] {
        const Date d = dateOf(Value);
        if (d.month() == 12) return dateValue(Date::fromYmd(d.year(), 12, 31));
        return dateValue(Date::fromYmd(d.year(), d.month() + 1, 1).addDays(-1));
    });
}

KR_EXPORT int32_t SubYear(double Value) {
    return guarded<int32_t>(0, [&] { return static_cast<int32_t>(dateOf(Value).year()); });
}
KR_EXPORT int32_t SubMonth(double Value) {
    return guarded<int32_t>(0, [&] { return static_cast<int32_t>(dateOf(Value).month()); });
}
KR_EXPORT int32_t SubDay(double Value) {
    return guarded<int32_t>(0, [&] { return static_cast<int32_t>(dateOf(Value).day()); });
}

KR_EXPORT double EncodeDate(int32_t FYear, int32_t FMonth, int32_t FDay) {
    return guarded<double>(0.0, [&] {
        if (!Date::isValidYmd(FYear, FMonth, FDay)) {
            throw RtError(cp("Неправильная дата: год ") + std::to_string(FYear) + cp(", месяц ") +
                          std::to_string(FMonth) + cp(", день ") + std::to_string(FDay));
        }
        return dateValue(Date::fromYmd(FYear, FMonth, FDay));
    });
}
