#include <gtest/gtest.h>

#include "document/kelvo_grid.h"

using namespace zentra::report;

namespace {

void expectSound(const TKelvoGrid& g) {
    EXPECT_EQ(g.CheckInvariants(), "");
}

struct Extent {
    int col, row, lastCol, lastRow;
};
Extent extentOf(const TCellData* c) {
    return {c->Col, c->Row, c->LastCol, c->LastRow};
}
bool operator==(Extent a, Extent b) {
    return a.col == b.col && a.row == b.row && a.lastCol == b.lastCol && a.lastRow == b.lastRow;
}
std::ostream& operator<<(std::ostream& o, Extent e) {
    return o << "(" << e.col << "," << e.row << ")-(" << e.lastCol << "," << e.lastRow << ")";
}

// A grid with a 2x3 join at (1,1)-(2,3), a cell above, one below and one right of it.
void fill(TKelvoGrid& g) {
    g.GetCell(1, 1).SetText("M");
    g.GetCell(1, 1).Join(2, 3);
    g.GetCell(1, 0).SetText("above");
    g.GetCell(1, 4).SetText("below");
    g.GetCell(4, 2).SetText("right");
    g.SetRowHeight(4, 40);
    g.SetColWidth(4, 90);
}

}  // namespace

TEST(RowEdit, InsertRows) {
    struct Case {
        int row;
        Extent join;
        int belowRow;
        int rightRow;
    } cases[] = {
        {0, {1, 2, 2, 4}, 5, 3},  // above everything: all moves down
        {1, {1, 2, 2, 4}, 5, 3},  // at the master's row: the join moves whole
        {2, {1, 1, 2, 4}, 5, 3},  // inside the join: it grows
        {3, {1, 1, 2, 4}, 5, 2},  // at the join's last row: grows too
        {4, {1, 1, 2, 3}, 5, 2},  // just below: the join stays
    };
    for (auto& c : cases) {
        TKelvoGrid g;
        fill(g);
        g.InsertRow(c.row);
        SCOPED_TRACE(c.row);
        TCellData* m = g.FindCell(1, c.join.row);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->Text, "M");
        EXPECT_EQ(extentOf(m), c.join);
        EXPECT_EQ(g.StoredCell(1, c.belowRow)->Text, "below");
        EXPECT_EQ(g.StoredCell(4, c.rightRow)->Text, "right");
        EXPECT_EQ(g.RowHeight(5), 40);  // heights move with their rows
        expectSound(g);
    }
}

// Deleting a row through a placeholder shortens the join from the right row and keeps the
// master; deleting the master's row unjoins before freeing, leaving no orphan placeholders.
TEST(RowEdit, DeleteRows) {
    struct Case {
        int row;
        bool joinKept;
        Extent join;
        int belowRow;
    } cases[] = {
        {0, true, {1, 0, 2, 2}, 3}, {1, false, {}, 3},           {2, true, {1, 1, 2, 2}, 3},
        {3, true, {1, 1, 2, 2}, 3}, {4, true, {1, 1, 2, 3}, -1},
    };
    for (auto& c : cases) {
        TKelvoGrid g;
        fill(g);
        size_t before = g.CellCount();
        g.DeleteRow(c.row);
        SCOPED_TRACE(c.row);
        if (c.joinKept) {
            TCellData* m = g.FindCell(1, c.join.row);
            ASSERT_TRUE(m);
            EXPECT_EQ(m->Text, "M");
            EXPECT_EQ(extentOf(m), c.join);
        } else {
            for (int r = 0; r < 5; ++r) {
                if (TCellData* x = g.FindCell(1, r)) {
                    EXPECT_NE(x->Text, "M");
                }
            }
            EXPECT_EQ(g.CellCount(), before - 3);
        }
        if (c.belowRow >= 0) {
            EXPECT_EQ(g.StoredCell(1, c.belowRow)->Text, "below");
        }
        expectSound(g);
    }
}

TEST(ColumnEdit, InsertAndDeleteColumns) {
    struct Case {
        bool insert;
        int col;
        bool joinKept;
        Extent join;
        int rightCol;
    } cases[] = {
        {true, 0, true, {2, 1, 3, 3}, 5},  {true, 1, true, {2, 1, 3, 3}, 5},
        {true, 2, true, {1, 1, 3, 3}, 5},  // across the join: grows
        {true, 3, true, {1, 1, 2, 3}, 5},  {false, 0, true, {0, 1, 1, 3}, 3},
        {false, 1, false, {}, 3},           // the master's column: unjoined and freed
        {false, 2, true, {1, 1, 1, 3}, 3},  // through the join: shrinks
        {false, 3, true, {1, 1, 2, 3}, 3},
    };
    for (auto& c : cases) {
        TKelvoGrid g;
        fill(g);
        if (c.insert)
            g.InsertCol(c.col);
        else
            g.DeleteCol(c.col);
        SCOPED_TRACE(std::string(c.insert ? "insert " : "delete ") + std::to_string(c.col));
        if (c.joinKept) {
            TCellData* m = g.FindCell(c.join.col, 1);
            ASSERT_TRUE(m);
            EXPECT_EQ(m->Text, "M");
            EXPECT_EQ(extentOf(m), c.join);
        } else {
            EXPECT_EQ(g.FindCell(1, 2), nullptr);
        }
        EXPECT_EQ(g.StoredCell(c.rightCol, 2)->Text, "right");
        EXPECT_EQ(g.ColWidth(c.rightCol), 90);
        expectSound(g);
    }
}

TEST(RowEdit, InsertingWhenTheLastRowIsUsedIsRefused) {
    TKelvoGrid g;
    g.GetCell(0, 65535).SetText("last");
    g.GetCell(0, 3).SetText("x");
    EXPECT_THROW(g.InsertRow(0), std::out_of_range);
    EXPECT_EQ(g.StoredCell(0, 65535)->Text, "last");
    EXPECT_EQ(g.StoredCell(0, 0), nullptr);
    EXPECT_EQ(g.StoredCell(0, 3)->Text, "x");

    TKelvoGrid h;
    h.GetCell(65535, 0).SetText("last");
    EXPECT_THROW(h.InsertCol(0), std::out_of_range);
    EXPECT_EQ(h.StoredCell(65535, 0)->Text, "last");

    TKelvoGrid j;  // a join reaching the last row blocks insertion too
    j.Join(0, 65534, 0, 65535);
    EXPECT_THROW(j.InsertRow(0), std::out_of_range);
    expectSound(j);
}

TEST(CellEdit, DeleteCellTouchesStoredCellsOnly) {
    TKelvoGrid g;
    fill(g);
    size_t before = g.CellCount();
    g.DeleteCell(1, 2);  // a placeholder: part of the join, left alone
    g.DeleteCell(2, 2);  // covered, nothing stored
    EXPECT_EQ(g.CellCount(), before);
    EXPECT_EQ(extentOf(g.FindCell(2, 3)), (Extent{1, 1, 2, 3}));
    g.DeleteCell(1, 1);  // the master: unjoined, then freed
    EXPECT_EQ(g.CellCount(), before - 3);
    EXPECT_EQ(g.FindCell(1, 2), nullptr);
    expectSound(g);
}
