#include "main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>

#include "database.h"
#include "qt_ui.h"
#include "setup_dialog.h"

namespace zentra::app {

TfMain::TfMain(db::Database& db, ProgramFolders folders, UserInterface& ui, QWidget* parent)
    : QMainWindow(parent), db_(db), folders_(std::move(folders)), ui_(ui) {
    setObjectName("fMain");
    openDatabase();
    auto* service = menuBar()->addMenu(QStringLiteral("Сервис"));
    auto* aSetup = service->addAction(QStringLiteral("Настройки..."));
    aSetup->setObjectName("aSetup");
    connect(aSetup, &QAction::triggered, this, &TfMain::aSetupExecute);
    auto* aExit = service->addAction(QStringLiteral("Выход"));
    connect(aExit, &QAction::triggered, this, &QWidget::close);
    auto* body = new QLabel(QStringLiteral("Каталог товаров"), this);
    body->setAlignment(Qt::AlignCenter);
    setCentralWidget(body);
    resize(900, 600);
}

TfMain::~TfMain() = default;

void TfMain::openDatabase() {
    if (db_.isOpen()) db_.close();
    db::ConnectParams p;
    p.database = folders_.database().string();
    db_.open(p);
    trMain_ = std::make_unique<db::Transaction>(db_);
    trMain_->start();
    formSection_ = "MainClient";
    // The catalogue-editing controls of the supplier's edition are not part of this program,
    // so the client menu is the only one there is.
}

void TfMain::aSetupExecute() {
    TfSetup dialog(db_, folders_, this);
    dialog.exec();
}

void TfMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (splash_) {
        splash_->close();
        splash_->deleteLater();
        splash_ = nullptr;
    }
}

void TfMain::closeEvent(QCloseEvent* event) {
    if (!ui_.ask("Вы действительно хотите закрыть программу?")) {
        event->ignore();
        return;
    }
    // The per-user form settings store arrives with the form settings work; until then the
    // window layout is not saved.
    event->accept();
}

}  // namespace zentra::app
