#include <gtest/gtest.h>

#include "document/binary_io.h"
#include "document/clipboard.h"
#include "document/grid_stream.h"
#include "document/kelvo_grid.h"

using namespace zentra::report;

namespace {

constexpr uint32_t kWindowA = 0x1111, kWindowB = 0x2222;

// Source: a 2x2 join at (1,1) with text and attributes, a plain cell at (3,2), selection
// (1,1)-(3,2).
void fillSource(TKelvoGrid& g) {
    TCellHandle m = g.GetCell(1, 1);
    m.SetText("J");
    m.SetFontName("Courier");
    m.SetFillColor(0x00FF00);
    m.SetHorzAlign(2);
    m.SetVertAlign(1);
    m.SetFrames(0x01010101);
    m.SetFrameColor(0xFF);
    m.SetOptions(kOptWordWrap);
    m.SetAngle(90);
    m.SetDataFormat("0.00");
    m.SetGroupIndex(4);
    m.Join(2, 2);
    g.GetCell(3, 2).SetText("P");
    g.SetColWidth(3, 120);
    g.SelStart = {1, 1};
    g.SelEnd = {3, 2};
}

}  // namespace

// The count names the entries actually written (covered positions are not entries), so a
// reader that reads `count` entries ends exactly at the end of the block.
TEST(Clipboard, CountMatchesTheEntriesWritten) {
    TKelvoGrid g;
    fillSource(g);
    std::string block = CopySelection(g, kWindowA, false);
    ByteReader r(block);
    uint32_t count = r.u32();
    EXPECT_EQ(count, 3u);  // master, (3,1) empty, (3,2); the three covered positions are skipped
    EXPECT_EQ(r.u32(), kWindowA);
    EXPECT_EQ(r.i32(), 1);
    EXPECT_EQ(r.i32(), 1);
    for (uint32_t i = 0; i < count; ++i) {
        r.bytes(20);
        r.shortText();
        r.bytes(8);
        ReadCellRecord(r);
    }
    EXPECT_TRUE(r.atEnd());
}

TEST(Clipboard, PasteIntoAnotherGridCarriesAttributesButNotTheFont) {
    TKelvoGrid src;
    fillSource(src);
    std::string block = CopySelection(src, kWindowA, false);
    TKelvoGrid dst;
    dst.ActiveCol = 10;
    dst.ActiveRow = 20;
    dst.GetCell(12, 21).SetText("replaced");
    PasteBlock(dst, block, kWindowB);
    EXPECT_EQ(dst.CheckInvariants(), "");
    TCellHandle m = dst.GetCell(11, 21);  // inside the shifted join
    EXPECT_EQ(m.Col(), 10);
    EXPECT_EQ(m.Row(), 20);
    EXPECT_EQ(m.LastCol(), 11);
    EXPECT_EQ(m.LastRow(), 21);
    EXPECT_EQ(m.Text(), "J");
    EXPECT_EQ(m.FillColor(), 0x00FF00u);
    EXPECT_EQ(m.HorzAlign(), 2);
    EXPECT_EQ(m.VertAlign(), 1);
    EXPECT_EQ(m.Frames(), 0x01010101u);
    EXPECT_EQ(m.FrameColor(), 0xFFu);
    EXPECT_EQ(m.Options(), kOptWordWrap);
    EXPECT_EQ(m.Angle(), 90);
    EXPECT_EQ(m.DataFormat(), "0.00");
    EXPECT_EQ(m.GroupIndex(), 4);
    EXPECT_EQ(m.FontName(), "ARIAL");
    EXPECT_EQ(dst.GetCell(12, 21).Text(), "P");
    EXPECT_EQ(dst.ColWidth(12), 120);
}

TEST(Clipboard, PasteInTheSameGridKeepsFormatIndexes) {
    TKelvoGrid g;
    fillSource(g);
    std::string block = CopySelection(g, kWindowA, false);
    g.ActiveCol = 5;
    g.ActiveRow = 5;
    PasteBlock(g, block, kWindowA);
    EXPECT_EQ(g.GetCell(5, 5).FormatIndex(), g.GetCell(1, 1).FormatIndex());
    EXPECT_EQ(g.GetCell(5, 5).FontName(), "COURIER");
    EXPECT_EQ(g.CheckInvariants(), "");
}

TEST(Clipboard, CutResetsTheCopiedCells) {
    TKelvoGrid g;
    fillSource(g);
    std::string block = CopySelection(g, kWindowA, true);
    EXPECT_TRUE(g.GetCell(1, 1).IsEmpty());
    EXPECT_TRUE(g.GetCell(2, 2).IsEmpty());
    EXPECT_TRUE(g.GetCell(3, 2).IsEmpty());
    EXPECT_EQ(g.CheckInvariants(), "");
    TKelvoGrid dst;
    PasteBlock(dst, block, kWindowB);
    EXPECT_EQ(dst.GetCell(0, 0).Text(), "J");
}

TEST(Clipboard, BadBlocksChangeNothing) {
    TKelvoGrid src;
    fillSource(src);
    std::string good = CopySelection(src, kWindowA, false);
    auto withCount = [&](uint32_t n) {
        std::string b = good;
        for (int i = 0; i < 4; ++i)
            b[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
        return b;
    };
    std::string badFormat = good;
    // First entry: 20 fixed bytes + "0.00" data format (2 + 4) + sizes (8), then flags and index.
    size_t indexAt = 16 + 20 + 6 + 8 + 1;
    badFormat[indexAt] = 99;
    struct Case {
        const char* what;
        std::string block;
        uint32_t window;
        int activeCol;
    } cases[] = {
        {"count too big", withCount(0x7FFFFFFF), kWindowB, 0},
        {"count one more", withCount(4), kWindowB, 0},
        {"trailing bytes", good + "x", kWindowB, 0},
        {"truncated", good.substr(0, good.size() - 1), kWindowB, 0},
        {"format index from the same window", badFormat, kWindowA, 0},
        {"past the sheet", good, kWindowB, 65535},
    };
    for (auto& c : cases) {
        TKelvoGrid dst;
        dst.GetCell(0, 0).SetText("keep");
        dst.ActiveCol = c.activeCol;
        std::string before = SaveGridStream(dst);
        EXPECT_THROW(PasteBlock(dst, c.block, c.window), FileFormatError) << c.what;
        EXPECT_EQ(SaveGridStream(dst), before) << c.what;
    }
}
