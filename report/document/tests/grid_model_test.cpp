#include <gtest/gtest.h>

#include "document/kelvo_grid.h"
#include "document/text_measurer.h"

using namespace zentra::report;

namespace {
void expectSound(const TKelvoGrid& g) {
    EXPECT_EQ(g.CheckInvariants(), "");
}
}  // namespace

TEST(GridCells, ReadingCreatesNothingAndOneWriteCreatesOneCell) {
    TKelvoGrid g;
    int changes = 0;
    g.OnChange = [&] { ++changes; };
    TCellHandle h = g.GetCell(4, 9);
    EXPECT_EQ(h.Text(), "");
    EXPECT_TRUE(h.IsEmpty());
    EXPECT_EQ(h.FormatIndex(), 0);
    EXPECT_EQ(h.FontName(), "ARIAL");
    EXPECT_EQ(h.GroupIndex(), -1);
    EXPECT_EQ(g.CellCount(), 0u);
    EXPECT_EQ(changes, 0);

    h.SetText("abc");
    EXPECT_EQ(g.CellCount(), 1u);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(g.GetCell(4, 9).Text(), "abc");
    EXPECT_EQ(g.LastCol(), 4);
    EXPECT_EQ(g.LastRow(), 9);
    h.SetText("abcd");
    EXPECT_EQ(g.CellCount(), 1u);
    expectSound(g);
}

// Handles of empty positions stay on their own position when other positions are read or written.
TEST(GridCells, HandleStaysBoundToItsPosition) {
    TKelvoGrid g;
    TCellHandle a = g.GetCell(1, 1);
    TCellHandle b = g.GetCell(5, 5);
    b.SetText("b");
    EXPECT_EQ(a.Text(), "");
    a.SetText("a");
    EXPECT_EQ(g.StoredCell(1, 1)->Text, "a");
    EXPECT_EQ(g.StoredCell(5, 5)->Text, "b");
    EXPECT_EQ(g.CellCount(), 2u);
}

TEST(GridCells, CellByRefAndOutOfSheet) {
    TKelvoGrid g;
    g.GetCell(2, 11).SetText("x");
    ASSERT_TRUE(g.CellByRef("$C$12"));
    EXPECT_EQ(g.CellByRef("$C$12")->Text(), "x");
    EXPECT_FALSE(g.CellByRef("12C"));
    EXPECT_EQ(g.FindCell(-1, 0), nullptr);
    EXPECT_EQ(g.FindCell(0, 70000), nullptr);
    EXPECT_THROW(g.GetCell(65536, 0), std::out_of_range);
}

TEST(GridCells, TextsLongerThanAFileCanHoldAreRefused) {
    TKelvoGrid g;
    EXPECT_THROW(g.GetCell(0, 0).SetText(std::string(65536, 'x')), std::length_error);
    EXPECT_EQ(g.CellCount(), 0u);
    g.GetCell(0, 0).SetText(std::string(65535, 'x'));
    EXPECT_THROW(g.GetCell(0, 0).SetDataFormat(std::string(70000, '0')), std::length_error);
    EXPECT_THROW(g.SetTitles(std::string(65536, 't'), ""), std::length_error);
}

TEST(GridJoins, JoinedCellAnswersForItsWholeRectangle) {
    TKelvoGrid g;
    g.GetCell(3, 2).SetText("inside");  // removed by the join
    g.GetCell(1, 1).SetText("master");
    g.GetCell(1, 1).Join(3, 2);
    for (int r = 1; r <= 2; ++r)
        for (int c = 1; c <= 3; ++c) {
            TCellHandle h = g.GetCell(c, r);
            EXPECT_EQ(h.Col(), 1);
            EXPECT_EQ(h.Row(), 1);
            EXPECT_EQ(h.Text(), "master");
        }
    EXPECT_EQ(g.StoredCell(3, 2), nullptr);
    EXPECT_TRUE(g.StoredCell(1, 2)->IsPlaceholder());
    EXPECT_EQ(g.GetCell(4, 1).Text(), "");
    EXPECT_EQ(g.GetCell(1, 1).Width(), 3 * kDefaultColWidth);
    EXPECT_EQ(g.GetCell(1, 1).Height(), 2 * kDefaultRowHeight);
    expectSound(g);

    g.GetCell(1, 1).Unjoin();
    for (int r = 1; r <= 2; ++r)
        for (int c = 1; c <= 3; ++c)
            if (c != 1 || r != 1) {
                EXPECT_EQ(g.FindCell(c, r), nullptr);
                EXPECT_TRUE(g.GetCell(c, r).IsEmpty());
            }
    EXPECT_EQ(g.CellCount(), 1u);
    expectSound(g);
}

TEST(GridJoins, JoinOverAnotherJoinUndoesTheOldOne) {
    TKelvoGrid g;
    g.Join(0, 0, 2, 2);
    g.Join(2, 1, 4, 3);  // overlaps the first at (2,1)..(2,2)
    EXPECT_FALSE(g.StoredCell(0, 0)->IsJoined());
    EXPECT_EQ(g.FindCell(1, 1), nullptr);
    EXPECT_EQ(g.FindCell(4, 3), g.StoredCell(2, 1));
    expectSound(g);
}

// A handle taken before a join must not plant a cell inside it.
TEST(GridJoins, WritingIntoACoveredPositionIsRefused) {
    TKelvoGrid g;
    TCellHandle stale = g.GetCell(2, 2);
    g.Join(1, 1, 3, 3);
    EXPECT_THROW(stale.SetText("x"), std::logic_error);
    expectSound(g);
}

TEST(GridSizes, DefaultsHiddenAndLastRowColumn) {
    TKelvoGrid g;
    EXPECT_EQ(g.DrawnColWidth(5), 70);
    EXPECT_EQ(g.DrawnRowHeight(5), 18);
    g.SetColWidth(5, 1);
    g.SetRowHeight(5, 1);
    EXPECT_EQ(g.DrawnColWidth(5), 1);  // hidden
    EXPECT_EQ(g.DrawnRowHeight(5), 1);

    TKelvoGrid e;
    e.SetRowHeight(10, 30);
    EXPECT_EQ(e.LastRow(), 11);
    EXPECT_EQ(e.LastCol(), -1);
    e.SetColWidth(10, 30);
    EXPECT_EQ(e.LastCol(), 10);
    // The last row never leaves the sheet, so the saved size table stays readable.
    e.SetRowHeight(65535, 20);
    EXPECT_EQ(e.LastRow(), 65535);
    EXPECT_THROW(e.SetColWidth(0, 70000), std::out_of_range);
}

TEST(GridSizes, CellOriginSharesGridLines) {
    TKelvoGrid g;
    g.SetColWidth(0, 100);
    g.SetColWidth(1, 1);
    g.SetRowHeight(0, 30);
    EXPECT_EQ(g.CellOrigin(0, 0), std::make_pair(0, 0));
    EXPECT_EQ(g.CellOrigin(1, 1), std::make_pair(99, 29));
    EXPECT_EQ(g.CellOrigin(3, 2), std::make_pair(99 + 0 + 69, 29 + 17));
    EXPECT_EQ(g.CellOrigin(3, 2, 1.5), std::make_pair(252, 69));  // 168*1.5, 46*1.5
}

// Fixed measurer: 10 pixels a byte, 15 a line; the cell is 70 pixels wide (7 bytes a line).
TEST(GridText, TextHeight) {
    struct Case {
        const char* text;
        uint8_t options;
        int angle;
        int lines;
    } cases[] = {
        {"", 0, 0, 0},
        {"   ", 0, 0, 0},
        {"short", 0, 0, 1},
        {"  lead", kOptWordWrap, 0, 1},
        {"one\r\ntwo", 0, 0, 2},
        {"one\ntwo\rthree", 0, 0, 3},
        {"one\r\n", 0, 0, 1},
        {"aaa bbb ccc", 0, 0, 1},                  // no wrap without the option
        {"aaa bbb ccc", kOptWordWrap, 0, 2},       // "aaa bbb" fits in 7, then "ccc"
        {"abcdefghijklmnop", kOptWordWrap, 0, 3},  // a long word breaks between bytes
        {"aaa bbb ccc", kOptWordWrap, 90, 1},      // rotated text is not wrapped
    };
    TFixedAdvanceMeasurer m(10, 15);
    for (auto& c : cases) {
        TKelvoGrid g;
        TCellHandle h = g.GetCell(0, 0);
        h.SetText(c.text);
        if (c.options) h.SetOptions(c.options);
        if (c.angle) h.SetAngle(c.angle);
        EXPECT_EQ(h.TextHeight(m), c.lines ? c.lines * 15 + 3 : 0) << '"' << c.text << '"';
    }
}

TEST(GridFonts, NamesAreNormalisedAndNeverRemoved) {
    TKelvoGrid g;
    TCellHandle h = g.GetCell(0, 0);
    h.SetFontName("  Times New Roman ");
    EXPECT_EQ(h.FontName(), "TIMES NEW ROMAN");
    g.GetCell(1, 0).SetFontName("times new roman");
    g.GetCell(2, 0).SetFontName("arial");
    EXPECT_EQ(g.FontNames().Count(), 2u);
    EXPECT_EQ(g.GetCell(2, 0).Format().FontIndex, 0);
    h.SetFontName("Arial");
    EXPECT_EQ(g.FontNames().Count(), 2u);
    EXPECT_EQ(g.FontNames().NameOf(17), "ARIAL");
}

TEST(GridSheet, ClearKeepsFontsTitlesPageSettings) {
    TKelvoGrid g;
    g.GetCell(0, 0).SetFontName("Courier");
    g.GetCell(3, 3).SetFillColor(0xFF);
    g.Join(0, 0, 1, 1);
    g.SetTitles("top", "bottom");
    TPageSettings p;
    p.Orientation = 1;
    g.SetPageSettings(p);
    g.PageBreaks().push_back(3);
    g.Clear();
    EXPECT_EQ(g.CellCount(), 0u);
    EXPECT_EQ(g.Formats().Count(), 1u);
    EXPECT_EQ(g.LastRow(), -1);
    EXPECT_TRUE(g.PageBreaks().empty());
    EXPECT_EQ(g.FontNames().Count(), 2u);
    EXPECT_EQ(g.TopTitle(), "top");
    EXPECT_EQ(g.GetPageSettings().Orientation, 1);
    expectSound(g);
}

TEST(GridSheet, CopyingFormatsKeepsIndexes) {
    TKelvoGrid src;
    src.GetCell(0, 0).SetFillColor(1);
    src.GetCell(1, 0).SetFontSize(14);
    src.GetCell(2, 0).SetFontSize(14);
    TKelvoGrid dst;
    dst.CopyFormatsFrom(src);
    ASSERT_EQ(dst.Formats().Count(), src.Formats().Count());
    for (size_t i = 0; i < src.Formats().Count(); ++i)
        EXPECT_TRUE(dst.Formats().At(i).SameAttributes(src.Formats().At(i))) << i;
    TCellHandle h = dst.GetCell(5, 5);
    h.SetFormatIndex(src.GetCell(1, 0).FormatIndex());
    EXPECT_EQ(h.FontSize(), 14);
    expectSound(dst);
}

TEST(GridSelection, CellsBlocksAndRect) {
    TKelvoGrid g;
    g.SelStart = {2, 1};
    g.SelEnd = {1, 2};
    g.SelectedBlocks.push_back({4, 4, 4, 3});
    TSelectedCells expected{{1, 1}, {2, 1}, {1, 2}, {2, 2}, {4, 3}, {4, 4}};
    EXPECT_EQ(g.GetSelectedCells(), expected);
    EXPECT_EQ(g.GetSelectionRect(), (TBlock{2, 2, 3, 3}));
    auto blocks = g.GetSelectedBlocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], (TBlock{4, 3, 4, 4}));
    EXPECT_EQ(blocks[1], (TBlock{1, 1, 2, 2}));
}

TEST(GridSheet, GroupInRowsListsEachGroupOnce) {
    TKelvoGrid g;
    g.GetCell(0, 1).SetGroupIndex(2);
    g.GetCell(1, 1).SetGroupIndex(2);
    g.GetCell(2, 1).SetGroupIndex(5);
    auto rows = g.BuildGroupInRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0].empty());
    EXPECT_EQ(rows[1], (std::vector<int16_t>{2, 5}));
}
