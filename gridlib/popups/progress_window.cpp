#include "progress_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>
#include <QtMath>

namespace zentra::popups {

ProgressAnimation::ProgressAnimation(QWidget* parent) : QWidget(parent) {
    setFixedSize(sizeHint());
    clock_.start();
    timer_ = new QTimer(this);
    timer_->setInterval(kFrameMs);
    connect(timer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

int ProgressAnimation::frameAt(qint64 elapsedMs) {
    if (elapsedMs < 0) return 0;
    return static_cast<int>((elapsedMs / kFrameMs) % kFrames);
}

void ProgressAnimation::paintFrame(QPainter& p, const QRect& area, int frame) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QPointF centre = QRectF(area).center();
    const qreal radius = std::min(area.width(), area.height()) * 0.36;
    const qreal dot = std::min(area.width(), area.height()) * 0.08;
    for (int i = 0; i < kFrames; ++i) {
        // Dots behind the head fade out over a third of the ring; the rest stay pale.
        const int behind = (frame - i + kFrames) % kFrames;
        const int alpha = behind < 4 ? 255 - behind * 50 : 40;
        const qreal angle = 2 * M_PI * i / kFrames - M_PI / 2;
        const QPointF at(centre.x() + radius * std::cos(angle),
                         centre.y() + radius * std::sin(angle));
        p.setBrush(QColor(0, 84, 166, alpha));
        p.drawEllipse(at, behind == 0 ? dot * 1.3 : dot, behind == 0 ? dot * 1.3 : dot);
    }
    p.restore();
}

int ProgressAnimation::frame() const {
    return frameAt(clock_.elapsed());
}

bool ProgressAnimation::running() const {
    return timer_->isActive();
}

void ProgressAnimation::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintFrame(p, rect(), frame());
}

void ProgressAnimation::showEvent(QShowEvent*) {
    timer_->start();
}

void ProgressAnimation::hideEvent(QHideEvent*) {
    timer_->stop();  // nothing to animate while nobody sees it
}

ProgressWindow::ProgressWindow(const QString& message, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowModality(Qt::ApplicationModal);
    auto* lay = new QHBoxLayout(this);
    animation_ = new ProgressAnimation(this);
    auto* texts = new QVBoxLayout;
    message_ = new QLabel(message, this);
    message_->setWordWrap(true);
    elapsed_ = new QLabel(this);
    texts->addWidget(message_);
    texts->addWidget(elapsed_);
    lay->addWidget(animation_, 0, Qt::AlignTop);
    lay->addLayout(texts, 1);
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
