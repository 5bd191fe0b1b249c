#include "progress_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace zentra::popups {

ProgressWindow::ProgressWindow(const QString& message, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowModality(Qt::ApplicationModal);
    auto* lay = new QVBoxLayout(this);
    message_ = new QLabel(message, this);
    auto* bar = new QProgressBar(this);
    bar->setRange(0, 0);  // busy: the length of the work is not known
    elapsed_ = new QLabel(this);
    lay->addWidget(message_);
    lay->addWidget(bar);
    lay->addWidget(elapsed_);
    clock_.start();
    auto* t = new QTimer(this);
    connect(t, &QTimer::timeout, this, &ProgressWindow::tick);
    t->start(500);
    tick();
    setFixedWidth(320);
}

QString ProgressWindow::message() const {
    return message_->text();
}

void ProgressWindow::tick() {
    const qint64 s = clock_.elapsed() / 1000;
    elapsed_->setText(QStringLiteral("Прошло времени: %1:%2")
                          .arg(s / 60, 2, 10, QLatin1Char('0'))
                          .arg(s % 60, 2, 10, QLatin1Char('0')));
}

void ProgressWindow::closeEvent(QCloseEvent* e) {
    e->ignore();
}

ProgressWindow* showProgress(const QString& message, QWidget* parent) {
    auto* w = new ProgressWindow(message, parent);
    w->show();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return w;
}

void closeProgress(ProgressWindow* w) {
    if (!w) return;
    w->hide();
    delete w;
}

ProgressScope::ProgressScope(const QString& message, QWidget* parent)
    : w_(showProgress(message, parent)) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

ProgressScope::~ProgressScope() {
    QApplication::restoreOverrideCursor();
    closeProgress(w_);
}

}  // namespace zentra::popups
