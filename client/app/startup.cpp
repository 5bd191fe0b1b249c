#include "startup.h"

#include <QApplication>

#include "database.h"
#include "error_application.h"
#include "error_report.h"
#include "main_window.h"
#include "qt_ui.h"
#include "settings.h"
#include "settings_table.h"
#include "os/single_instance.h"
#include "splash_window.h"

namespace zentra::app {

struct ZentraProgram::Lock {
    os::SingleInstanceLock lock;
};

ZentraProgram::ZentraProgram(StartupOptions options)
    : options_(std::move(options)),
      folders_(resolveFolders(options_.home)),
      db_(std::make_unique<db::Database>()),
      lock_(std::make_unique<Lock>()) {}

ZentraProgram::~ZentraProgram() {
    main_.reset();  // the window's statements go before the connection
    db_.reset();
}

int ZentraProgram::run(gridlib::ErrorApplication& app) {
    UserInterface& ui = *options_.ui;
    // 1-2. One instance per program folder.
    if (!lock_->lock.acquire(folders_.home / "ZentraCat.lock")) {
        outcome_ = StartupOutcome::SecondInstance;
        ui.message("Ошибка", kSecondInstanceText);
        return 1;
    }
    // 3. Every unhandled error from now on goes to the reporter.
    reporter_ = std::make_shared<gridlib::ErrorReporter>(folders_.home / "error_log.xml",
                                                         options_.errorUi);
    app.installErrorHandler(reporter_);
    // 4. The title until the catalogue name replaces it.
    app.setApplicationDisplayName(QString::fromUtf8(kApplicationTitle));

    // 5. The main window; creating it opens the database.
    try {
        main_ = std::make_unique<TfMain>(*db_, folders_, ui);
    } catch (const std::exception& e) {
        outcome_ = StartupOutcome::OpenFailed;
        reporter_->report(e, {}, "TfMain", {});
        return 1;
    }

    // 6. The structure version must be the one this program knows.
    std::string version;
    try {
        version = readConst(*db_, catalogue::setting::kStructureVersion, false);
    } catch (const std::exception& e) {
        reporter_->report(e, {}, "TfMain", {});
    }
    if (version != catalogue::kStructureVersion) {
        outcome_ = StartupOutcome::WrongVersion;
        ui.message("Внимание", kWrongVersionText);
        main_.reset();
        return 1;
    }

    // 7. The splash window.
    std::unique_ptr<TfSplash> splash;
    try {
        splash = std::make_unique<TfSplash>(*db_, folders_, [&](const std::string& text) {
            reporter_->report(std::runtime_error(text), {}, "TfSplash", {});
        });
    } catch (const std::exception& e) {
        reporter_->report(e, {}, "TfSplash", {});
    }
    ui.wait(1000);

    // 8. A waiting installer of the next version takes over.
    const auto programFile = executableFolder() / "Zentra";
    if (checkAppUpdate(folders_, programVersion(), programFile, options_.launcher)) {
        outcome_ = StartupOutcome::InstallerStarted;
        main_.reset();
        return 0;
    }

    // 9. Splash, a last wait, then the main window and the loop.
    if (splash) {
        splash->show();
        QApplication::processEvents();
    }
    ui.wait(2000);
    if (splash) main_->setSplash(splash.release());
    main_->show();
    outcome_ = StartupOutcome::Running;
    if (!options_.enterLoop) return 0;
    return app.exec();
}

}  // namespace zentra::app
