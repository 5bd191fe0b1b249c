// The document engine: report events as tables (script -> cells and positions), value
// references, formula composition and evaluation, row growth with a fixed-advance measurer,
// headers, fixed columns, page breaks and the faults of the old engine that must not come back.
#include <gtest/gtest.h>

#include <map>

#include "document.h"
#include "grid_stream.h"
#include "text/cp1251.h"

using namespace zentra::report;
namespace zt = zentra::text;

namespace {

std::string cp(std::string_view u) {
    return zt::utf8ToCp1251(u);
}
std::string u8(std::string_view c) {
    return zt::cp1251ToUtf8(c);
}

// The print form shared by the tests (1-based areas):
//   A  row 1, cols 1-2:  "A:[@X]" | "[@Y]"
//   TWO rows 2-3, col 1: "t1" / "t2"
//   F  row 4, cols 1-2:  "[@V]" | "=A4*2" (evaluated when written: sees the cell before it)
//   D  row 5, col 1:     "=SUM(A1:A3)" calculated after the build
//   W  row 6, col 1:     "[@T]" with word wrap, template row height 0 (default)
//   S  row 7, col 1:     "Сумма: [@SUM] руб."
//   R  row 8, col 1:     "=$A$1+A1"
//   ABS row 9, col 1:    "=Total*2" (a script variable)
//   W2 row 10, col 1:    "a" CR "b" (no word wrap: the line break alone grows the row)
struct Fixture {
    TDocument doc;
    TFixedAdvanceMeasurer measurer{10, 10};
    Fixture() {
        TKelvoGrid t;
        auto put = [&](int col, int row, std::string_view utf8, uint8_t options = 0) {
            TCellData& c = t.CreateCell(col, row);
            c.Text = cp(utf8);
            if (options) t.SetFormatProperty(c, EFormatKind::Options, options);
        };
        put(0, 0, "A:[@X]");
        put(1, 0, "[@Y]");
        put(0, 1, "t1");
        put(0, 2, "t2");
        put(0, 3, "[@V]");
        put(1, 3, "=A4*2");
        put(0, 4, "=SUM(A1:A3)", kOptCalcAfterBuild);
        put(0, 5, "[@T]", kOptWordWrap);
        put(0, 6, "Сумма: [@SUM] руб.");
        put(0, 7, "=$A$1+A1");
        put(0, 8, "=Total*2");
        put(0, 9, "a\rb");
        t.SetColWidth(0, 70);
        t.SetRowHeight(3, 20);
        doc.PrintForm = SaveGridStream(t);
        const char* names[] = {"A", "TWO", "F", "D", "W", "S", "R", "ABS", "W2"};
        const int areas[][4] = {{1, 1, 2, 1}, {1, 2, 1, 3}, {1, 4, 2, 4},
                                {1, 5, 1, 5}, {1, 6, 1, 6}, {1, 7, 1, 7},
                                {1, 8, 1, 8}, {1, 9, 1, 9}, {1, 10, 1, 10}};
        for (int i = 0; i < 9; ++i)
            doc.AddGroup(names[i], std::string("EVENT_NAME= ") + names[i] + " \r\n", areas[i][0],
                         areas[i][1], areas[i][2], areas[i][3]);
        doc.Measurer = &measurer;
    }
    BuildResult Run(std::string_view utf8Script) {
        doc.ScriptText = cp(utf8Script);
        return doc.Build();
    }
    std::string Text(int col, int row) {
        const TCellData* c = doc.DocumentGrid().FindCell(col, row);
        return c ? u8(c->Text) : "<none>";
    }
    int Group(int col, int row) {
        const TCellData* c = doc.DocumentGrid().FindCell(col, row);
        return c ? c->GroupIndex : -2;
    }
};

struct CellCase {
    const char* name;
    const char* script;  // body of Main, with variables X, Y, V, SUM, T : pchar; Total, I : integer
    std::vector<std::tuple<int, int, const char*>> cells;  // 0-based col, row, text
};

std::string Wrap(const char* body) {
    return std::string(
               "var X, Y, V, SUM, T : pchar; Total, I, R, C : integer;\r\n"
               "procedure Main;\r\nbegin\r\n  X := 'x1'; Y := 'y1'; V := '21'; SUM := '125';\r\n") +
           body + "\r\nend;\r\n";
}

TEST(EngineEvents, OutputPositionsTable) {
    const CellCase cases[] = {
        // values go by the arguments' names, whatever their order
        {"side by side",
         "SendEvent('A', X, Y); SendEvent('A', Y, X);",
         {{0, 0, "A:x1"}, {1, 0, "y1"}, {2, 0, "A:x1"}, {3, 0, "y1"}}},
        {"newline before output does not move",
         "NewLine; NewLine; SendEvent('A', X, Y);",
         {{0, 0, "A:x1"}}},
        {"two-row group then two newlines go 4 rows down",
         "SendEvent('TWO'); NewLine; NewLine; SendEvent('A', X);",
         {{0, 0, "t1"}, {0, 1, "t2"}, {0, 4, "A:x1"}, {1, 4, "?Y"}}},
        {"startcol is where newline returns",
         "StartCol(3); SendEvent('A', X, Y); NewLine; SendEvent('A', X, Y);",
         {{2, 0, "A:x1"}, {3, 0, "y1"}, {2, 1, "A:x1"}}},
        {"newrow keeps the column",
         "SendEvent('A', X, Y); NewRow; SendEvent('A', X, Y);",
         {{2, 1, "A:x1"}, {0, 0, "A:x1"}}},
        {"startrow then getactiverow",
         "StartRow(5); R := GetActiveRow; V := R; SendEvent('F', V);",
         {{0, 4, "5"}, {1, 4, "10"}}},
        {"getactivecol after a group",
         "SendEvent('A', X); C := GetActiveCol; V := C; SendEvent('F', V);",
         {{2, 0, "3"}, {3, 0, "6"}}},
        {"value references with and without a value",
         "SendEvent('S', SUM); NewLine; SendEvent('S');",
         {{0, 0, "Сумма: 125 руб."}, {0, 1, "Сумма: ?SUM руб."}}},
        {"names of events are matched blind to case",
         "SendEvent('a', X); SendEvent('NoSuchGroup', X);",
         {{0, 0, "A:x1"}, {2, 0, "<none>"}}},
        {"celltext reads column then row",
         // (col 2,row 1) holds y1 and (col 1,row 2) holds t... asymmetric positions
         "SendEvent('A', X, Y); NewLine; SendEvent('TWO'); NewLine; "
         "V := CellText(2, 1); SendEvent('F', V); NewLine; V := CellText(1, 3); SendEvent('F', V);"
         " NewLine; V := CellText(9, 9); SendEvent('F', V);",
         {{0, 3, "y1"}, {0, 4, "t2"}, {0, 5, ""}, {1, 5, "0"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        const BuildResult r = f.Run(Wrap(c.script));
        ASSERT_EQ(r.Status, BuildStatus::Built) << u8(r.Message);
        for (const auto& [col, row, text] : c.cells)
            EXPECT_EQ(f.Text(col, row), text) << col << "," << row;
        EXPECT_EQ(f.doc.DocumentGrid().CheckInvariants(), "");
    }
}

TEST(EngineEvents, GroupIndexOnEveryPositionIncludingEmptyOnes) {
    Fixture f;
    // Group F's second cell is a value reference; group TWO is one column wide.
    ASSERT_EQ(f.Run(Wrap("SendEvent('TWO'); SendEvent('F');")).Status, BuildStatus::Built);
    EXPECT_EQ(f.Group(0, 0), 1);
    EXPECT_EQ(f.Group(0, 1), 1);
    EXPECT_EQ(f.Group(1, 0), 2);
    EXPECT_EQ(f.Group(2, 0), 2);
    EXPECT_EQ(f.Text(1, 0), "?V");
}

TEST(EngineFormulas, ComposedWithShiftsAndEvaluated) {
    Fixture f;
    // F at row 10 (0-based 9): "=A4*2" becomes A10*2 with A10 holding V.
    // R at template row 8 holds "=$A$1+A1": output at row 11 (0-based 10) it reads $A$1 and
    // A4 (shifted by +3 rows); output at row 1 its A1 would be row -6: off the sheet.
    const BuildResult r =
        f.Run(Wrap("X := '7'; SendEvent('A', X); StartRow(4); SendEvent('A', SUM);"
                   "StartRow(10); StartCol(1); SendEvent('F', V); NewLine; SendEvent('R'); "
                   "StartRow(1); StartCol(5);"
                   "SendEvent('R'); Total := 4; NewLine; SendEvent('ABS');"));
    ASSERT_EQ(r.Status, BuildStatus::Built) << u8(r.Message);
    EXPECT_EQ(f.Text(1, 9), "42");
    EXPECT_EQ(f.Text(0, 0), "A:7");
    // $A$1 is "A:7": not a number, 0; A4 holds "A:125"... also 0; so both count 0
    EXPECT_EQ(f.Text(0, 10), "0");
    const std::string off = f.Text(4, 0);
    EXPECT_NE(off.find("Ссылка A1 после сдвига выходит за пределы листа в функции"),
              std::string::npos)
        << off;
    const TCellData* failed = f.doc.DocumentGrid().FindCell(4, 0);
    ASSERT_TRUE(failed);
    EXPECT_TRUE(failed->Format->Options & kOptFormulaFailed);
    const TCellData* fine = f.doc.DocumentGrid().FindCell(1, 9);
    EXPECT_FALSE(fine->Format->Options & kOptFormulaFailed);
    EXPECT_EQ(f.Text(4, 1), "8");  // a script variable read by the formula
}

TEST(EngineFormulas, ReferencesReadNumbersWithEitherSeparator) {
    Fixture f;
    const BuildResult r = f.Run(Wrap(
        "StartRow(8); V := '1.5'; SendEvent('F', V); NewLine; V := '2,25'; SendEvent('F', V);"));
    ASSERT_EQ(r.Status, BuildStatus::Built) << u8(r.Message);
    EXPECT_EQ(f.Text(1, 7), "3");
    EXPECT_EQ(f.Text(1, 8), "4,5");
}

TEST(EngineFormulas, TemplateTextIsSplitAsDocumented) {
    TData d;
    ParseTemplateText(cp("=A1+B1"), d);
    ASSERT_TRUE(d.IsFormula);
    ASSERT_EQ(d.Elements.size(), 3u);
    EXPECT_EQ(d.Elements[0].Kind_, TCellElement::CellRef);
    EXPECT_EQ(d.Elements[1].Text, " +");
    ParseTemplateText("=IF($A$2>0; 'yes'; \"no\")", d);
    std::string joined;
    for (auto& e : d.Elements)
        joined += e.Kind_ == TCellElement::CellRef ? "<" + e.Text + ">" : e.Text;
    EXPECT_EQ(joined, " IF (<$A$2> > 0 ; 'yes' ; 'no' )");
    ParseTemplateText("a[@B]c[@D", d);  // an unclosed reference stays literal text
    ASSERT_EQ(d.Elements.size(), 3u);
    EXPECT_EQ(d.Elements[1].Kind_, TCellElement::ValueRef);
    EXPECT_EQ(d.Elements[2].Text, "c[@D");
    ParseTemplateText("[@B]x[@Q", d);
    ASSERT_EQ(d.Elements.size(), 2u);
    ParseTemplateText("x[@Q", d);
    ASSERT_EQ(d.Elements.size(), 1u);
    ParseTemplateText("[@Q", d);  // begins with "[@": the rest names a value
    ASSERT_EQ(d.Elements.size(), 1u);
    EXPECT_EQ(d.Elements[0].Kind_, TCellElement::ValueRef);
    EXPECT_EQ(d.Elements[0].Text, "Q");
    ParseTemplateText("x]y[@z", d);  // "]" before "[@": no reference is cut out
    ASSERT_EQ(d.Elements.size(), 1u);
    EXPECT_EQ(d.Elements[0].Text, "x]y[@z");
    ParseTemplateText("=", d);  // one character: plain text
    EXPECT_FALSE(d.IsFormula);
}

TEST(EngineFormulas, DeferredSumSeesLaterOutput) {
    Fixture f;
    // D (template A5: "=SUM(A1:A3)", calculated after the build) output at row 5 sums rows
    // 1-3; row 3 is written only after D, which a deferred formula still sees.
    const BuildResult r =
        f.Run(Wrap("V := '1'; SendEvent('F', V); NewLine; V := '2'; SendEvent('F', V);"
                   "StartRow(5); StartCol(1); SendEvent('D'); StartRow(3); StartCol(1); V := '3'; "
                   "SendEvent('F', V);"
                   "StartRow(6); StartCol(3); SendEvent('D');"));
    ASSERT_EQ(r.Status, BuildStatus::Built) << u8(r.Message);
    EXPECT_EQ(f.Text(0, 4), "6");
    // at (col 3,row 6) the sum covers C2:C4, all empty
    EXPECT_EQ(f.Text(2, 5), "0");
}

TEST(EngineRows, WrappedTextGrowsRowAndLaterGroupsDoNotShrinkIt) {
    Fixture f;
    // advance 10 px, column 70 px: 7 bytes a line; lines are 10 high, + 3
    const BuildResult r =
        f.Run(Wrap("SendEvent('W2'); SendEvent('F', V); NewLine;"
                   "T := 'aaaa bbbb cccc'; SendEvent('W', T); NewLine;"
                   "T := 'x'; SendEvent('W', T); NewLine;"
                   "SendEvent('F', V);"));
    ASSERT_EQ(r.Status, BuildStatus::Built) << u8(r.Message);
    auto& g = f.doc.DocumentGrid();
    // two lines: 23; F's template row is 20, smaller, so the grown row stays 23
    EXPECT_EQ(g.DrawnRowHeight(0), 23);
    EXPECT_EQ(g.DrawnRowHeight(1), 33);  // three wrapped lines
    EXPECT_EQ(g.DrawnRowHeight(2), 18);  // one line (13) fits the default row
    EXPECT_EQ(g.DrawnRowHeight(3), 20);  // the template's own height
    EXPECT_EQ(g.RowHeight(2), 0);        // default stays stored as 0
}

TEST(EngineTables, HeadersFixedColumnsAndPageBreaks) {
    Fixture f;
    const BuildResult r =
        f.Run(Wrap("StartHeader; SendEvent('A', X, Y); NewLine; CommitHeader('a, two');"
                   "StartFixedCol; SendEvent('TWO'); NewLine; SendEvent('TWO'); NewLine; "
                   "CommitFixedCol('1', '1');"
                   "NewPage; SendEvent('A');"));
    ASSERT_EQ(r.Status, BuildStatus::Built) << u8(r.Message);
    auto& g = f.doc.DocumentGrid();
    ASSERT_EQ(g.HeaderGroups().size(), 1u);
    EXPECT_EQ(g.HeaderGroups()[0].FirstGroup, 0);
    EXPECT_EQ(g.HeaderGroups()[0].Groups, (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(g.HeaderGroups()[0].Cells, (TSelectedCells{{0, 0}, {1, 0}}));
    ASSERT_EQ(g.FixedCols().size(), 1u);
    EXPECT_EQ(g.FixedCols()[0], (TFixedCols{0, 0, 1, 4}));
    EXPECT_EQ(g.PageBreaks(), (std::vector<uint16_t>{5}));
}

struct FailCase {
    const char* name;
    const char* script;
    const char* message;
};

TEST(EngineFailures, EventsThatEndTheRunWithAClearText) {
    const FailCase cases[] = {
        {"startrow 0", "StartRow(0);",
         "номера строки = 0\rМинимальное допустимое значение номера строки = 1"},
        {"startrow below zero", "StartRow(-5);", "номера строки = -5"},
        {"startcol below zero", "StartCol(-5);", "номера столбца = -5"},
        {"startrow past the sheet", "StartRow(70000);", "номера строки = 70000"},
        {"output past the last row wraps nowhere", "StartRow(65536); SendEvent('TWO');",
         "не помещается в документ: строки 65536..65537"},
        {"header with an unknown group", "StartHeader; SendEvent('A'); CommitHeader('A, NOPE');",
         "Группы с названием  'NOPE' в списке групп не существует!"},
        {"fixed columns without rows", "StartFixedCol; CommitFixedCol('1', '2');",
         "не выведено ни одной строки"},
        {"fixed columns reversed", "StartFixedCol; SendEvent('A'); CommitFixedCol('3', '2');",
         "неверный диапазон столбцов 3..2"},
        {"fixed columns not numbers", "StartFixedCol; SendEvent('A'); CommitFixedCol('x', '2');",
         "должны быть целыми числами"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        const BuildResult r = f.Run(Wrap(c.script));
        EXPECT_EQ(r.Status, BuildStatus::RunError);
        const std::string msg = u8(r.Message);
        std::string want = c.message;
        EXPECT_NE(msg.find(want), std::string::npos) << msg;
        // nothing wrapped to the top of the document
        EXPECT_EQ(f.doc.DocumentGrid().FixedCols().size(), 0u);
    }
}

TEST(EngineBuild, CompileErrorAbortAndFormulaErrorsInCells) {
    Fixture f;
    BuildResult r = f.Run("procedure Main; begin SendEvent('A' end;");
    EXPECT_EQ(r.Status, BuildStatus::CompileError);
    EXPECT_FALSE(r.Message.empty());
    r = f.Run(Wrap("SendEvent('A'); AbortShowReport;"));
    EXPECT_EQ(r.Status, BuildStatus::Aborted);
    // A formula error is the cell's text, never an error of the run.
    r = f.Run(Wrap("V := 'abc'; SendEvent('ABS');"));
    ASSERT_EQ(r.Status, BuildStatus::Built) << u8(r.Message);
    EXPECT_EQ(f.Text(0, 0), "0");  // Total is 0
}

}  // namespace

namespace {

TEST(EngineJoins, JoinedTemplateCellsStayOneJoinAndOverwritingTakesOldJoinsApart) {
    TDocument doc;
    TKelvoGrid t;
    t.CreateCell(0, 0).Text = "[@X]";
    t.Join(0, 0, 1, 1);  // a 2x2 join inside a 3x2 area
    t.CreateCell(2, 1).Text = "tail";
    doc.PrintForm = SaveGridStream(t);
    doc.AddGroup("J", "EVENT_NAME=J\r\n", 1, 1, 3, 2);
    doc.AddGroup("ONE", "EVENT_NAME=ONE\r\n", 3, 2, 3, 2);
    doc.ScriptText =
        cp("var X : pchar;\r\nprocedure Main;\r\nbegin\r\n X := 'v'; SendEvent('J', X); NewLine;"
           " SendEvent('J', X);\r\n StartRow(2); StartCol(2); SendEvent('ONE');\r\nend;\r\n");
    const BuildResult r = doc.Build();
    ASSERT_EQ(r.Status, BuildStatus::Built) << u8(r.Message);
    auto& g = doc.DocumentGrid();
    EXPECT_EQ(g.CheckInvariants(), "");
    const TCellData* second = g.FindCell(0, 2);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->Text, "v");
    EXPECT_EQ(second->LastCol, 1);
    EXPECT_EQ(second->LastRow, 3);
    EXPECT_EQ(g.FindCell(2, 3)->Text, "tail");
    // ONE landed on (col 1,row 1), inside the first join: that join was taken apart.
    EXPECT_EQ(g.FindCell(1, 1)->Text, "tail");
    EXPECT_FALSE(g.FindCell(0, 0)->IsJoined());
}

}  // namespace

namespace {

// What comes after a build: nothing unless it was built; then printing wins over showing.
TEST(BuildOutcome, NextStepTable) {
    struct Case {
        BuildStatus status;
        bool printAtOnce, showModally;
        BuildNextStep next;
    };
    const Case cases[] = {
        {BuildStatus::Built, false, false, BuildNextStep::ShowChild},
        {BuildStatus::Built, false, true, BuildNextStep::ShowModal},
        {BuildStatus::Built, true, false, BuildNextStep::Print},
        {BuildStatus::Built, true, true, BuildNextStep::Print},
        {BuildStatus::Aborted, true, false, BuildNextStep::Nothing},
        {BuildStatus::Aborted, false, true, BuildNextStep::Nothing},
        {BuildStatus::CompileError, false, false, BuildNextStep::Nothing},
        {BuildStatus::RunError, true, true, BuildNextStep::Nothing},
        {BuildStatus::Stopped, false, true, BuildNextStep::Nothing},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NextStepAfterBuild(c.status, c.printAtOnce, c.showModally), c.next)
            << static_cast<int>(c.status) << " print " << c.printAtOnce << " modal "
            << c.showModally;
    }
}

// Real builds of each ending, with and without printing at once, and the preview's names.
TEST(BuildOutcome, BuildReportsTheNextStepAndThePreviewNames) {
    struct Case {
        const char* name;
        const char* script;  // whole script text
        bool printAtOnce, showModally;
        BuildStatus status;
        BuildNextStep next;
    };
    const char* fine = "procedure Main;\r\nbegin\r\n NewLine;\r\nend;\r\n";
    const char* aborts = "procedure Main;\r\nbegin\r\n AbortShowReport;\r\nend;\r\n";
    const char* fails = "procedure Main;\r\nbegin\r\n StartRow(0);\r\nend;\r\n";
    const char* broken = "procedure Main;\r\nbegin\r\n Undeclared := 1;\r\nend;\r\n";
    const Case cases[] = {
        {"preview child", fine, false, false, BuildStatus::Built, BuildNextStep::ShowChild},
        {"preview modal", fine, false, true, BuildStatus::Built, BuildNextStep::ShowModal},
        {"print at once", fine, true, true, BuildStatus::Built, BuildNextStep::Print},
        {"aborted, print", aborts, true, false, BuildStatus::Aborted, BuildNextStep::Nothing},
        {"aborted, show", aborts, false, true, BuildStatus::Aborted, BuildNextStep::Nothing},
        {"run error", fails, true, false, BuildStatus::RunError, BuildNextStep::Nothing},
        {"compile error", broken, false, false, BuildStatus::CompileError,
         BuildNextStep::Nothing},
    };
    for (const Case& c : cases) {
        TDocument doc;
        doc.Parameters = cp("DOCNAME=  Счёт на оплату \r\nOTHER=1\r\n");
        doc.ScriptText = c.script;
        doc.ShowModally = c.showModally;
        const BuildResult r = doc.Build(c.printAtOnce);
        EXPECT_EQ(r.Status, c.status) << c.name << ": " << u8(r.Message);
        EXPECT_EQ(r.Next, c.next) << c.name;
        EXPECT_EQ(u8(r.SaveFileName), "Счёт на оплату.sf") << c.name;
        EXPECT_EQ(u8(r.HtmlFileName), "Счёт на оплату.htm") << c.name;
        EXPECT_EQ(u8(r.CaptionSuffix), ": \"Счёт на оплату\"") << c.name;
    }
}

// Runs the build's steps the way a window does, answering "stop" at the given ask.
class StoppingRunner : public IBuildRunner {
  public:
    explicit StoppingRunner(int stopAt) : stopAt_(stopAt) {}
    zentra::script::RunStatus RunBuild(zentra::script::Script& script,
                                       TPrintDocEngine& engine) override {
        const auto status = script.run();
        if (status != zentra::script::RunStatus::Finished) return status;
        const bool done = engine.CalcDeferred([this] { return ++asks < stopAt_; });
        return done ? status : zentra::script::RunStatus::Stopped;
    }
    int asks = 0;

  private:
    int stopAt_;
};

TEST(EngineFormulas, DeferredStepAsksEveryFewFormulasAndStopsCleanly) {
    constexpr int kCells = 5 * TPrintDocEngine::kFormulasPerCheck;
    struct Case {
        int stopAt;
        zentra::script::RunStatus expectedRun;
        int calculated, asks;
    };
    const Case cases[] = {
        {1000, zentra::script::RunStatus::Finished, kCells, 5},
        {2, zentra::script::RunStatus::Stopped, 2 * TPrintDocEngine::kFormulasPerCheck, 2},
    };
    for (const Case& c : cases) {
        Fixture f;
        // D ("=SUM(A1:A3)", deferred) down column 1 from row 5: every cell sums the three rows
        // four to two above it, empty or formulas themselves, so each gives 0.
        f.doc.ScriptText =
            cp(Wrap("StartRow(5); for I := 1 to 40 do begin SendEvent('D'); NewLine; end;"));
        ASSERT_EQ(kCells, 40);
        StoppingRunner runner(c.stopAt);
        const BuildResult r = f.doc.Build(&runner);
        EXPECT_EQ(r.Status, c.expectedRun == zentra::script::RunStatus::Finished
                                ? BuildStatus::Built
                                : BuildStatus::Stopped);
        EXPECT_EQ(r.Next, c.expectedRun == zentra::script::RunStatus::Finished
                              ? BuildNextStep::ShowChild
                              : BuildNextStep::Nothing);
        EXPECT_EQ(runner.asks, c.asks);
        int calculated = 0, left = 0;
        for (int row = 4; row < 4 + kCells; ++row) {
            const std::string t = f.Text(0, row);
            if (t == "0") ++calculated;
            if (!t.empty() && t[0] == '=') ++left;
        }
        EXPECT_EQ(calculated, c.calculated);
        EXPECT_EQ(left, kCells - c.calculated);
        // the stop leaves the uncalculated cells below the calculated ones, in visiting order
        if (c.calculated < kCells) {
            EXPECT_EQ(f.Text(0, 4 + c.calculated)[0], '=');
        }
    }
}

}  // namespace
