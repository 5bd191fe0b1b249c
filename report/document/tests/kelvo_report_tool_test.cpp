// kelvo-report build on the report files authored in report/document/reports: the built print
// grid read back, and the kelvo-sf dump of it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "grid_stream.h"
#include "kelvo_grid.h"
#include "text/cp1251.h"

namespace fs = std::filesystem;
using namespace zentra::report;

namespace {

struct Ran {
    int status = -1;
    std::string out;  // stdout and stderr
};

// Runs a command line, collecting both output streams.
Ran Shell(const std::string& command) {
    Ran r;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

fs::path Temp(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("kelvo_report_test_" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir / name;
}

std::string Text(TKelvoGrid& g, int col, int row) {
    const TCellData* c = g.FindCell(col, row);
    return c ? zentra::text::cp1251ToUtf8(c->Text) : "<none>";
}

const std::string kTool = KELVO_REPORT_TOOL;
const std::string kReports = KELVO_REPORTS_DIR;

TEST(KelvoReportTool, HelloReportBuildsWithAndWithoutHostVariable) {
    const fs::path out = Temp("hello.sf");
    Ran r = Shell(kTool + " build " + kReports + "/hello.rpt -o " + out.string());
    ASSERT_EQ(r.status, 0) << r.out;
    TKelvoGrid g;
    LoadGridFile(g, out);
    EXPECT_EQ(Text(g, 0, 0), "Привет, мир!");
    EXPECT_EQ(g.FindCell(0, 0)->LastCol, 1);  // the template join is kept
    EXPECT_EQ(g.CheckInvariants(), "");
    EXPECT_EQ(Text(g, 0, 1), "1");
    EXPECT_EQ(Text(g, 1, 1), "3,33");
    EXPECT_EQ(Text(g, 1, 3), "10");
    EXPECT_EQ(Text(g, 0, 4), "<none>");
    EXPECT_EQ(g.DrawnRowHeight(0), 24);
    EXPECT_EQ(g.DrawnColWidth(1), 100);

    r = Shell(kTool + " build " + kReports + "/hello.rpt --var 'WHO:PCHAR=Кельво' -o " +
              out.string());
    ASSERT_EQ(r.status, 0) << r.out;
    LoadGridFile(g, out);
    EXPECT_EQ(Text(g, 0, 0), "Привет, Кельво!");

    r = Shell(std::string(KELVO_SF_TOOL) + " dump " + out.string());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\"text\": \"Привет, Кельво!\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"text\": \"6,67\""), std::string::npos) << r.out;
}

TEST(KelvoReportTool, LayoutReportHeadersFixedColumnPageBreakDeferredTotal) {
    const fs::path out = Temp("layout.sf");
    Ran r = Shell(kTool + " build " + kReports + "/layout.rpt -o " + out.string());
    ASSERT_EQ(r.status, 0) << r.out;
    TKelvoGrid g;
    LoadGridFile(g, out);
    EXPECT_EQ(Text(g, 0, 0), "№");
    EXPECT_EQ(Text(g, 1, 0), "Товар");
    EXPECT_EQ(Text(g, 0, 1), "1");  // FIX and LINE side by side
    EXPECT_EQ(Text(g, 1, 1), "Товар № 1");
    EXPECT_EQ(Text(g, 2, 30), "30");
    EXPECT_EQ(Text(g, 0, 31), "Итого");
    EXPECT_EQ(Text(g, 2, 31), "465");  // 1 + ... + 30, summed after the build
    ASSERT_EQ(g.HeaderGroups().size(), 1u);
    EXPECT_EQ(g.HeaderGroups()[0].Groups, std::vector<uint8_t>{0});
    ASSERT_EQ(g.FixedCols().size(), 1u);
    EXPECT_EQ(g.FixedCols()[0], (TFixedCols{0, 0, 1, 30}));
    EXPECT_EQ(g.PageBreaks(), std::vector<uint16_t>{21});
    EXPECT_EQ(g.FindCell(0, 5)->GroupIndex, 1);
    EXPECT_EQ(g.FindCell(2, 5)->GroupIndex, 2);

    r = Shell(kTool + " build " + kReports + "/layout.rpt --var LINES:INTEGER=5 -o " +
              out.string());
    ASSERT_EQ(r.status, 0) << r.out;
    LoadGridFile(g, out);
    EXPECT_EQ(Text(g, 2, 6), "15");
    EXPECT_TRUE(g.PageBreaks().empty());
}

TEST(KelvoReportTool, ErrorsGoToStandardErrorWithNonZeroStatus) {
    const fs::path out = Temp("bad.sf");
    fs::remove(out);
    struct Case {
        std::string args;
        int status;
        const char* text;
    } cases[] = {
        {"build", 2, "usage"},
        {"build " + kReports + "/hello.rpt", 2, "usage"},
        {"build /nonexistent.rpt -o " + out.string(), 1, "nonexistent"},
        {"build " + kReports + "/hello.rpt --var WHO=1 -o " + out.string(), 2, "NAME:TYPE=VALUE"},
        {"build " + kReports + "/hello.rpt --var N:INTEGER=x -o " + out.string(), 2,
         "not a INTEGER"},
        // 70000 lines do not fit the sheet: an error, never a wrap to the top
        {"build " + kReports + "/layout.rpt --var LINES:INTEGER=70000 -o " + out.string(), 1,
         "не помещается в документ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Ran r = Shell(kTool + " " + c.args);
        EXPECT_EQ(r.status, c.status) << r.out;
        EXPECT_NE(r.out.find(c.text), std::string::npos) << r.out;
    }
    EXPECT_FALSE(fs::exists(out));

    // A report whose script does not compile.
    const fs::path json = Temp("broken.json"), rpt = Temp("broken.rpt");
    std::ofstream(json)
        << R"({"type": "report", "parameters": "", "script": "procedure Main; begin x := ; end;\r\n", "dialog": "", "groups": [], "printForm": null})";
    Ran r = Shell(std::string(KELVO_SF_TOOL) + " build " + json.string() + " " + rpt.string());
    ASSERT_EQ(r.status, 0) << r.out;
    r = Shell(kTool + " build " + rpt.string() + " -o " + out.string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("[Error]"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(out));
}

}  // namespace
