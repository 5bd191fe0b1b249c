#include "splash_window.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>

#include "app_services.h"
#include "settings.h"
#include "settings_table.h"

namespace zentra::app {

QPixmap TfSplash::builtInPicture() {
    // Drawn rather than shipped: one less binary file, and it scales with the text.
    QPixmap pm(480, 280);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 0, 280);
    g.setColorAt(0, QColor(0x1F, 0x4E, 0x79));
    g.setColorAt(1, QColor(0x2E, 0x75, 0xB6));
    p.fillRect(pm.rect(), g);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPointSize(22);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 80, 480, 60), Qt::AlignCenter, QStringLiteral("Система заказа товара"));
    f.setPointSize(11);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(0, 150, 480, 30), Qt::AlignCenter, QStringLiteral("Zentra ") +
                                                           QString::fromStdString(programVersion()));
    p.drawText(QRect(0, 230, 480, 30), Qt::AlignCenter, QStringLiteral("Загрузка..."));
    return pm;
}

TfSplash::TfSplash(db::Database& db, const ProgramFolders& folders,
                   const std::function<void(const std::string&)>& onPictureError)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName("fSplash");
    picture_ = builtInPicture();
    const std::string name = readSetting(db, catalogue::setting::kSplashPicture);
    if (name != "ZentraLogo.png") {
        const auto file = folders.home / name;
        QPixmap custom;
        if (!name.empty() && custom.load(QString::fromStdString(file.string()))) {
            picture_ = custom;
            builtIn_ = false;
        } else if (onPictureError) {
            onPictureError("Не удалось загрузить картинку заставки " + file.string());
        }
    }
    setFixedSize(picture_.size());
}

TfSplash::~TfSplash() {
    if (cursorSet_) QApplication::restoreOverrideCursor();
}

void TfSplash::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, picture_);
}

void TfSplash::showEvent(QShowEvent*) {
    if (!cursorSet_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        cursorSet_ = true;
    }
}

void TfSplash::hideEvent(QHideEvent*) {
    if (cursorSet_) {
        QApplication::restoreOverrideCursor();
        cursorSet_ = false;
    }
}

}  // namespace zentra::app
