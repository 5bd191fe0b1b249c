// The run-time error window: its texts, and that it closes with Esc and with its button when
// shown modally by the machine.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "script.h"
#include "text/cp1251.h"
#include "ui/vm_error_window.h"

namespace {

// One application for the whole binary, never destroyed: destroying it from static destructors
// at exit races with Qt's own clean-up.
QApplication& app() {
    static int argc = 1;
    static char name[] = "kelvo_script_ui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

TEST(TfVMError, ShowsTheMachineStateText) {
    app();
    TfVMError w;
    w.setMessage(zentra::text::utf8ToCp1251("Выход за пределы массива.\r* Command Number: 3"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Ошибка!"));
    EXPECT_EQ(w.title()->text(), QStringLiteral("Ошибка времени выполнения."));
    EXPECT_TRUE(w.title()->font().bold());
    EXPECT_TRUE(w.memo()->isReadOnly());
    EXPECT_EQ(w.memo()->font().family(), QStringLiteral("Courier New"));
    EXPECT_EQ(w.memo()->toPlainText(),
              QStringLiteral("Выход за пределы массива.\n* Command Number: 3"));
    EXPECT_EQ(w.closeButton()->text(), QStringLiteral("Закрыть"));
}

TEST(TfVMError, ARunTimeErrorOpensItModallyAndEscClosesIt) {
    app();
    TfVMError w;
    zentra::script::Script script;
    script.source =
        "var a : array of integer; x : integer;\nprocedure Main; begin x := a[-1] end;\n";
    script.machine().errorSink = &w;
    bool shown = false;
    QTimer::singleShot(0, [&] {
        shown = w.isVisible();
        QTest::keyClick(&w, Qt::Key_Escape);
    });
    EXPECT_EQ(script.run(), zentra::script::RunStatus::Error);
    EXPECT_TRUE(shown);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.memo()->toPlainText().endsWith(QStringLiteral("Command Name: GAV")));
}

TEST(TfVMError, CloseButtonEndsTheModalLoop) {
    app();
    TfVMError w;
    QTimer::singleShot(0, [&] { w.closeButton()->click(); });
    w.showRunTimeError("x");
    EXPECT_FALSE(w.isVisible());
}

}  // namespace
