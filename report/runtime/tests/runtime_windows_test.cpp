// ShowMessage, StartVisual and StopVisual in a Qt process: on the offscreen platform they keep
// their standard-error forms unless the test switch of RuntimeUi.so forces windows; with it,
// the message box and the progress windows are checked as the user would see them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <thread>
#include <vector>

#include "rtl_source.h"
#include "runtime_loader.h"
#include "runtime_ui.h"
#include "script.h"
#include "support/test_support.h"

using namespace kelvo::testing;

namespace {

// One application for the whole binary, never destroyed: destroying it from static destructors
// at exit races with Qt's own clean-up.
QApplication& app() {
    static int argc = 1;
    static char name[] = "runtime_windows_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

// The same RuntimeUi.so that Runtime.lib loads (one copy per process), for its test switch.
const KrUiApiV1& ui() {
    static const KrUiApiV1* api = [] {
        const std::string path = (zentra::testing::buildDir() / "bin" / "RuntimeUi.so").string();
        void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
            std::abort();
        }
        auto getApi = reinterpret_cast<const void* (*)(int32_t)>(dlsym(lib, "KrUi_GetApi"));
        return static_cast<const KrUiApiV1*>(getApi ? getApi(KR_UI_API_VERSION) : nullptr);
    }();
    if (!api) std::abort();
    return *api;
}

// Forces windows for one test and takes the switch back afterwards.
struct ForcedWindows {
    ForcedWindows() { ui().force_windows(1); }
    ~ForcedWindows() {
        ui().force_windows(0);
        RT(Kr_EndRun)();
    }
};

// The visible progress windows with their message texts.
std::vector<QString> progressMessages() {
    std::vector<QString> out;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || !w->inherits("zentra::popups::ProgressWindow")) continue;
        const auto labels = w->findChildren<QLabel*>();
        EXPECT_FALSE(labels.isEmpty());
        if (!labels.isEmpty()) out.push_back(labels.first()->text());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Closes a modal window left open by a failing test, so that the binary ends instead of hanging.
// The timer dies with the guard, so it never fires into a later test.
struct StrayModalGuard {
    QObject context;
    bool found = false;
    StrayModalGuard() {
        QTimer::singleShot(2000, &context, [this] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                found = true;
                w->close();
            }
        });
    }
};

TEST(RuntimeWindows, WithoutADisplayMessagesStayOnStandardErrorAndNothingWaits) {
    app();
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    EXPECT_EQ(ui().available(), 0) << "offscreen is no display";
    StrayModalGuard stray;

    ::testing::internal::CaptureStderr();
    RT(ShowMessage)(cp("Отчёт готов").c_str(), cp("Внимание").c_str());
    const int32_t h = RT(StartVisual)(cp("Идёт расчёт").c_str());
    const std::string err = ::testing::internal::GetCapturedStderr();

    EXPECT_FALSE(stray.found);
    EXPECT_NE(err.find("Внимание: Отчёт готов"), std::string::npos) << err;
    EXPECT_NE(err.find("Идёт расчёт"), std::string::npos) << err;
    EXPECT_TRUE(progressMessages().empty());
    ASSERT_GT(h, 0);
    RT(StopVisual)(h);
    EXPECT_EQ(lastError(), "");
}

TEST(RuntimeWindows, ShowMessageShowsAModalBoxWithTitleAsCaption) {
    app();
    ForcedWindows forced;
    struct Seen {
        bool modal = false;
        QString caption, text;
    } seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen.modal = box->isModal() && box->isVisible();
        seen.caption = box->windowTitle();
        seen.text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    StrayModalGuard stray;

    ::testing::internal::CaptureStderr();
    RT(ShowMessage)(cp("Итого по отчёту: 12 строк").c_str(), cp("Внимание").c_str());
    const std::string err = ::testing::internal::GetCapturedStderr();

    EXPECT_FALSE(stray.found) << "the box did not close with its button";
    EXPECT_TRUE(seen.modal);
    EXPECT_EQ(seen.caption, QStringLiteral("Внимание"));
    EXPECT_EQ(seen.text, QStringLiteral("Итого по отчёту: 12 строк"));
    EXPECT_EQ(err.find("Итого"), std::string::npos) << "the windowed form is not also a line";
    EXPECT_EQ(lastError(), "");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(RuntimeWindows, StopVisualClosesItsWindowAndEndRunClosesTheRest) {
    app();
    ForcedWindows forced;
    ::testing::internal::CaptureStderr();
    const int32_t first = RT(StartVisual)(cp("Идёт расчёт").c_str());
    const int32_t second = RT(StartVisual)(cp("Загрузка остатков").c_str());
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_GT(first, 0);
    ASSERT_GT(second, first);
    EXPECT_EQ(err.find("Идёт расчёт"), std::string::npos) << err;
    EXPECT_EQ(progressMessages(), (std::vector<QString>{QStringLiteral("Загрузка остатков"),
                                                        QStringLiteral("Идёт расчёт")}));
    // Not modal: the build window's cancel button stays usable while a script shows progress.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    RT(StopVisual)(first);
    EXPECT_EQ(lastError(), "");
    EXPECT_EQ(progressMessages(), (std::vector<QString>{QStringLiteral("Загрузка остатков")}));

    RT(Kr_EndRun)();
    EXPECT_TRUE(progressMessages().empty()) << "Kr_EndRun closes what the script left open";
    RT(StopVisual)(second);
    EXPECT_NE(lastError(), "") << "the handle is stale after the end of the run";
}

TEST(RuntimeWindows, OffTheApplicationThreadNothingTouchesWidgets) {
    app();
    ForcedWindows forced;
    std::string err;
    int32_t h = 0;
    std::thread worker([&] {
        ::testing::internal::CaptureStderr();
        RT(ShowMessage)(cp("Из потока").c_str(), cp("Сообщение").c_str());
        h = RT(StartVisual)(cp("Расчёт в потоке").c_str());
        err = ::testing::internal::GetCapturedStderr();
        RT(StopVisual)(h);
    });
    worker.join();
    EXPECT_NE(err.find("Сообщение: Из потока"), std::string::npos) << err;
    EXPECT_NE(err.find("Расчёт в потоке"), std::string::npos) << err;
    EXPECT_GT(h, 0);
    EXPECT_TRUE(progressMessages().empty());
}

// The whole road: a report script calls the library's routines through the machine; the
// progress window it leaves open is closed when the run ends (the machine's Kr_EndRun).
TEST(RuntimeWindows, AReportScriptShowsBothWindowsAndTheEndOfTheRunClosesTheProgress) {
    app();
    ForcedWindows forced;
    zentra::script::Script script;
    script.librarySource = std::string(zentra::script::rtlSource());
    script.libraryDirectory = (zentra::testing::buildDir() / "bin").string() + "/";
    script.source =
        cp("var h : integer;\n"
           "procedure Main;\n"
           "begin\n"
           "  ShowMessage('Данные загружены', 'Отчёт по остаткам');\n"
           "  h := StartVisual('Подготовка данных');\n"
           "  SendEvent('OPEN');\n"
           "end;\n");
    std::string errors;
    script.onError = [&](int kind, const std::string& text, int, int) {
        if (kind == 0) errors += utf8(text.c_str());
    };
    QString caption, text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        caption = box->windowTitle();
        text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    std::vector<QString> openDuringRun;
    script.onSendEvent = [&](std::string_view, std::span<const zentra::script::EventArg>,
                             std::string&) { openDuringRun = progressMessages(); };
    StrayModalGuard stray;

    EXPECT_EQ(script.run(), zentra::script::RunStatus::Finished) << errors;
    EXPECT_FALSE(stray.found);
    EXPECT_EQ(caption, QStringLiteral("Отчёт по остаткам"));
    EXPECT_EQ(text, QStringLiteral("Данные загружены"));
    EXPECT_EQ(openDuringRun, (std::vector<QString>{QStringLiteral("Подготовка данных")}));
    EXPECT_TRUE(progressMessages().empty()) << "the end of the run closes the progress window";
}

}  // namespace
