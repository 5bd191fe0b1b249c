#include "text/format_settings.h"

#include <gtest/gtest.h>

using namespace zentra::text;

TEST(FormatSettings, NumbersUseTheDecimalComma) {
    const auto& fs = FormatSettings::russian();
    struct Case {
        double v;
        int decimals;
        const char* text;
    } cases[] = {{0, 2, "0,00"},        {1234.5, 2, "1234,50"}, {2.675, 2, "2,68"},
                 {-2.675, 2, "-2,68"},  {0.125, 2, "0,13"},     {-0.001, 2, "0,00"},
                 {999.995, 2, "1000,00"}, {7, 0, "7"},          {1e15, 2, "1000000000000000,00"}};
    for (const auto& c : cases) EXPECT_EQ(fs.formatFixed(c.v, c.decimals), c.text) << c.v;
    EXPECT_EQ(fs.formatFixed(1234567.891, 2, true), "1\xC2\xA0" "234\xC2\xA0" "567,89");
    EXPECT_EQ(fs.formatGeneral(0.1), "0,1");
    EXPECT_EQ(fs.formatGeneral(12), "12");
    EXPECT_EQ(fs.formatGeneral(-1.5), "-1,5");
}

TEST(FormatSettings, ParsesUserNumbersStrictly) {
    const auto& fs = FormatSettings::russian();
    EXPECT_EQ(fs.parseNumber(" 12,5 "), 12.5);
    EXPECT_EQ(fs.parseNumber("12.5"), 12.5);
    EXPECT_EQ(fs.parseNumber("1 234,5"), 1234.5);
    EXPECT_EQ(fs.parseNumber("-3"), -3);
    for (const char* bad : {"", "abc", "1,2,3", "12,5x", "--1", ","}) {
        EXPECT_FALSE(fs.parseNumber(bad).has_value()) << bad;
    }
}

TEST(FormatSettings, DatesInDayMonthYearOrder) {
    const auto& fs = FormatSettings::russian();
    const Date d = Date::fromYmd(2026, 3, 7);
    EXPECT_EQ(fs.formatDate(d), "07.03.2026");
    EXPECT_EQ(fs.parseDate("7.3.2026"), d);
    EXPECT_EQ(fs.parseDate("07.03.26"), d);
    EXPECT_EQ(fs.parseDate("01.01.99"), Date::fromYmd(1999, 1, 1));
    for (const char* bad : {"29.02.2025", "32.01.2026", "01.13.2026", "2026-03-07", "1.2", ""}) {
        EXPECT_FALSE(fs.parseDate(bad).has_value()) << bad;
    }
    EXPECT_EQ(fs.parseDate("29.02.2024"), Date::fromYmd(2024, 2, 29));
    const auto dt = fs.parseDateTime("07.03.2026 14:05");
    ASSERT_TRUE(dt);
    EXPECT_EQ(fs.formatDateTime(*dt), "07.03.2026 14:05:00");
    EXPECT_EQ(fs.formatPattern("d MMMM yyyy", {d, 0}), "7 Март 2026");
    EXPECT_EQ(fs.genitiveMonthNames[2], "марта");
}

TEST(DateType, SerialNumbersMatchTheFloatingPointDateForm) {
    EXPECT_EQ(Date::fromYmd(1899, 12, 30).serial(), 0);
    EXPECT_EQ(Date::fromYmd(1900, 1, 1).serial(), 2);
    EXPECT_EQ(Date::fromYmd(2000, 1, 1).serial(), 36526);
    EXPECT_EQ(Date::fromYmd(2026, 12, 11).dayOfWeek(), 5);  // a Friday
    EXPECT_FALSE(Date::fromYmd(2026, 2, 30).isValid());
    int y, m, dd;
    Date(45000).toYmd(y, m, dd);
    EXPECT_EQ(Date::fromYmd(y, m, dd).serial(), 45000);
    const auto dt = DateTime::fromDays(36526.5);
    EXPECT_EQ(dt.hour(), 12);
    EXPECT_DOUBLE_EQ(dt.toDays(), 36526.5);
}

TEST(MachineForms, AreLocaleFreeAndRoundTrip) {
    for (double v : {0.1, 1.0 / 3, -2.5e-10, 123456789.125, 1e300}) {
        EXPECT_EQ(parseMachineNumber(machineNumber(v)), v) << machineNumber(v);
    }
    EXPECT_EQ(machineNumber(12), "12");
    EXPECT_EQ(machineNumber(0.5), "0.5");
    EXPECT_EQ(machineDate(Date::fromYmd(2026, 1, 5)), "2026-01-05");
    EXPECT_EQ(parseMachineDate("2026-01-05"), Date::fromYmd(2026, 1, 5));
    EXPECT_FALSE(parseMachineNumber("1,5").has_value());
    EXPECT_FALSE(parseMachineInteger("12a").has_value());
    EXPECT_EQ(parseMachineInteger(" -42 "), -42);
}
