#include "qt_ui.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

namespace zentra::app {

namespace {
QString lines(const std::string& s) {
    QString t = QString::fromUtf8(s.data(), static_cast<int>(s.size()));
    t.replace("\r\n", "\n");
    t.replace('\r', '\n');
    return t;
}
}  // namespace

void QtUserInterface::message(const std::string& caption, const std::string& text) {
    QMessageBox::critical(QApplication::activeWindow(), lines(caption), lines(text));
}

bool QtUserInterface::ask(const std::string& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Подтверждение"), lines(text),
                    QMessageBox::NoButton, QApplication::activeWindow());
    QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    box.exec();
    return box.clickedButton() == yes;
}

void QtUserInterface::wait(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(20, milliseconds - timer.elapsed())));
    }
}

}  // namespace zentra::app
