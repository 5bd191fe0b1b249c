// The grid's geometry, checked as tables of cases.
#include <gtest/gtest.h>

#include "layout.h"

using namespace zentra::grid;

namespace {

std::vector<ColumnGeom> cols(std::initializer_list<int> widths) {
    std::vector<ColumnGeom> out;
    for (int w : widths)
        out.push_back({w < 0 ? -w : w, w >= 0});  // a negative width: hidden
    return out;
}

}  // namespace

TEST(GridOptions, BitOrderAndDefaults) {
    EXPECT_EQ(static_cast<int>(GridOption::Title), 0);
    EXPECT_EQ(static_cast<int>(GridOption::MultiSelect), 11);
    EXPECT_EQ(static_cast<int>(GridOption::EditColumnProp), 22);
    const GridOptions d = GridOptions::defaults();
    // Title..Insert, ResizeRow..MoveCol, ConfirmDelete, PostAfterInsert, Print, CalcSum,
    // EditColumnProp.
    EXPECT_EQ(d.bits(), 0x41B7FFu);
    EXPECT_FALSE(d.has(GridOption::MultiSelect));
    EXPECT_FALSE(d.has(GridOption::AutoSearching));
    EXPECT_TRUE(d.has(GridOption::ConfirmDelete));
}

TEST(GridLayout, HeightsOfTitleCaptionAndStatus) {
    struct Case {
        bool title;
        bool hasColumns;
        std::vector<TitleMetrics> visible;
        int expected;
    } cases[] = {
        {false, true, {{3, 13}}, 0},          {true, false, {}, 20},
        {true, true, {{1, 13}}, 20},           // 1 × 17 + 2 = 19, raised to 20
        {true, true, {{1, 13}, {2, 13}}, 36},  // 2 × 17 + 2
        {true, true, {{3, 15}, {2, 20}}, 59},  // max(3 × 19 + 2, 2 × 24 + 2)
    };
    for (const auto& c : cases) {
        EXPECT_EQ(titleBandHeight(c.title, c.hasColumns, c.visible), c.expected);
    }
    EXPECT_EQ(captionLineHeight(true, true, 13), 21);
    EXPECT_EQ(captionLineHeight(false, true, 13), 0);  // only together with the titles
    EXPECT_EQ(captionLineHeight(true, false, 13), 0);
    EXPECT_EQ(statusAreaHeight(true, false, 18), 18);
    EXPECT_EQ(statusAreaHeight(true, true, 18), 36);
    EXPECT_EQ(statusAreaHeight(false, true, 18), 0);
}

TEST(GridLayout, VisibleRowsNeverBelowOneBufferRow) {
    struct Case {
        int height, header, status, hscroll, row, fit, buffer;
    } cases[] = {
        {200, 20, 18, 0, 18, 9, 9},   // 162 / 18
        {200, 20, 18, 16, 18, 8, 8},  // the horizontal bar takes its share
        {55, 20, 18, 0, 18, 0, 1},    // less than one row: nothing painted, buffer of one
        {10, 20, 18, 16, 18, 0, 1},   // negative room
        {100, 0, 0, 0, 0, 0, 1},      // no row height at all
    };
    for (const auto& c : cases) {
        const RowFit r = visibleRows(c.height, c.header, c.status, c.hscroll, c.row);
        EXPECT_EQ(r.fit, c.fit) << c.height;
        EXPECT_EQ(r.buffer, c.buffer) << c.height;
    }
}

TEST(GridLayout, ColumnsShareBorderPixelsAndSkipHidden) {
    const auto placed = placeColumns(cols({50, -40, 30, 100, 20}), 0, 12, 150);
    ASSERT_EQ(placed.size(), 3u);
    EXPECT_EQ(placed[0].index, 0);
    EXPECT_EQ(placed[0].left, 12);
    EXPECT_EQ(placed[0].right, 61);
    EXPECT_EQ(placed[1].index, 2);  // the hidden column takes no room
    EXPECT_EQ(placed[1].left, 61);
    EXPECT_EQ(placed[2].index, 3);
    EXPECT_EQ(placed[2].left, 90);  // last fitting: left edge inside the control
    const auto scrolled = placeColumns(cols({50, -40, 30, 100, 20}), 3, 0, 150);
    ASSERT_EQ(scrolled.size(), 2u);
    EXPECT_EQ(scrolled[1].index, 4);
    EXPECT_EQ(scrolled[1].left, 99);
}

TEST(GridLayout, LandingColumnSkipsHiddenInDirectionOfMove) {
    const auto c = cols({10, -10, 10, -10, -10});
    struct Case {
        int current, index, expected;
    } cases[] = {
        {0, 1, 2},   // right over a hidden column
        {2, 3, 2},   // right from the last visible column stays
        {2, 1, 0},   // left over a hidden column
        {2, 99, 2},  // clamped, nothing visible there
        {0, -5, 0}, {2, 0, 0},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(landingColumn(c, k.current, k.index), k.expected) << k.current << "->" << k.index;
    }
}

TEST(GridLayout, ScrollColumnIntoView) {
    const auto c = cols({100, 100, 100, 100, 100, 100});
    struct Case {
        int first, current, width, expected;
    } cases[] = {
        {0, 1, 300, 0},  // on screen
        {0, 4, 300, 3},  // far right: columns scroll away until it and a column's room fit
        {3, 0, 300, 0},  // Home: the first column becomes the first displayed at once
        {4, 2, 300, 2},  // jumping left by two lands exactly, not one step short
        {3, 3, 300, 3}, {0, 5, 120, 5},  // wider than the room: it becomes the first displayed
    };
    for (const auto& k : cases) {
        EXPECT_EQ(scrollColumnIntoView(c, k.first, k.current, k.width), k.expected)
            << k.first << "," << k.current;
    }
}

TEST(GridLayout, FitWidthsScalesVisibleColumnsFromIndex) {
    const auto c = cols({100, -50, 100, 200});
    // total = 400 visible + 12 indicator + 16 bar = 428
    const auto all = fitWidths(c, -1, 12, 16, 856);
    EXPECT_EQ(all, (std::vector<int>{200, 50, 200, 400}));
    const auto fromTwo = fitWidths(c, 2, 12, 16, 856);
    EXPECT_EQ(fromTwo, (std::vector<int>{100, 50, 200, 400}));
}

TEST(GridLayout, ViewFollowsCursorAndCentresFoundRecords) {
    struct Case {
        int top, current, rows, count, expected;
    } follow[] = {
        {0, 5, 10, 100, 0},     // inside
        {0, 12, 10, 100, 3},    // below: last row of the view
        {20, 12, 10, 100, 12},  // above: first row
        {95, 99, 10, 100, 90},  // no empty rows at the end
        {0, 0, 10, 3, 0},
    };
    for (const auto& k : follow) {
        EXPECT_EQ(followCursor(k.top, k.current, k.rows, k.count), k.expected) << k.current;
    }
    EXPECT_EQ(centreOn(0, 3, 10, 100), 0);    // on screen with room below: stays
    EXPECT_EQ(centreOn(0, 50, 10, 100), 47);  // forward 6 to the bottom row, then back
    EXPECT_EQ(centreOn(0, 99, 10, 100), 90);  // the last record: the last page
    EXPECT_EQ(centreOn(80, 10, 10, 100), 10);
}

TEST(GridLayout, StatusTexts) {
    EXPECT_EQ(columnResizeStatus("Код,товара", 75, false), "ширина столбца Код,товара - 75");
    EXPECT_EQ(columnResizeStatus("Цена", 1, true), "Столбец Цена невидим");
    EXPECT_EQ(rowResizeStatus(12), "высота строки - 12 (минимальный размер строки)");
    EXPECT_EQ(rowResizeStatus(13), "высота строки - 13");
    EXPECT_EQ(columnMoveStatus("Цена"), "перемещается столбец Цена");
    EXPECT_EQ(recordCountStatus(0), "записей: 0");
}
