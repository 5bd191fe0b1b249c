// The main window of the client. For now a shell around the catalogue database: it opens the
// database when created, offers the settings dialog and asks before closing. The catalogue
// browser fills its body later through setCentralWidget.
#pragma once

#include <QMainWindow>
#include <memory>

#include "app_services.h"

namespace zentra::db {
class Database;
class Transaction;
}  // namespace zentra::db

namespace zentra::app {

class UserInterface;

class TfMain : public QMainWindow {
    Q_OBJECT
public:
    // Opens the database of the program folder; throws db::DbError when it cannot.
    TfMain(db::Database& db, ProgramFolders folders, UserInterface& ui, QWidget* parent = nullptr);
    ~TfMain() override;

    db::Database& database() { return db_; }
    db::Transaction& trMain() { return *trMain_; }
    const ProgramFolders& folders() const { return folders_; }
    const std::string& formSection() const { return formSection_; }

    // The splash window to close when this window is first shown.
    void setSplash(QWidget* splash) { splash_ = splash; }

public slots:
    void aSetupExecute();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void openDatabase();

    db::Database& db_;
    ProgramFolders folders_;
    UserInterface& ui_;
    std::unique_ptr<db::Transaction> trMain_;
    std::string formSection_;
    QWidget* splash_ = nullptr;
};

}  // namespace zentra::app
