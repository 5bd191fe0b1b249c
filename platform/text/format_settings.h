// How numbers and dates look to the user, injected wherever texts are made or read, so that
// nothing depends on the process locale. Defaults are the Russian ones: decimal comma,
// "dd.MM.yyyy", fixed month names. Machine-readable forms (SQL, files, formulas) live in the
// free functions at the end and never use these settings.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "datetime.h"

namespace zentra::text {

struct FormatSettings {
    char decimalSeparator = ',';
    std::string thousandSeparator = "\xC2\xA0";  // no-break space (UTF-8)
    char dateSeparator = '.';
    char timeSeparator = ':';
    std::string shortDateFormat = "dd.MM.yyyy";
    std::string longTimeFormat = "hh:mm:ss";
    // Month and weekday names in UTF-8; report code converts them to cp1251 where needed.
    std::array<std::string, 12> longMonthNames;
    std::array<std::string, 12> genitiveMonthNames;
    std::array<std::string, 12> shortMonthNames;
    std::array<std::string, 7> longDayNames;   // Monday first
    std::array<std::string, 7> shortDayNames;  // Monday first

    // The Russian defaults described above.
    static const FormatSettings& russian();
    FormatSettings();

    // Shortest text that reads back as the same double, with the decimal separator; integral
    // values have no fraction ("12", "0,5", "1E20" for very large ones).
    std::string formatGeneral(double value) const;
    // Fixed number of decimals, rounded half away from zero; thousands grouped when asked.
    std::string formatFixed(double value, int decimals, bool groupThousands = false) const;
    // A number typed by the user: blanks around it are ignored, the decimal separator (or a
    // point) marks the fraction, grouping blanks are skipped. Nothing else is accepted.
    std::optional<double> parseNumber(std::string_view text) const;

    // The date in shortDateFormat (d, dd, M, MM, MMM, MMMM, yy, yyyy are understood).
    std::string formatDate(Date date) const;
    std::string formatDateTime(const DateTime& dt) const;  // date, blank, hh:mm:ss
    // A date in day-month-year order with the date separator; a two-digit year counts from
    // 1950 to 2049. Returns nullopt for anything that is not a real date.
    std::optional<Date> parseDate(std::string_view text) const;
    // The same, with an optional time part "hh:mm[:ss]" after a blank.
    std::optional<DateTime> parseDateTime(std::string_view text) const;

    std::string formatPattern(std::string_view pattern, const DateTime& dt) const;
};

// Machine-readable forms, independent of any settings.
std::string machineNumber(double value);  // shortest round-trip text, '.' as separator
std::string machineInteger(long long value);
std::optional<double> parseMachineNumber(std::string_view text);
std::optional<long long> parseMachineInteger(std::string_view text);
std::string machineDate(Date date);              // "2026-12-11"
std::string machineDateTime(const DateTime& dt);  // "2026-12-11 08:05:00.000"
std::optional<Date> parseMachineDate(std::string_view text);

}  // namespace zentra::text
