#include "pick_list_popup.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QScreen>
#include <QVBoxLayout>

#include "calendar_model.h"

namespace zentra::popups {

PickListPopup::PickListPopup(QWidget* owner, const QRect& anchor, int minWidth, int rows,
                             const QStringList& items, Chosen chosen)
    : QFrame(owner, Qt::Popup | Qt::FramelessWindowHint),
      anchor_(anchor),
      minWidth_(minWidth),
      rows_(rows),
      onChosen_(std::move(chosen)) {
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(1, 1, 1, 1);
    list_ = new QListWidget(this);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setUniformItemSizes(true);
    list_->addItems(items);
    for (int i = 0; i < list_->count(); ++i) {
        list_->item(i)->setSizeHint(QSize(0, kPickListItemHeight));
    }
    list_->viewport()->installEventFilter(this);
    list_->installEventFilter(this);
    lay->addWidget(list_);
}

void PickListPopup::popup(const QString& current) {
    int widest = 0;
    const QFontMetrics fm(list_->font());
    for (int i = 0; i < list_->count(); ++i) {
        widest = std::max(widest, fm.horizontalAdvance(list_->item(i)->text()) + 8);
    }
    const QScreen* screen = QGuiApplication::screenAt(anchor_.topLeft());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const int screenBottom = screen ? screen->geometry().bottom() + 1 : 1 << 20;
    const PopupRect r = pickListRect(anchor_.left(), anchor_.top(), minWidth_, anchor_.bottom() + 1,
                                     rows_, list_->count(), widest, screenBottom);
    setGeometry(r.left, r.top, r.width, r.height);
    const auto found = list_->findItems(current, Qt::MatchExactly);
    list_->setCurrentRow(found.isEmpty() ? 0 : list_->row(found.first()));
    show();
    list_->setFocus();
}

void PickListPopup::chooseSelected() {
    QListWidgetItem* it = list_->currentItem();
    if (!it) return;
    chosen_ = true;
    chosenText_ = it->text();
    hide();
    if (onChosen_) onChosen_(chosenText_);
}

bool PickListPopup::eventFilter(QObject* o, QEvent* e) {
    if (o == list_->viewport() && e->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (QListWidgetItem* it = list_->itemAt(me->position().toPoint())) {
            list_->setCurrentItem(it);
            chooseSelected();
            return true;
        }
    }
    if (o == list_ && e->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent*>(e));
        return e->isAccepted();
    }
    return QFrame::eventFilter(o, e);
}

void PickListPopup::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            chooseSelected();
            e->accept();
            return;
        case Qt::Key_Escape:
            hide();
            e->accept();
            return;
        default:
            e->ignore();
    }
}

}  // namespace zentra::popups
