#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "document/file_io.h"
#include "document/grid_stream.h"
#include "document/kelvo_grid.h"
#include "test_files.h"

using namespace zentra::report;
using namespace zentra::report::testing;

namespace {

std::string sheetWithOneCell(int col, int row, int flags, std::string_view cellBytes) {
    Bytes b = GridHead();
    b.i32(col);
    for (int c = 0; c <= col; ++c)
        b.u16(0);
    b.i32(row);
    for (int r = 0; r <= row; ++r)
        b.u16(0);
    b.i32(1).u8(flags).raw(cellBytes);
    return GridTail(b).b;
}

}  // namespace

TEST(GridStream, OneTextCellIsWrittenByteForByte) {
    TKelvoGrid g;
    g.GetCell(3, 5).SetText("x");
    Bytes cell;
    cell.u16(3).u16(5).shortText("x");
    EXPECT_EQ(SaveGridStream(g), sheetWithOneCell(3, 5, 2, cell.b));
}

TEST(GridStream, GroupOnlyCellWritesFlag8AndTheByte) {
    TKelvoGrid g;
    g.GetCell(0, 0).SetGroupIndex(7);
    Bytes cell;
    cell.u16(0).u16(0).u8(7);
    EXPECT_EQ(SaveGridStream(g), sheetWithOneCell(0, 0, 8, cell.b));
}

TEST(GridStream, EmptyCellsAreNotWritten) {
    TKelvoGrid g;
    g.GetCell(2, 2).SetText("x");
    g.GetCell(2, 2).SetText("");
    g.GetCell(1, 1).SetFontSize(12);
    g.GetCell(1, 1).SetFontSize(9);
    std::string bytes = SaveGridStream(g);
    TKelvoGrid back;
    LoadGridStream(back, bytes);
    EXPECT_EQ(back.CellCount(), 0u);
    EXPECT_EQ(back.LastCol(), 2);
}

// The hand-built stream reads into the model it describes, and writing that model gives the
// same bytes back.
TEST(GridStream, HandBuiltStreamLoadsAndSavesByteStable) {
    std::string bytes = SmallGridStream();
    TKelvoGrid g;
    LoadGridStream(g, bytes);
    EXPECT_EQ(g.CheckInvariants(), "");
    EXPECT_EQ(g.LastCol(), 2);
    EXPECT_EQ(g.LastRow(), 3);
    EXPECT_EQ(g.ColWidth(0), 80);
    EXPECT_EQ(g.RowHeight(3), 1);
    EXPECT_EQ(g.GetCell(0, 0).Text(), "Итого");
    TCellHandle j = g.GetCell(2, 2);  // inside the join
    EXPECT_EQ(j.Col(), 1);
    EXPECT_EQ(j.Text(), "J");
    EXPECT_EQ(j.FillColor(), 1u);
    EXPECT_TRUE(g.StoredCell(1, 2)->IsPlaceholder());  // rebuilt, never stored in the file
    EXPECT_EQ(g.GetCell(0, 3).GroupIndex(), 7);
    ASSERT_EQ(g.HeaderGroups().size(), 1u);
    EXPECT_EQ(g.HeaderGroups()[0].Groups, (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(g.HeaderGroups()[0].Cells, (TSelectedCells{{0, 0}}));
    ASSERT_EQ(g.FixedCols().size(), 1u);
    EXPECT_EQ(g.FixedCols()[0].LastRow, 3);
    EXPECT_EQ(g.PageBreaks(), (std::vector<uint16_t>{2}));
    ASSERT_EQ(g.Objects().size(), 1u);
    EXPECT_EQ(g.Objects()[0].Picture, TinyBitmap());
    EXPECT_EQ(g.Objects()[0].Width, 40);
    EXPECT_EQ(SaveGridStream(g), bytes);
}

TEST(GridStream, FullModelRoundTrip) {
    TKelvoGrid g;
    g.SetTitles("Страница &p", "Итого");
    g.GetCell(0, 0).SetText("A");
    g.GetCell(0, 0).SetFontName("Courier New");
    g.GetCell(0, 0).SetDataFormat("0.00");
    g.GetCell(5, 1).SetText(std::string(65535, 'z'));
    g.GetCell(2, 2).SetFrames(0x20202020);
    g.GetCell(2, 2).Join(4, 6);
    g.GetCell(7, 9).SetAngle(-45);
    g.SetColWidth(3, 1);
    g.SetRowHeight(12, 44);
    TPageSettings p{9, 1, 75.5, 1, 1.5, 1, 1.5};
    g.SetPageSettings(p);
    g.Objects().push_back({1, 2, -3, 4, 5, kPictureBitmap, TinyBitmap()});
    g.Objects().push_back({6, 7, 8, 9, 10, kPictureNone, ""});
    std::string bytes = SaveGridStream(g);
    TKelvoGrid back;
    LoadGridStream(back, bytes);
    EXPECT_EQ(back.CheckInvariants(), "");
    EXPECT_EQ(back.GetCell(3, 4).Col(), 2);
    EXPECT_EQ(back.GetCell(0, 0).FontName(), "COURIER NEW");
    EXPECT_EQ(back.GetCell(0, 0).DataFormat(), "0.00");
    EXPECT_EQ(back.GetCell(5, 1).Text().size(), 65535u);
    EXPECT_EQ(back.GetPageSettings(), p);
    EXPECT_EQ(back.Objects(), g.Objects());
    EXPECT_EQ(back.LastRow(), 13);
    EXPECT_EQ(SaveGridStream(back), bytes);
}

// An object without a picture is the smallest object record (20 bytes); it must read back.
TEST(GridStream, ObjectWithoutPictureRoundTrips) {
    TKelvoGrid g;
    g.Objects().push_back({3, 4, 5, 6, 7, kPictureNone, ""});
    std::string bytes = SaveGridStream(g);
    TKelvoGrid back;
    LoadGridStream(back, bytes);
    EXPECT_EQ(back.Objects(), g.Objects());
}

TEST(GridStream, NoObjectsEndsWithCountZero) {
    TKelvoGrid g;
    std::string bytes = SaveGridStream(g);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string(4, '\0'));
}

TEST(GridStream, SavingRefusesWhatTheFileCannotHold) {
    TKelvoGrid g;
    g.GetCell(0, 0).SetGroupIndex(300);
    EXPECT_THROW(SaveGridStream(g), FileFormatError);
    TKelvoGrid h;
    h.Objects().push_back({0, 0, 0, 10, 10, kPictureBitmap, "BM-not-a-bitmap"});
    EXPECT_THROW(SaveGridStream(h), FileFormatError);
}

TEST(GridStream, ProgressIsReportedEveryHundredCells) {
    TKelvoGrid g;
    for (int r = 0; r < 250; ++r)
        g.GetCell(0, r).SetText("x");
    std::vector<std::pair<int, int>> seen;  // state, min
    g.OnProgress = [&](std::string_view name, int state, int min, int max, int) {
        EXPECT_EQ(max, 250);
        seen.push_back({state, min});
    };
    std::string bytes = SaveGridStream(g);
    std::vector<std::pair<int, int>> expected{{0, 0}, {1, 100}, {1, 200}, {2, 0}};
    EXPECT_EQ(seen, expected);
    seen.clear();
    LoadGridStream(g, bytes);
    EXPECT_EQ(seen, expected);
}

TEST(GridStream, Version17Import) {
    TKelvoGrid g;
    std::vector<std::string> names;
    g.OnProgress = [&](std::string_view n, int, int, int, int) { names.emplace_back(n); };
    LoadGridStream(g, SmallGrid17());
    EXPECT_EQ(g.CheckInvariants(), "");
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), ProgressImportName());
    TCellHandle m = g.GetCell(1, 1);
    EXPECT_EQ(m.Col(), 0);
    EXPECT_EQ(m.Row(), 0);
    EXPECT_EQ(m.LastCol(), 1);
    EXPECT_EQ(m.LastRow(), 1);
    EXPECT_EQ(m.Text(), "Шапка");
    EXPECT_EQ(m.FontName(), "TIMES NEW ROMAN");
    EXPECT_EQ(m.FontSize(), 12);
    EXPECT_EQ(m.FontStyle(), kFontBold);
    EXPECT_EQ(m.VertAlign(), 2);
    EXPECT_EQ(m.HorzAlign(), 1);
    EXPECT_EQ(m.FillColor(), 0xEEEEEEu);
    EXPECT_EQ(m.FontColor(), 0x0000FFu);
    EXPECT_EQ(m.Options(), kOptWordWrap);
    EXPECT_EQ(m.DataFormat(), "0.00");
    EXPECT_EQ(m.GroupIndex(), 3);
    TCellHandle plain = g.GetCell(0, 2);
    EXPECT_EQ(plain.Text(), "строка");
    EXPECT_EQ(plain.FontName(), "ARIAL");
    EXPECT_EQ(g.CellCount(), 3u);  // master, its placeholder, the plain cell
    EXPECT_EQ(g.ColWidth(0), 90);
    EXPECT_EQ(g.RowHeight(2), 30);
    EXPECT_EQ(g.PageBreaks(), (std::vector<uint16_t>{2}));
    EXPECT_EQ(g.TopTitle(), "Верх");
    EXPECT_EQ(g.BottomTitle(), "Низ");
    // Saved again, it is a current stream that reads back to the same cells.
    TKelvoGrid again;
    LoadGridStream(again, SaveGridStream(g));
    EXPECT_EQ(again.GetCell(1, 1).Text(), "Шапка");
    EXPECT_EQ(SaveGridStream(again), SaveGridStream(g));
}

TEST(GridStream, Version17OptionalSectionsMayBeMissing) {
    std::string full = SmallGrid17();
    // Cut just before the page settings: the file still loads with defaults.
    size_t settingsAt = full.size() - (48 + 4 + 4 + 6 + 4 + 8 + 4 + 6);
    TKelvoGrid g;
    LoadGridStream(g, full.substr(0, settingsAt));
    EXPECT_EQ(g.GetPageSettings(), TPageSettings{});
    EXPECT_EQ(g.GetCell(0, 0).Text(), "Шапка");
}

TEST(GridFile, SaveGoesThroughATemporaryFile) {
    auto dir =
        std::filesystem::temp_directory_path() / ("kelvo-grid-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto path = dir / "a.sf";
    TKelvoGrid g;
    g.GetCell(1, 1).SetText("first");
    SaveGridFile(g, path);
    std::string first = ReadWholeFile(path);
    g.GetCell(1, 1).SetGroupIndex(999);  // cannot be stored
    EXPECT_THROW(SaveGridFile(g, path), FileFormatError);
    EXPECT_EQ(ReadWholeFile(path), first);
    size_t files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir))
        (void)e, ++files;
    EXPECT_EQ(files, 1u);
    TKelvoGrid back;
    LoadGridFile(back, path);
    EXPECT_EQ(back.GetCell(1, 1).Text(), "first");
    std::filesystem::remove_all(dir);
}
