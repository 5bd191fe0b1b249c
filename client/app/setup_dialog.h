// The settings dialog: proxy, Internet check and mail server. Filled when shown, written back
// only by OK.
#pragma once

#include <QDialog>

#include "app_services.h"

class QCheckBox;
class QLineEdit;

namespace zentra::db {
class Database;
}

namespace zentra::app {

class TfSetup : public QDialog {
    Q_OBJECT
public:
    TfSetup(db::Database& db, ProgramFolders folders, QWidget* parent = nullptr);

    // The OK action: writes every field to the ini file and setting 8.
    void aOkExecute();

private:
    void load();
    db::Database& db_;
    ProgramFolders folders_;
    QCheckBox* cbUseProxy_;
    QLineEdit* eProxyHost_;
    QLineEdit* eProxyPort_;
    QCheckBox* cbCheckInternet_;
    QCheckBox* cbMailAuth_;
    QLineEdit* eMailHost_;
    QLineEdit* eMailPort_;
    QLineEdit* eMailUser_;
    QLineEdit* eMailPassword_;
};

}  // namespace zentra::app
