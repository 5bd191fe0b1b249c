// The start of Zentra: one instance per program folder, the error reporter, the main window
// (which opens the database), the structure version check, the splash window, a waiting
// program installer, then the message loop.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app_services.h"

namespace zentra::db {
class Database;
}
namespace zentra::gridlib {
class ErrorApplication;
class ErrorUi;
class ErrorReporter;
}  // namespace zentra::gridlib

namespace zentra::app {

class UserInterface;
class TfMain;
class TfSplash;

inline constexpr const char* kApplicationTitle = "\"Система заказа товара\" ";
inline constexpr const char* kSecondInstanceText = "Программа \"Система заказа товара\" уже загружена!";
inline constexpr const char* kWrongVersionText =
    "Ваше рабочее место не соответствует версии базы данных.\r"
    "Обратитесь к разработчику для получения корректной версии программы!\r"
    "Программа будет закрыта.";

struct StartupOptions {
    std::filesystem::path home;         // --home; empty: ZENTRA_HOME or the executable's folder
    UserInterface* ui = nullptr;        // questions, messages, waits
    gridlib::ErrorUi* errorUi = nullptr;  // the reporter's dialogs
    InstallerLauncher launcher;         // starts a waiting installer
    bool enterLoop = true;              // false: stop after showing the main window (tests)
};

enum class StartupOutcome {
    SecondInstance,
    OpenFailed,
    WrongVersion,
    InstallerStarted,
    Running,   // the main window is shown (and the loop ran, when asked)
};

class ZentraProgram {
public:
    explicit ZentraProgram(StartupOptions options);
    ~ZentraProgram();

    // Runs the start-up steps and, when asked, the message loop; returns the exit code.
    int run(gridlib::ErrorApplication& app);

    StartupOutcome outcome() const { return outcome_; }
    TfMain* mainWindow() const { return main_.get(); }
    const ProgramFolders& folders() const { return folders_; }
    db::Database& database() { return *db_; }

private:
    StartupOptions options_;
    ProgramFolders folders_;
    std::unique_ptr<db::Database> db_;
    std::unique_ptr<TfMain> main_;
    std::shared_ptr<gridlib::ErrorReporter> reporter_;
    StartupOutcome outcome_ = StartupOutcome::OpenFailed;
    struct Lock;
    std::unique_ptr<Lock> lock_;
};

}  // namespace zentra::app
