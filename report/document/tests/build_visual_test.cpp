// The build window: a build through it fills the document; "Отмена" stops a script that
// would never end.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "build_visual.h"
#include "grid_stream.h"
#include "text/cp1251.h"

using namespace zentra::report;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "build_visual_test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    setlocale(LC_NUMERIC, "C");
    return app;
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

}  // namespace
