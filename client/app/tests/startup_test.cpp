// Start-up of the program on real program folders with a copied demo database; questions,
// messages and waits are answered by a recorder, so nothing blocks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>
#include <fstream>
#include <functional>

#include "crypt.h"
#include "text/cp1251.h"
#include "database.h"
#include "error_application.h"
#include "error_report.h"
#include "ini_file.h"
#include "main_window.h"
#include "qt_ui.h"
#include "settings.h"
#include "setup_dialog.h"
#include "startup.h"
#include "statement.h"
#include "support/test_support.h"

using namespace zentra;
using namespace zentra::app;
namespace fs = std::filesystem;

namespace {

gridlib::ErrorApplication* theApp = nullptr;

struct RecordingUi : UserInterface {
    std::vector<std::pair<std::string, std::string>> messages;
    std::vector<std::string> questions;
    bool answer = true;
    int waited = 0;
    void message(const std::string& caption, const std::string& text) override {
        messages.push_back({caption, text});
    }
    bool ask(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    void wait(int ms) override { waited += ms; }
};

struct RecordingErrors : gridlib::ErrorUi {
    std::vector<std::string> plain, windows;
    void showPlain(const std::string& t) override { plain.push_back(t); }
    void showWindow(const std::string& h, const std::vector<gridlib::ErrorWindowRow>& rows) override {
        windows.push_back(h + " | " + rows.back().value);
    }
};

class Startup : public ::testing::Test {
protected:
    void SetUp() override { zentra::testing::copyTemplateDatabase("demo", home); }
    StartupOptions options(bool loop = false) {
        StartupOptions o;
        o.home = home.path();
        o.ui = &ui;
        o.errorUi = &errors;
        o.enterLoop = loop;
        o.launcher = [this](const fs::path& f, const std::vector<std::string>&) {
            launched = f.filename().string();
            return true;
        };
        return o;
    }
    void setConst(int id, const std::string& value) {
        db::Database d;
        db::ConnectParams p;
        p.database = (home.path() / "Zentra.fdb").string();
        d.open(p);
        writeConst(d, id, value, false);
        d.defaultTransaction().commit();
    }
    zentra::testing::TempDir home;
    RecordingUi ui;
    RecordingErrors errors;
    std::string launched;
};

}  // namespace

TEST_F(Startup, ReachesTheMessageLoopAndAsksBeforeClosing) {
    ZentraProgram program(options(true));
    bool loopReached = false;
    // The start-up lets events through before the loop; act only once the main window is up,
    // and never let a failure leave the loop running.
    std::function<void()> onLoop = [&] {
        if (!program.mainWindow() || !program.mainWindow()->isVisible()) {
            QTimer::singleShot(10, onLoop);
            return;
        }
        loopReached = true;
        ASSERT_NE(program.mainWindow(), nullptr);
        EXPECT_TRUE(program.mainWindow()->isVisible());
        ui.answer = false;
        program.mainWindow()->close();  // "no": stays open
        EXPECT_TRUE(program.mainWindow()->isVisible());
        ui.answer = true;
        program.mainWindow()->close();
    };
    QTimer::singleShot(0, onLoop);
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QApplication::exit(3); });
    safety.start(20000);
    EXPECT_EQ(program.run(*theApp), 0);
    EXPECT_TRUE(loopReached);
    EXPECT_EQ(program.outcome(), StartupOutcome::Running);
    EXPECT_EQ(ui.questions, (std::vector<std::string>(2, "Вы действительно хотите закрыть программу?")));
    EXPECT_EQ(ui.waited, 3000);
    EXPECT_EQ(QApplication::applicationDisplayName(), QString::fromUtf8("\"Система заказа товара\" "));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(errors.windows.empty()) << errors.windows.front();
}

TEST_F(Startup, SecondInstanceOnTheSameFolderEnds) {
    ZentraProgram first(options());
    ASSERT_EQ(first.run(*theApp), 0);
    ZentraProgram second(options());
    EXPECT_EQ(second.run(*theApp), 1);
    EXPECT_EQ(second.outcome(), StartupOutcome::SecondInstance);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].first, "Ошибка");
    EXPECT_EQ(ui.messages[0].second, "Программа \"Система заказа товара\" уже загружена!");
    EXPECT_EQ(second.mainWindow(), nullptr);  // the database was never opened
}

TEST_F(Startup, WrongStructureVersionEndsAndTouchesNothing) {
    setConst(7, "2.0");
    const auto sizeBefore = fs::file_size(home.path() / "Zentra.fdb");
    long long rowsBefore;
    {
        db::Database d;
        d.open({(home.path() / "Zentra.fdb").string()});
        rowsBefore = db::Statement(d, "SELECT COUNT(*) FROM TCONST").executeScalar().toInt();
    }
    ZentraProgram program(options());
    EXPECT_EQ(program.run(*theApp), 1);
    EXPECT_EQ(program.outcome(), StartupOutcome::WrongVersion);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].first, "Внимание");
    EXPECT_EQ(ui.messages[0].second,
              "Ваше рабочее место не соответствует версии базы данных.\rОбратитесь к разработчику "
              "для получения корректной версии программы!\rПрограмма будет закрыта.");
    EXPECT_EQ(ui.waited, 0);  // no splash
    db::Database d;
    d.open({(home.path() / "Zentra.fdb").string()});
    EXPECT_EQ(db::Statement(d, "SELECT COUNT(*) FROM TCONST").executeScalar().toInt(), rowsBefore);
    EXPECT_EQ(fs::file_size(home.path() / "Zentra.fdb"), sizeBefore);
}

TEST_F(Startup, MissingDatabaseIsReportedAndTheLoopNotReached) {
    fs::remove(home.path() / "Zentra.fdb");
    ZentraProgram program(options());
    EXPECT_EQ(program.run(*theApp), 1);
    EXPECT_EQ(program.outcome(), StartupOutcome::OpenFailed);
    ASSERT_EQ(errors.windows.size(), 1u);
    EXPECT_TRUE(fs::exists(home.path() / "error_log.xml"));
}

TEST_F(Startup, WaitingInstallerTakesOver) {
    fs::create_directories(home.path() / "AppUpdates");
    std::ofstream(home.path() / "AppUpdates" / ("zt-upd-" + nextVersion(programVersion()) + ".exe")) << "x";
    ZentraProgram program(options());
    EXPECT_EQ(program.run(*theApp), 0);
    EXPECT_EQ(program.outcome(), StartupOutcome::InstallerStarted);
    EXPECT_EQ(launched, "zt-upd-" + nextVersion(programVersion()) + ".exe");
    EXPECT_EQ(program.mainWindow(), nullptr);
}

TEST_F(Startup, UnloadableSplashPictureIsReportedAndTheBuiltInOneUsed) {
    {
        db::Database d;
        d.open({(home.path() / "Zentra.fdb").string()});
        writeConst(d, 12, "missing.png", true);
    }
    ZentraProgram program(options());
    EXPECT_EQ(program.run(*theApp), 0);
    EXPECT_EQ(program.outcome(), StartupOutcome::Running);
    ASSERT_EQ(errors.windows.size(), 1u);
    EXPECT_NE(errors.windows[0].find("missing.png"), std::string::npos);
}

TEST_F(Startup, SettingsDialogWritesIniAndSettingOnOkOnly) {
    ZentraProgram program(options());
    ASSERT_EQ(program.run(*theApp), 0);
    {
        TfSetup dialog(program.database(), program.folders());
        EXPECT_TRUE(dialog.findChild<QCheckBox*>("cbCheckInternet")->isChecked());  // default "да"
        dialog.findChild<QCheckBox*>("cbUseProxy")->setChecked(true);
        dialog.findChild<QLineEdit*>("eProxyHost")->setText("прокси.пример");
        dialog.findChild<QLineEdit*>("eProxyPort")->setText("3128");
        dialog.findChild<QCheckBox*>("cbCheckInternet")->setChecked(false);
        dialog.findChild<QLineEdit*>("eMailPassword")->setText("пароль");
        dialog.reject();  // closing without OK writes nothing
    }
    EXPECT_FALSE(fs::exists(program.folders().ini()));
    {
        TfSetup dialog(program.database(), program.folders());
        dialog.findChild<QCheckBox*>("cbUseProxy")->setChecked(true);
        dialog.findChild<QLineEdit*>("eProxyHost")->setText("прокси.пример");
        dialog.findChild<QCheckBox*>("cbCheckInternet")->setChecked(false);
        dialog.findChild<QLineEdit*>("eMailPassword")->setText("пароль");
        dialog.aOkExecute();
    }
    const auto ini = program.folders().ini();
    EXPECT_EQ(readIni(ini, "Прокси-сервер", "Использовать прокси-сервер"), "да");
    EXPECT_EQ(readIni(ini, "Прокси-сервер", "Host"), "прокси.пример");
    const std::string stored = readIni(ini, "Отправка почты", "Пароль");
    EXPECT_NE(stored, "пароль");
    EXPECT_EQ(text::cp1251ToUtf8(cryptText(stored, CryptKey::Workstation, false)), "пароль");
    EXPECT_EQ(readConst(program.database(), 8, false), "нет");
    TfSetup again(program.database(), program.folders());
    EXPECT_EQ(again.findChild<QLineEdit*>("eMailPassword")->text(), QString::fromUtf8("пароль"));
    EXPECT_FALSE(again.findChild<QCheckBox*>("cbCheckInternet")->isChecked());
    // A damaged password shows as empty instead of failing the dialog.
    writeIni(ini, "Отправка почты", "Пароль", "not base64!");
    TfSetup damaged(program.database(), program.folders());
    EXPECT_TRUE(damaged.findChild<QLineEdit*>("eMailPassword")->text().isEmpty());
}

TEST(ErrorApplicationHook, ExceptionsInEventHandlersReachTheReporter) {
    struct Recorder : gridlib::ErrorUi {
        std::vector<std::string> plain;
        void showPlain(const std::string& t) override { plain.push_back(t); }
        void showWindow(const std::string&, const std::vector<gridlib::ErrorWindowRow>&) override {}
    } rec;
    zentra::testing::TempDir dir;
    theApp->installErrorHandler(std::make_shared<gridlib::ErrorReporter>(dir.file("error_log.xml"), &rec));
    QTimer::singleShot(0, [] { throw gridlib::EUserException("Неверное количество"); });
    QTimer::singleShot(10, [] { QApplication::quit(); });
    theApp->exec();
    EXPECT_EQ(rec.plain, std::vector<std::string>{"Неверное количество"});
    theApp->installErrorHandler(nullptr);
}

int main(int argc, char** argv) {
    // Without a display the tests (and their discovery at build time) run offscreen.
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    gridlib::ErrorApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(true);
    theApp = &app;
    return RUN_ALL_TESTS();
}
