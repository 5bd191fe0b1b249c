// Token streams, positions, comments and the analyser's own error messages.
#include <gtest/gtest.h>

#include "lexer.h"
#include "test_util.h"

namespace zs = zentra::script;
using kt::cp;
using kt::u8;

namespace {

// "kind:text" for every token up to the end (or the first error).
std::string scan(std::string_view utf8, std::string* error = nullptr) {
    zs::LexAnalyst lex(cp(utf8));
    lex.raiseOnError = false;
    lex.onError = [&](int, const std::string& text, int, int) {
        if (error) *error = u8(text);
    };
    std::string out;
    for (int guard = 0; guard < 1000; ++guard) {
        const zs::Token& t = lex.nextToken();
        if (t.kind == zs::tkEnd) break;
        if (!out.empty()) out += ' ';
        out += std::to_string(t.kind) + ":" + u8(t.text);
    }
    return out;
}

struct TokenCase {
    const char* source;
    const char* tokens;
};

class TokenTable : public ::testing::TestWithParam<TokenCase> {};

TEST_P(TokenTable, Scans) {
    EXPECT_EQ(scan(GetParam().source), GetParam().tokens) << GetParam().source;
}

INSTANTIATE_TEST_SUITE_P(
    Lexer, TokenTable,
    ::testing::Values(
        TokenCase{"x:=1", "8:x 2:: 7:= 4:1"},
        TokenCase{"a<>b<=c>=d<e>f", "8:a 7:<> 8:b 7:<= 8:c 7:>= 8:d 7:< 8:e 7:> 8:f"},
        TokenCase{"a < = b", "8:a 7:< 7:= 8:b"}, TokenCase{"'it''s'", "3:it 3:s"},
        TokenCase{"'a b\tc'", "3:a b\tc"},
        TokenCase{"begin BEGIN Begin beginner", "11:BEGIN 11:BEGIN 11:BEGIN 8:beginner"},
        TokenCase{"True false NIL and Or", "4:1 4:0 4:0 7:AND 7:OR"},
        TokenCase{"integer TDateTime array pchar", "12:INTEGER 12:TDATETIME 12:ARRAY 12:PCHAR"},
        TokenCase{"1.5 .5 12.", "5:1.5 2:. 4:5 5:12."},
        TokenCase{"a/b*c+d-e", "8:a 6:/ 8:b 6:* 8:c 6:+ 8:d 6:- 8:e"},
        TokenCase{"f(a[1]);", "8:f 9:( 8:a 9:[ 4:1 10:] 10:) 2:;"},
        TokenCase{"Итог_2 := сумма", "8:Итог_2 2:: 7:= 8:сумма"}, TokenCase{"{ a/b } x", "8:x"},
        TokenCase{"// see {x\r\ny", "8:y"},
        TokenCase{"// see {x\ny", "8:y"},  // LF-only line end ends the comment too
        TokenCase{"a // one\r\n// two\r\nb", "8:a 8:b"},
        TokenCase{"'unterminated at end", "3:unterminated at end"}, TokenCase{"", ""}));

struct ErrorCase {
    const char* source;
    const char* error;
};

class LexErrorTable : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(LexErrorTable, ReportsFirstError) {
    std::string error;
    scan(GetParam().source, &error);
    EXPECT_EQ(error, GetParam().error) << GetParam().source;
}

INSTANTIATE_TEST_SUITE_P(
    Lexer, LexErrorTable,
    ::testing::Values(ErrorCase{"x := 1.5.2", "[Error] (0:4): Недопусптимый символ: \".\""},
                      ErrorCase{"a\r\n  b # c", "[Error] (1:5): Недопусптимый символ \"#\""},
                      ErrorCase{"x := 'abc\r\ny", "[Error] (0:4): Незаконченная строка"},
                      ErrorCase{"x\r\n// end", "[Error] (0:0): Описание комментария незакончено"},
                      ErrorCase{"x { open", "[Error] (0:0): Описание комментария незакончено"}));

TEST(Lexer, PositionsCountCarriageReturnsAndSameForLfOnlyFiles) {
    for (const char* text : {"ab cd\r\n  ef\r\n\r\ngh", "ab cd\n  ef\n\ngh"}) {
        zs::LexAnalyst lex(text);
        std::vector<std::pair<int, int>> pos;
        for (int i = 0; i < 4; ++i) {
            const auto& t = lex.nextToken();
            pos.emplace_back(t.line, t.column);
        }
        // first line counts from column counter 0; after CR LF the counter starts at 2
        EXPECT_EQ(pos, (std::vector<std::pair<int, int>>{{1, -1}, {1, 2}, {2, 3}, {4, 1}})) << text;
    }
}

TEST(Lexer, SetTextRestartsLinesAndColumns) {
    zs::LexAnalyst lex("a b c d e f");
    while (lex.nextToken().kind != zs::tkEnd) {
    }
    lex.setText("\r\nx");
    const auto& t = lex.nextToken();
    EXPECT_EQ(t.line, 2);
    EXPECT_EQ(t.column, 1);
}

TEST(Lexer, AfterAnErrorEveryTokenIsEndAndLaterErrorsAreSilent) {
    zs::LexAnalyst lex("# a b");
    lex.raiseOnError = false;
    int calls = 0;
    lex.onError = [&](int kind, const std::string&, int, int) {
        EXPECT_EQ(kind, 0);
        ++calls;
    };
    EXPECT_EQ(lex.nextToken().kind, zs::tkError);
    EXPECT_EQ(lex.nextToken().kind, zs::tkEnd);
    EXPECT_EQ(lex.current().text, "  ");
    lex.error("second");
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(lex.failed());
}

TEST(Lexer, RaisesWhenAskedAndEndsAtOnceOnEmptyText) {
    zs::LexAnalyst lex("");
    EXPECT_EQ(lex.nextToken().kind, zs::tkEnd);
    lex.setText("@");
    EXPECT_THROW(lex.nextToken(), zs::CompileError);
}

TEST(Lexer, CommentTextHoldsTheLineCommentsDirectlyAbove) {
    zs::LexAnalyst lex(cp("// old\r\n\r\n// Первая\r\n// вторая\r\nprocedure"));
    lex.nextToken();
    EXPECT_EQ(u8(lex.commentText()), "// Первая\r// вторая\r");
}

TEST(Lexer, ExpectNamesTheKindAndNeverAdvances) {
    zs::LexAnalyst lex("x y");
    lex.raiseOnError = false;
    std::string error;
    lex.onError = [&](int, const std::string& text, int, int) { error = u8(text); };
    lex.nextToken();
    EXPECT_TRUE(lex.expect("X", zs::tkIdentifier));  // case-insensitive
    EXPECT_FALSE(lex.expect(";", zs::tkSymbol));
    EXPECT_EQ(error, "[Error] (0:-1): Ожидалось Символ \";\"");
    EXPECT_EQ(lex.current().text, "x");
}

}  // namespace
