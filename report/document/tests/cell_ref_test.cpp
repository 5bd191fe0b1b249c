#include <gtest/gtest.h>

#include "document/cell_ref.h"

using namespace zentra::report;

TEST(ColumnName, NamesAlongTheSheet) {
    struct Case {
        int col;
        const char* name;
    } cases[] = {{0, "A"},    {25, "Z"},    {26, "AA"},     {51, "AZ"},      {52, "BA"},
                 {701, "ZZ"}, {702, "AAA"}, {18277, "ZZZ"}, {18278, "AAAA"}, {65535, "CRXP"}};
    for (auto& c : cases)
        EXPECT_EQ(ColumnName(c.col), c.name) << c.col;
}

// Up to "ZZ" the names are the two-character formula the files and scripts were written with.
TEST(ColumnName, MatchesTheTwoLetterFormulaUpToZZ) {
    for (int c = 26; c <= 701; ++c) {
        std::string expected{static_cast<char>(c / 26 + 64), static_cast<char>(c % 26 + 65)};
        ASSERT_EQ(ColumnName(c), expected) << c;
    }
}

// Every column's name parses back to that column, so references and names never disagree.
TEST(ParseCellRef, EveryColumnNameRoundTrips) {
    for (int c = 0; c <= kMaxGridIndex; ++c) {
        auto p = ParseCellRef(ColumnName(c) + "1");
        ASSERT_TRUE(p) << c;
        ASSERT_EQ(p->Col, c);
    }
}

TEST(ParseCellRef, ValidReferences) {
    struct Case {
        const char* ref;
        TCellRefParts parts;
    } cases[] = {
        {"B7", {1, 7, false, false}},         {"$B7", {1, 7, true, false}},
        {"B$7", {1, 7, false, true}},         {"$C$12", {2, 12, true, true}},
        {"c12", {2, 12, false, false}},       {"zz1", {701, 1, false, false}},
        {"A65534", {0, 65534, false, false}}, {"CRXP1", {65535, 1, false, false}},
    };
    for (auto& c : cases) {
        auto p = ParseCellRef(c.ref);
        ASSERT_TRUE(p) << c.ref;
        EXPECT_EQ(*p, c.parts) << c.ref;
    }
}

TEST(ParseCellRef, InvalidReferences) {
    for (const char* ref : {"", "12C", "C", "C0", "C65535", "7", "$7", "B7C", "B$", "$$B7", "B$$7",
                            "B 7", "B-7", "B7$", "CRXQ1", "AAAAAAAAAAAAAA1", "B99999999999"})
        EXPECT_FALSE(ParseCellRef(ref)) << '"' << ref << '"';
}
