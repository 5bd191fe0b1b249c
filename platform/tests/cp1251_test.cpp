#include "text/cp1251.h"

#include <gtest/gtest.h>

using namespace zentra::text;

TEST(Cp1251, EveryByteRoundTripsThroughUtf8AndUtf16) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(utf8ToCp1251(cp1251ToUtf8(all)), all);
    EXPECT_EQ(utf16ToCp1251(cp1251ToUtf16(all)), all);
    // The one hole of the code page keeps its byte value as a C1 control character.
    EXPECT_EQ(cp1251ToUnicode(0x98), U'\u0098');
}

TEST(Cp1251, KnownLettersAndSymbols) {
    struct Case {
        unsigned char byte;
        char32_t cp;
    } cases[] = {{0xC0, U'А'}, {0xFF, U'я'}, {0xA8, U'Ё'}, {0xB8, U'ё'}, {0xB9, U'№'},
                 {0x88, U'€'}, {0x96, U'–'}, {0xA0, 0xA0},  {0xA5, U'Ґ'}, {0x41, U'A'}};
    for (const auto& c : cases) {
        EXPECT_EQ(cp1251ToUnicode(c.byte), c.cp) << int(c.byte);
        EXPECT_EQ(unicodeToCp1251(c.cp), c.byte) << int(c.byte);
    }
    EXPECT_EQ(utf8ToCp1251("Привет"), "\xCF\xF0\xE8\xE2\xE5\xF2");
}

TEST(Cp1251, RefusesCharactersOutsideTheCodePage) {
    for (const char* bad : {"日本", "a\xF0\x9F\x98\x80", "ü", "ß"}) {
        EXPECT_THROW(utf8ToCp1251(bad), EncodingError) << bad;
    }
    EXPECT_THROW(utf16ToCp1251(u"\u4E00"), EncodingError);
    // Malformed UTF-8: truncated sequence, overlong form, surrogate.
    for (const char* bad : {"\xD0", "\xC0\xAF", "\xED\xA0\x80"}) {
        EXPECT_THROW(utf8ToCp1251(bad), EncodingError);
        EXPECT_FALSE(isValidUtf8(bad));
    }
    try {
        utf8ToCp1251("ab日");
        FAIL();
    } catch (const EncodingError& e) {
        EXPECT_NE(std::string(e.what()).find("позиции 3"), std::string::npos) << e.what();
    }
}

TEST(Cp1251, CaseFoldingCoversBothAlphabetsAndYo) {
    const std::string lower = utf8ToCp1251("abcz абвгдеёжзийклмнопрстуфхцчшщъыьэюя ђѓєіїјљњћќўџґѕ");
    const std::string upper = utf8ToCp1251("ABCZ АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ ЂЃЄІЇЈЉЊЋЌЎЏҐЅ");
    EXPECT_EQ(upperCp1251(lower), upper);
    EXPECT_EQ(lowerCp1251(upper), lower);
    EXPECT_TRUE(equalsNoCase(utf8ToCp1251("Ёлка"), utf8ToCp1251("ЁЛКА")));
    EXPECT_LT(compareNoCase("abc", "ABD"), 0);
    EXPECT_GT(compareNoCase("abcd", "ABC"), 0);
    // Symbols have no case.
    EXPECT_EQ(upperCp1251("\xB9\x88 1"), "\xB9\x88 1");
    EXPECT_EQ(upperUtf8("ёлка Ü"), "ЁЛКА Ü");
    EXPECT_EQ(lowerUtf8("ДА"), "да");
}

TEST(Cp1251, Utf8Detection) {
    EXPECT_TRUE(looksLikeUtf8("да"));
    EXPECT_FALSE(looksLikeUtf8("plain ascii"));
    EXPECT_FALSE(looksLikeUtf8(utf8ToCp1251("да")));
}
