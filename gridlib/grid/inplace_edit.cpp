#include "inplace_edit.h"

#include <QApplication>
#include <QKeyEvent>

#include "dbgrid_ex.h"

namespace zentra::grid {

InplaceEdit::InplaceEdit(DBGridEx* grid, QWidget* parent) : QLineEdit(parent), grid_(grid) {
    setObjectName(QStringLiteral("FEdit"));
    setFrame(false);
}

QString InplaceEdit::editorText() const {
    return inputMask().isEmpty() ? text() : displayText();
}

void InplaceEdit::keyPressEvent(QKeyEvent* e) {
    bool handled = false;
    grid_->editorKey(e, handled);
    if (!handled) QLineEdit::keyPressEvent(e);
}

}  // namespace zentra::grid

namespace zentra::grid {

// Focus leaving for another control is leaving the grid: the edit is committed. Focus going to
// the grid itself or to one of the drop-down popups is not.
void InplaceEdit::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    if (e->reason() == Qt::PopupFocusReason) return;
    // The popups are windows of their own owned by the grid, so walk the parents across windows.
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        if (w == grid_) return;
    }
    grid_->editorLostFocus(this);
}

}  // namespace zentra::grid
