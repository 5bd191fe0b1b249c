#include "inplace_edit.h"

#include <QKeyEvent>

#include "dbgrid_ex.h"

namespace zentra::grid {

InplaceEdit::InplaceEdit(DBGridEx* grid, QWidget* parent) : QLineEdit(parent), grid_(grid) {
    setObjectName(QStringLiteral("FEdit"));
    setFrame(false);
}

QString InplaceEdit::editorText() const { return inputMask().isEmpty() ? text() : displayText(); }

void InplaceEdit::keyPressEvent(QKeyEvent* e) {
    bool handled = false;
    grid_->editorKey(e, handled);
    if (!handled) QLineEdit::keyPressEvent(e);
}

}  // namespace zentra::grid
