// The build window: a build through it fills the document; "Отмена" stops a script that
// would never end.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <thread>

#include "build_visual.h"
#include "grid_stream.h"
#include "text/cp1251.h"

using namespace zentra::report;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "build_visual_test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing the application down in the exit handlers crashes in Qt's own
    // device list once a plain widget was shown.
    static QApplication* app = new QApplication(argc, argv);
    setlocale(LC_NUMERIC, "C");
    return *app;
}

void Prepare(TDocument& doc, const char* body) {
    TKelvoGrid t;
    t.CreateCell(0, 0).Text = "[@N]";
    doc.PrintForm = SaveGridStream(t);
    doc.AddGroup("L", "EVENT_NAME=L\r\n", 1, 1, 1, 1);
    doc.ScriptText = std::string("var N : pchar; I : integer;\r\nprocedure Main;\r\nbegin\r\n") +
                     body + "\r\nend;\r\n";
}

TEST(TfBuildVisual, BuildsThroughTheWindow) {
    App();
    TDocument doc;
    Prepare(doc, "for I := 1 to 50 do begin N := I; SendEvent('L', N); NewLine; end;");
    TfBuildVisual w("test");
    const BuildResult r = doc.Build(&w);
    ASSERT_EQ(r.Status, BuildStatus::Built);
    EXPECT_EQ(doc.DocumentGrid().FindCell(0, 49)->Text, "50");
    EXPECT_TRUE(w.rowsLabel()->text().endsWith("51"));
    EXPECT_FALSE(w.isVisible());
}

TEST(TfBuildVisual, CancelStopsAnEndlessScript) {
    App();
    TDocument doc;
    Prepare(
        doc,
        "while 1 = 1 do begin N := I; I := I + 1; SendEvent('L', N); NewLine; StartRow(1); end;");
    TfBuildVisual w("test");
    QTimer::singleShot(150, &w, [&] { w.cancelButton()->click(); });
    const BuildResult r = doc.Build(&w);
    EXPECT_EQ(r.Status, BuildStatus::Stopped) << zentra::text::cp1251ToUtf8(r.Message);
}

// A look-up that watches the window while the deferred formulas are calculated: what the window
// shows, how far the animation got, and (from a given call on) a slow database.
class WatchingLookup : public zentra::script::FormulaLookup {
  public:
    explicit WatchingLookup(TfBuildVisual& w) : w_(w) {}
    bool Query(const std::string&, const std::string&, const std::string&, const std::string&,
               const std::vector<std::string>& params, int, std::string& value) override {
        ++calls;
        stages.push_back(w_.stageLabel()->text());
        visible = visible && w_.isVisible();
        frames.push_back(w_.animation()->frame());
        if (onCall) onCall(calls);
        if (delay.count()) std::this_thread::sleep_for(delay);
        value = params.empty() ? "" : params[0];
        return true;
    }
    int calls = 0;
    bool visible = true;
    QStringList stages;
    std::vector<int> frames;
    std::chrono::milliseconds delay{0};
    std::function<void(int)> onCall;

  private:
    TfBuildVisual& w_;
};

// rows lines of n | "=^LOOK(An)", the look-up calculated after the build; with immediate, a
// third cell "=^NOW(An)" is calculated as the line is output, while the script runs.
void PrepareDeferred(TDocument& doc, int rows, bool immediate = false) {
    TKelvoGrid t;
    t.CreateCell(0, 0).Text = "[@N]";
    TCellData& c = t.CreateCell(1, 0);
    c.Text = "=^LOOK(A1)";
    t.SetFormatProperty(c, EFormatKind::Options, kOptCalcAfterBuild);
    if (immediate) t.CreateCell(2, 0).Text = "=^NOW(A1)";
    doc.PrintForm = SaveGridStream(t);
    doc.ClearGroups();
    doc.AddGroup("L", "EVENT_NAME=L\r\n", 1, 1, immediate ? 3 : 2, 1);
    doc.ScriptText = "var N : pchar; I : integer;\r\nprocedure Main;\r\nbegin\r\nfor I := 1 to " +
                     std::to_string(rows) +
                     " do begin N := I; SendEvent('L', N); NewLine; end;\r\nend;\r\n";
}

TEST(TfBuildVisual, ShowsTheFormulaStepWhileDeferredFormulasAreCalculated) {
    App();
    const QString building = QStringLiteral("Идет процесс формирования отчета...");
    const QString formulas = QStringLiteral("Производится вычисление функций в ячейках");
    TDocument doc;
    TfBuildVisual w("test");
    WatchingLookup lookup(w);
    doc.Lookup = &lookup;
    // Twice through one window: the second build starts with the script's text again.
    for (int round = 0; round < 2; ++round) {
        PrepareDeferred(doc, 30, true);
        lookup.calls = 0;
        lookup.stages.clear();
        const BuildResult r = doc.Build(&w);
        ASSERT_EQ(r.Status, BuildStatus::Built) << zentra::text::cp1251ToUtf8(r.Message);
        EXPECT_EQ(r.Next, BuildNextStep::ShowChild);
        ASSERT_EQ(lookup.calls, 60);
        EXPECT_TRUE(lookup.visible);
        // the 30 immediate look-ups ran during the script, the 30 deferred ones after it
        for (int i = 0; i < 60; ++i)
            EXPECT_EQ(lookup.stages[i], i < 30 ? building : formulas) << "call " << i;
        EXPECT_EQ(doc.DocumentGrid().FindCell(1, 29)->Text, "30");
        EXPECT_EQ(doc.DocumentGrid().FindCell(2, 29)->Text, "30");
        EXPECT_FALSE(w.isVisible());
    }
}

// A fault that is no run-time error of the script (here a look-up raising something of its own)
// cannot unwind through the window's event loop: it reaches the caller of Build once the window
// has closed, and both the window and the document build again afterwards.
TEST(TfBuildVisual, AFaultInsideTheRunReachesTheCallerAfterTheWindowCloses) {
    App();
    struct Fault {};
    TDocument doc;
    TfBuildVisual w("test");
    WatchingLookup lookup(w);
    lookup.onCall = [](int call) {
        if (call == 3) throw Fault{};
    };
    doc.Lookup = &lookup;
    PrepareDeferred(doc, 5);
    EXPECT_THROW(doc.Build(&w), Fault);
    EXPECT_FALSE(w.isVisible());
    lookup.onCall = nullptr;
    const BuildResult r = doc.Build(&w);
    EXPECT_EQ(r.Status, BuildStatus::Built) << zentra::text::cp1251ToUtf8(r.Message);
}

TEST(TfBuildVisual, CancelDuringFormulasStopsThemAndTheBuildShowsNothing) {
    App();
    TDocument doc;
    constexpr int kRows = 400;
    PrepareDeferred(doc, kRows);
    TfBuildVisual w("test");
    WatchingLookup lookup(w);
    lookup.delay = std::chrono::milliseconds(2);
    // The click can only arrive if the step lets the window's messages through.
    lookup.onCall = [&](int call) {
        if (call == 1) QTimer::singleShot(60, &w, [&] { w.cancelButton()->click(); });
    };
    doc.Lookup = &lookup;
    const BuildResult r = doc.Build(true, &w);
    EXPECT_EQ(r.Status, BuildStatus::Stopped);
    EXPECT_EQ(r.Next, BuildNextStep::Nothing);
    EXPECT_GT(lookup.calls, 10);
    EXPECT_LT(lookup.calls, kRows);
    // formulas stop at the next check after the click: the rest keep their formula text
    EXPECT_EQ(lookup.calls % TPrintDocEngine::kFormulasPerCheck, 0);
    const TCellData* next = doc.DocumentGrid().FindCell(1, lookup.calls);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->Text.substr(0, 6), "= ^LOO");
    EXPECT_EQ(doc.DocumentGrid().FindCell(1, lookup.calls - 1)->Text,
              std::to_string(lookup.calls));
}

TEST(TfBuildVisual, AnimationMovesWhileTheBuildIsBusy) {
    App();
    TDocument doc;
    PrepareDeferred(doc, 100);
    TfBuildVisual w("test");
    WatchingLookup lookup(w);
    lookup.delay = std::chrono::milliseconds(5);
    doc.Lookup = &lookup;
    ASSERT_EQ(doc.Build(&w).Status, BuildStatus::Built);
    ASSERT_EQ(lookup.frames.size(), 100u);
    // about half a second of formulas at 80 ms a frame
    EXPECT_GE(lookup.frames.back() - lookup.frames.front(), 3);
}

TEST(TBuildAnimation, FramesAdvanceAndPaintDifferently) {
    App();
    TBuildAnimation a;
    a.resize(a.sizeHint());
    a.show();
    const int start = a.frame();
    const QImage first = a.grab().toImage();
    QEventLoop wait;
    QTimer::singleShot(TBuildAnimation::kFrameMs * 4, &wait, &QEventLoop::quit);
    wait.exec();
    EXPECT_GE(a.frame(), start + 2);
    const QImage later = a.grab().toImage();
    EXPECT_NE(first, later);
    // the same frame paints the same picture: the picture follows the frame, not the clock
    EXPECT_EQ(later, a.grab().toImage());
}

}  // namespace
