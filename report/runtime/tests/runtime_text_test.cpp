// Strings, conversions, words, rounding, dates, messages and memory of Runtime.lib, called
// through dlsym by their C signatures.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "runtime_loader.h"
#include "text/datetime.h"

using kelvo::testing::cp;
using kelvo::testing::lastError;
using kelvo::testing::utf8;

namespace {

TEST(RuntimeWords, IntToTextAgreesInGenderAndNumber) {
    const struct {
        int32_t value;
        const char* words;
    } cases[] = {
        {0, "ноль"},
        {1, "один"},
        {2, "два"},
        {5, "пять"},
        {11, "одиннадцать"},
        {12, "двенадцать"},
        {13, "тринадцать"},
        {14, "четырнадцать"},
        {21, "двадцать один"},
        {112, "сто двенадцать"},
        {1000, "одна тысяча"},
        {2000, "две тысячи"},
        {5000, "пять тысяч"},
        {11000, "одиннадцать тысяч"},
        {21000, "двадцать одна тысяча"},
        {1011, "одна тысяча одиннадцать"},
        {1234, "одна тысяча двести тридцать четыре"},
        {1000000, "один миллион"},
        {2000000, "два миллиона"},
        {14000000, "четырнадцать миллионов"},
        {1000001, "один миллион один"},
        {-5, "минус пять"},
        {2147483647,
         "два миллиарда сто сорок семь миллионов четыреста восемьдесят три тысячи шестьсот сорок "
         "семь"},
        {std::numeric_limits<int32_t>::min(),
         "минус два миллиарда сто сорок семь миллионов четыреста восемьдесят три тысячи "
         "шестьсот сорок восемь"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8(RT(IntToText)(c.value)), c.words) << c.value;
        EXPECT_EQ(lastError(), "");
    }
}

TEST(RuntimeWords, FloatToTextWritesRoublesAndKopecks) {
    const struct {
        double value;
        const char* words;
    } cases[] = {
        {0, "ноль рублей 00 копеек"},
        {1.01, "один рубль 01 копейка"},
        {2.02, "два рубля 02 копейки"},
        {5.05, "пять рублей 05 копеек"},
        {11.11, "одиннадцать рублей 11 копеек"},
        {14.14, "четырнадцать рублей 14 копеек"},
        {21.21, "двадцать один рубль 21 копейка"},
        {22.22, "двадцать два рубля 22 копейки"},
        {1000, "одна тысяча рублей 00 копеек"},
        {1234.56, "одна тысяча двести тридцать четыре рубля 56 копеек"},
        {1000000, "один миллион рублей 00 копеек"},
        {2.675, "два рубля 68 копеек"},  // kopecks rounded half away from zero
        {0.999, "один рубль 00 копеек"},
        {-3.5, "минус три рубля 50 копеек"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8(RT(FloatToText)(c.value)), c.words) << c.value;
    }
    RT(FloatToText)(std::nan(""));
    EXPECT_NE(lastError(), "");
}

TEST(RuntimeNumbers, RoundInThreeStyles) {
    const struct {
        double value;
        int32_t digits;
        const char* style;
        double expected;
    } cases[] = {
        {2.675, 2, "", 2.68},  // 2.675 * 100 is 267.4999... in binary
        {1.005, 2, "", 1.01},  {2.5, 0, "", 3},        {-2.5, 0, "", -3},
        {2.4, 0, "+", 3},      {-2.4, 0, "+", -2},     {2.6, 0, "-", 2},
        {-2.6, 0, "-", -3},    {0.29, 2, "-", 0.29},  // 0.29 * 100 is 28.999... in binary
        {1.1, 1, "+", 1.1},    {1234.5, -2, "", 1200}, {1250, -2, "", 1300},
        {1201, -2, "+", 1300}, {1299, -2, "-", 1200},  {-0.4, 0, "", 0},
    };
    for (const auto& c : cases) {
        const double r = RT(Round)(c.value, c.digits, c.style);
        EXPECT_EQ(r, c.expected) << c.value << " " << c.digits << " '" << c.style << "'";
        EXPECT_FALSE(std::signbit(r) && r == 0) << "negative zero for " << c.value;
        EXPECT_EQ(lastError(), "");
    }
    RT(Round)(1.5, 0, "x");
    EXPECT_NE(lastError().find("x"), std::string::npos);
    RT(Round)(1.5, 16, "");
    EXPECT_NE(lastError(), "");
}

TEST(RuntimeNumbers, TextToNumberAndBack) {
    const struct {
        const char* text;
        int32_t expected;
    } ints[] = {{"12", 12},
                {" 12 ", 12},
                {"-7", -7},
                {"+3", 3},
                {"abc", -1},
                {"", -1},
                {"2147483647", 2147483647},
                {"2147483648", -1},
                {"1.5", -1},
                {"12abc", -1}};
    for (const auto& c : ints) {
        EXPECT_EQ(RT(StrToIntDef)(c.text, -1), c.expected) << c.text;
        EXPECT_EQ(lastError(), "") << "StrToIntDef reports nothing: it has a default";
    }

    EXPECT_EQ(RT(StrToFloat)("1,5"), 1.5);
    EXPECT_EQ(RT(StrToFloat)("1.5"), 1.5);
    EXPECT_EQ(RT(StrToFloat)(" -2,25 "), -2.25);
    EXPECT_EQ(lastError(), "");
    EXPECT_EQ(RT(StrToFloat)("abc"), 0.0);
    EXPECT_NE(lastError().find("abc"), std::string::npos) << lastError();
    EXPECT_EQ(RT(StrToFloatDef)("abc", 3.5), 3.5);
    EXPECT_EQ(lastError(), "");
    EXPECT_EQ(RT(StrToFloatDef)("4,25", 3.5), 4.25);

    EXPECT_STREQ(RT(IntToStr)(-42), "-42");
    EXPECT_STREQ(RT(FloatToStr)(1.5), "1,5");
    EXPECT_STREQ(RT(FloatToStr)(100), "100");
    EXPECT_STREQ(RT(FloatToStr)(-0.125), "-0,125");
}

TEST(RuntimeStrings, LengthTrimCaseAndCharacters) {
    EXPECT_EQ(RT(StrLen)(""), 0);
    EXPECT_EQ(RT(StrLen)(cp("Привет").c_str()), 6);  // bytes of cp1251
    EXPECT_EQ(RT(StrLen)(nullptr), 0);

    const struct {
        const char *text, *both, *left, *right;
    } trims[] = {
        {"  ab c  ", "ab c", "ab c  ", "  ab c"},
        {"\t\r\nстрока\r\n", "строка", "строка\r\n", "\t\r\nстрока"},
        {"   ", "", "", ""},
        {"", "", "", ""},
    };
    for (const auto& t : trims) {
        const std::string in = cp(t.text);
        EXPECT_EQ(utf8(RT(Trim)(in.c_str())), t.both);
        EXPECT_EQ(utf8(RT(TrimLeft)(in.c_str())), t.left);
        EXPECT_EQ(utf8(RT(TrimRight)(in.c_str())), t.right);
    }

    const std::string mixed = cp("ёжик Abc ЯЩИК їі ґ");
    EXPECT_EQ(utf8(RT(StrUpperCase)(mixed.c_str())), "ЁЖИК ABC ЯЩИК ЇІ Ґ");
    EXPECT_EQ(utf8(RT(StrLowerCase)(mixed.c_str())), "ёжик abc ящик їі ґ");

    const std::string word = cp("Дом");
    EXPECT_EQ(utf8(RT(GetCharInStr)(word.c_str(), 0)), "Д");
    EXPECT_EQ(utf8(RT(GetCharInStr)(word.c_str(), 2)), "м");
    EXPECT_STREQ(RT(GetCharInStr)(word.c_str(), 3), "");
    EXPECT_STREQ(RT(GetCharInStr)(word.c_str(), -1), "");

    EXPECT_STREQ(RT(Chr)(65), "A");
    EXPECT_EQ(utf8(RT(Chr)(0xC0)), "А");
    EXPECT_STREQ(RT(Chr)(0), "");
    EXPECT_EQ(lastError(), "");
    RT(Chr)(256);
    EXPECT_NE(lastError(), "");
}

TEST(RuntimeStrings, ResultTextStaysValidUntilTheSameRoutineRunsAgain) {
    const char* trimmed = RT(Trim)("  first  ");
    const char* upper = RT(StrUpperCase)("second");
    RT(IntToStr)(12345);
    EXPECT_STREQ(trimmed, "first");
    EXPECT_STREQ(upper, "SECOND");
}

TEST(RuntimeDates, DayNumbersTextsAndParts) {
    using zentra::text::Date;
    EXPECT_EQ(RT(EncodeDate)(1899, 12, 30), 0.0);
    EXPECT_EQ(RT(EncodeDate)(2000, 1, 1), 36526.0);
    EXPECT_EQ(RT(EncodeDate)(2026, 12, 11), 46367.0);
    EXPECT_STREQ(RT(DateToStr)(46367), "11.12.2026");
    EXPECT_STREQ(RT(DateToStr)(46367.75), "11.12.2026");  // the time of day is not shown
    EXPECT_EQ(RT(StrToDate)("11.12.2026"), 46367.0);
    EXPECT_EQ(RT(StrToDate)("01.01.00"), 36526.0);
    EXPECT_EQ(lastError(), "");

    const struct {
        double date, first, last;
        int32_t year, month, day;
    } months[] = {
        {45340, 45323, 45351, 2024, 2, 18},    // February of a leap year
        {44980.5, 44958, 44985, 2023, 2, 23},  // February of a common year
        {45290, 45261, 45291, 2023, 12, 30},   // December ends the year
    };
    for (const auto& m : months) {
        EXPECT_EQ(RT(GetFirstDate)(m.date), m.first) << m.date;
        EXPECT_EQ(RT(GetLastDate)(m.date), m.last) << m.date;
        EXPECT_EQ(RT(SubYear)(m.date), m.year);
        EXPECT_EQ(RT(SubMonth)(m.date), m.month);
        EXPECT_EQ(RT(SubDay)(m.date), m.day);
    }

    EXPECT_EQ(utf8(RT(MonthToStr)(1)), "Январь");
    EXPECT_EQ(utf8(RT(MonthToStrEx)(5)), "мая");
    EXPECT_EQ(utf8(RT(MonthToStrEx)(12)), "декабря");

    const double today = RT(NowDate)();
    EXPECT_EQ(today, static_cast<double>(Date::today().serial()));
}

TEST(RuntimeDates, BadDatesAreReported) {
    RT(EncodeDate)(2023, 2, 29);
    EXPECT_NE(lastError(), "");
    RT(StrToDate)("31.02.2020");
    EXPECT_NE(lastError().find("31.02.2020"), std::string::npos) << lastError();
    RT(StrToDate)("завтра");
    EXPECT_NE(lastError(), "");
    RT(DateToStr)(std::nan(""));
    EXPECT_NE(lastError(), "");
    RT(DateToStr)(1e12);
    EXPECT_NE(lastError(), "");
    RT(MonthToStr)(13);
    EXPECT_NE(lastError(), "");
    RT(MonthToStrEx)(0);
    EXPECT_NE(lastError(), "");
}

TEST(RuntimeErrors, ASuccessfulCallClearsTheLastError) {
    RT(StrToFloat)("abc");
    ASSERT_NE(lastError(), "");
    EXPECT_EQ(lastError(), lastError()) << "reading the error does not clear it";
    RT(StrLen)("x");
    EXPECT_EQ(lastError(), "");
}

TEST(RuntimeDialogs, FailAsNotAvailableUntilTheDialogsExist) {
    EXPECT_EQ(RT(DialogCreate)("Параметры", "object Form1: TGenForm end"), -1);
    EXPECT_NE(lastError().find("DialogCreate"), std::string::npos);
    EXPECT_NE(lastError().find("недоступна"), std::string::npos);
    EXPECT_EQ(RT(DialogCreateEx)("a", "b", "c"), -1);
    EXPECT_NE(lastError(), "");
    RT(DialogParamAsInteger)(1, "Edit1");
    EXPECT_NE(lastError().find("DialogParamAsInteger"), std::string::npos);
    RT(DialogSetParamAsBoolean)(1, "CheckBox1", 1);
    EXPECT_NE(lastError(), "");
}

TEST(RuntimeMemory, GetMemGivesBlanksAndFreeMemIgnoresForeignAddresses) {
    const char* buffer = RT(GetMem)(5);
    EXPECT_STREQ(buffer, "     ");
    EXPECT_EQ(std::strlen(RT(GetMem)(100000000)), 1u << 20) << "capped";
    RT(GetMem)(-1);
    EXPECT_NE(lastError(), "");

    // What the machine would pass: its own copy of the script's text.
    char machineCopy[] = "     ";
    RT(FreeMem)(machineCopy);
    EXPECT_EQ(lastError(), "");
    EXPECT_STREQ(machineCopy, "     ");
    RT(FreeMem)(nullptr);
    RT(FreeMem)(RT(GetMem)(3));
    EXPECT_EQ(lastError(), "");
}

TEST(RuntimeMessages, MessagesAndProgressGoToStandardErrorWithoutWaiting) {
    ::testing::internal::CaptureStderr();
    RT(ShowMessage)(cp("Отчёт готов").c_str(), cp("Внимание").c_str());
    const int32_t h = RT(StartVisual)(cp("Идёт расчёт").c_str());
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Внимание: Отчёт готов"), std::string::npos) << err;
    EXPECT_NE(err.find("Идёт расчёт"), std::string::npos) << err;

    ASSERT_GT(h, 0);
    RT(StopVisual)(h);
    EXPECT_EQ(lastError(), "");
    RT(StopVisual)(h);
    EXPECT_NE(lastError(), "") << "a window stopped twice";

    const int32_t left = RT(StartVisual)("left open");
    RT(Kr_EndRun)();
    RT(StopVisual)(left);
    EXPECT_NE(lastError(), "") << "Kr_EndRun closes the windows a script left open";
}

TEST(RuntimeExports, EveryDeclaredRoutineAndNothingOfTheInsides) {
    // The declared names, as the script library's EXTERNAL declarations spell them.
    const char* const declared[] = {
        "Chr",
        "DateToStr",
        "DialogCreate",
        "DialogCreateEx",
        "DialogFree",
        "DialogParamAsBoolean",
        "DialogParamAsDouble",
        "DialogParamAsInteger",
        "DialogParamAsString",
        "DialogSetParamAsBoolean",
        "DialogSetParamAsDouble",
        "DialogSetParamAsInteger",
        "DialogSetParamAsString",
        "DialogShowModal",
        "EncodeDate",
        "FieldNameByIndex",
        "Field_AsDouble",
        "Field_AsInteger",
        "Field_AsPChar",
        "FileClose",
        "FileCreate",
        "FileDelete",
        "FileExists",
        "FileOpen",
        "FileRead",
        "FileSeek",
        "FileWrite",
        "FloatToStr",
        "FloatToText",
        "FreeMem",
        "GetCharInStr",
        "GetFirstDate",
        "GetLastDate",
        "GetMem",
        "IntToStr",
        "IntToText",
        "Kr_EndRun",
        "Kr_LastError",
        "MonthToStr",
        "MonthToStrEx",
        "NowDate",
        "Param_AsDouble",
        "Param_AsInteger",
        "Param_AsPChar",
        "Query_BOF",
        "Query_Create",
        "Query_EOF",
        "Query_Execute",
        "Query_FieldCount",
        "Query_First",
        "Query_Free",
        "Query_Last",
        "Query_Next",
        "Query_ParamCount",
        "Query_Prior",
        "Query_RecordCount",
        "Round",
        "ShowMessage",
        "StartVisual",
        "StopVisual",
        "StrLen",
        "StrLowerCase",
        "StrToDate",
        "StrToFloat",
        "StrToFloatDef",
        "StrToIntDef",
        "StrUpperCase",
        "SubDay",
        "SubMonth",
        "SubYear",
        "Trim",
        "TrimLeft",
        "TrimRight",

    };
    for (const char* name : declared) {
        EXPECT_NE(dlsym(kelvo::testing::runtimeLibrary(), name), nullptr) << name;
    }
    // The text layer linked into the library stays inside it: a second copy of the layer in the
    // machine's process must never bind to this one.
    EXPECT_EQ(
        dlsym(kelvo::testing::runtimeLibrary(),
              "_ZN6zentra4text11upperCp1251B5cxx11ESt17basic_string_viewIcSt11char_traitsIcEE"),
        nullptr);
}

}  // namespace
