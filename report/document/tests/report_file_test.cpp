#include <gtest/gtest.h>

#include <filesystem>

#include "document/binary_io.h"
#include "document/file_io.h"
#include "document/grid_stream.h"
#include "document/kelvo_grid.h"
#include "document/report_file.h"
#include "test_files.h"

using namespace zentra::report;
using namespace zentra::report::testing;

namespace {

void olderSection(Bytes& b, int64_t size) {
    b.u8(1).raw("x").raw(std::string(254, '\0')).i32(size).i32(0);
}

// An older-layout report whose one group lists the given cells (0-based column, row).
std::string olderReport(const std::vector<std::pair<int, int>>& cells) {
    Bytes b;
    b.i32(12).raw("PD#RMX#Kelvo");
    olderSection(b, 0);
    olderSection(b, 0);
    olderSection(b, 0);
    olderSection(b, 1);
    b.longText("EVENT_NAME=E\r\n").longText("G").i32(static_cast<int64_t>(cells.size()) - 1);
    for (auto [c, r] : cells)
        b.i32(c).i32(r);
    olderSection(b, 0);
    return b.b;
}

}  // namespace

TEST(ReportFile, HandBuiltReportLoadsAndSavesByteForByte) {
    std::string bytes = SmallReport();
    TReportFile rep = LoadReportStream(bytes);
    EXPECT_EQ(rep.Parameters, "TITLE=Отчёт\r\n");
    EXPECT_EQ(rep.Script, "begin\r\nend.\r\n");
    EXPECT_EQ(rep.Dialog, "");
    ASSERT_EQ(rep.Groups.size(), 2u);
    EXPECT_EQ(rep.Groups[1].Name, "LINE");
    EXPECT_EQ(rep.Groups[1].Parameters, "EVENT_NAME=LINE\r\n");
    EXPECT_EQ(rep.Groups[0].Right, 3);
    EXPECT_EQ(rep.Groups[0].Bottom, 2);
    EXPECT_EQ(rep.PrintForm, SmallGridStream());
    EXPECT_EQ(SaveReportStream(rep), bytes);
}

TEST(ReportFile, EmptyScriptWritesAnEmptySection) {
    TReportFile rep;
    rep.Parameters = JoinLines({"A=1", "B=2"});
    EXPECT_EQ(rep.Parameters, "A=1\r\nB=2\r\n");
    std::string bytes = SaveReportStream(rep);
    // magic (4 + 17), parameter header + text, then the script header with size 0.
    size_t scriptHeader = 4 + 17 + 264 + rep.Parameters.size();
    ByteReader r(bytes);
    r.seek(scriptHeader + 256);
    EXPECT_EQ(r.i32(), 0);
    EXPECT_EQ(r.i32(), 1);
    EXPECT_EQ(LoadReportStream(bytes), rep);
}

TEST(ReportFile, OlderLayoutGroupAreaFromItsCells) {
    struct Case {
        std::vector<std::pair<int, int>> cells;
        TDataGroupRecord area;
    } cases[] = {
        {{{0, 0}, {2, 1}}, {"", "", 1, 1, 3, 2}},
        {{{4, 7}}, {"", "", 5, 8, 5, 8}},
        {{}, {"", "", 1, 1, 1, 1}},
        {{{-5, -5}, {1, 1}}, {"", "", 1, 1, 2, 2}},  // never below 1
    };
    for (auto& c : cases) {
        TReportFile rep = LoadReportStream(olderReport(c.cells));
        ASSERT_EQ(rep.Groups.size(), 1u);
        const TDataGroupRecord& g = rep.Groups[0];
        EXPECT_EQ(g.Name, "G");
        EXPECT_EQ((std::vector<int>{g.Left, g.Top, g.Right, g.Bottom}),
                  (std::vector<int>{c.area.Left, c.area.Top, c.area.Right, c.area.Bottom}));
        // Always saved in the current layout, which reads back the same.
        EXPECT_EQ(LoadReportStream(SaveReportStream(rep)), rep);
    }
}

TEST(ReportFile, FailedLoadLeavesTheDocumentAsItWas) {
    auto dir = std::filesystem::temp_directory_path() / ("kelvo-rpt-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    TReportFile rep;
    rep.Script = "keep\r\n";
    struct Case {
        std::string bytes;
        std::string message;
    } cases[] = {
        {"\x05\0\0\0hello world", "Файл неизвестного формата!"},
        {SmallReport().substr(0, 600), "Файл повреждён"},
        {SmallReport().substr(0, SmallReport().size() - 3), "Файл повреждён"},  // print form cut
    };
    for (auto& c : cases) {
        WriteFileAtomic(dir / "r.rpt", c.bytes);
        try {
            LoadReportFile(rep, dir / "r.rpt");
            ADD_FAILURE() << "loaded";
        } catch (const FileFormatError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_EQ(rep.Script, "keep\r\n");
    }
    std::filesystem::remove_all(dir);
}
