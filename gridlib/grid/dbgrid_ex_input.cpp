// DBGridEx: keyboard, typed characters, mouse, wheel, scroll bars, the hint, the in-place editor
// with its drop-downs, and the two popup menus.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolButton>
#include <QToolTip>

#include "dbgrid_ex.h"
#include "grid_resources.h"
#include "inplace_edit.h"
#include "pick_list_popup.h"
#include "popup_calendar.h"

namespace zentra::grid {

namespace {

QString utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

// Shift, Ctrl, Alt and their kin are reported as keys of their own; alone they mean nothing to
// the grid (in particular they must not end auto-search, or every capital letter would).
bool isPureModifier(int key) {
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
        case Qt::Key_ScrollLock:
            return true;
        default:
            return false;
    }
}

// Navigation and editing keys (those whose classic key codes lie below the digit zero), which
// end auto-search. Space is typed text and does not.
bool endsAutoSearch(int key) {
    switch (key) {
        case Qt::Key_Backspace:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
        case Qt::Key_Pause:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_End:
        case Qt::Key_Home:
        case Qt::Key_Left:
        case Qt::Key_Up:
        case Qt::Key_Right:
        case Qt::Key_Down:
        case Qt::Key_Select:
        case Qt::Key_Print:
        case Qt::Key_Execute:
        case Qt::Key_SysReq:
        case Qt::Key_Insert:
        case Qt::Key_Delete:
        case Qt::Key_Help:
        case Qt::Key_Clear:
            return true;
        default:
            return false;
    }
}

bool blankDateText(const QString& t) {
    for (QChar c : t) {
        if (c.isDigit()) return false;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Keyboard

void DBGridEx::keyPressEvent(QKeyEvent* e) {
    if (isPureModifier(e->key())) return;
    guarded([&] {
        if (editing() && editColumn_ >= 0 && editColumn_ < columnCount() &&
            columns_[static_cast<size_t>(editColumn_)]->buttonStyle != EditButtonStyle::None) {
            return;
        }
        handleKey(e);
        const QString t = e->text();
        if (!t.isEmpty()) typedCharacter(t);
    });
}

void DBGridEx::handleKey(QKeyEvent* e) {
    const int key = e->key();
    const auto mods = e->modifiers();
    if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Space && editing()) {
        commitEditor();
    }
    if (endsAutoSearch(key)) clearAutoSearch();
    const int page = std::max(1, rowFit_.fit);
    auto firstVisible = [&](bool fromEnd) {
        for (int k = 0; k < columnCount(); ++k) {
            const int i = fromEnd ? columnCount() - 1 - k : k;
            if (columns_[static_cast<size_t>(i)]->visible()) return i;
        }
        return currentColumn_;
    };
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            setEditing(true);
            break;
        case Qt::Key_Up:
            moveRecord(-1);
            break;
        case Qt::Key_Down:
            moveRecord(1);
            break;
        case Qt::Key_PageUp:
            moveRecord(-page);
            break;
        case Qt::Key_PageDown:
            moveRecord(page);
            break;
        case Qt::Key_Left:
            setCurrentColumn(currentColumn_ - 1);
            break;
        case Qt::Key_Right:
            setCurrentColumn(currentColumn_ + 1);
            break;
        case Qt::Key_Home:
            if (mods & Qt::ControlModifier) {
                if (ds_ && ds_->isOpen()) ds_->first();
            } else {
                setCurrentColumn(firstVisible(false));
            }
            break;
        case Qt::Key_End:
            if (mods & Qt::ControlModifier) {
                if (ds_ && ds_->isOpen()) ds_->last();
            } else {
                setCurrentColumn(firstVisible(true));
            }
            break;
        case Qt::Key_Insert:
            if (!options_.has(GridOption::MultiSelect) || !ds_ || !ds_->isOpen()) break;
            if (mods & Qt::ControlModifier) {
                selectAllRecords();
            } else if (mods & Qt::ShiftModifier) {
                if (marks_.clear()) viewport()->update();
            } else {
                bool can = true;
                if (onCanMultiSelect) onCanMultiSelect(can);
                if (can) {
                    const data::Bookmark b = ds_->bookmark();
                    marks_.select(b, !marks_.isSelected(b));
                    viewport()->update();
                }
                moveRecord(1);
            }
            break;
        // F3 (find), F4 (filter) and F5 / Alt+F5 (sort) open the grid services, which come with
        // their own windows later; until then the keys do nothing.
        case Qt::Key_F7:
            insertRecord();
            break;
        case Qt::Key_F8:
            deleteRecord();
            break;
        default:
            break;
    }
}

void DBGridEx::typedCharacter(const QString& text) {
    const QChar ch = text.at(0);
    if (ch.unicode() < 0x20 || ch.unicode() == 0x7f) {
        clearAutoSearch();
        return;
    }
    if (options_.has(GridOption::EditOnEnter) || readOnly) {
        if (options_.has(GridOption::AutoSearching)) autoSearch(text);
        return;
    }
    if (editing()) return;
    setEditing(true);
    if (editor_ && !editor_->isPickList && editor_->inputMask().isEmpty()) {
        editor_->setText(text);
        editor_->setCursorPosition(static_cast<int>(text.size()));
    }
}

// ---------------------------------------------------------------------------------------------
// In-place editor

bool DBGridEx::editing() const {
    return editor_ != nullptr;
}

void DBGridEx::setEditing(bool on) {
    if (on) {
        openEditor();
    } else {
        commitEditor();
    }
}

bool DBGridEx::canEditCell(const GridColumn& c) const {
    if (readOnly || !ds_ || !ds_->isOpen() || c.readOnly) return false;
    const int f = c.field();
    if (f < 0) return false;
    const data::FieldDef& def = ds_->field(f);
    if (def.readOnly) return false;
    // Blobs are edited only when shown as text.
    if (def.kind == data::FieldKind::Memo && c.columnType == ColumnType::Blob) return false;
    return true;
}

void DBGridEx::openEditor() {
    if (editing() || columns_.empty() || !ds_ || !ds_->isOpen()) return;
    GridColumn& c = *columns_[static_cast<size_t>(currentColumn_)];
    if (!canEditCell(c) || (ds_->isEmpty() && ds_->state() != data::DataSetState::Insert)) return;
    ds_->edit();
    if (ds_->state() != data::DataSetState::Edit && ds_->state() != data::DataSetState::Insert)
        return;
    const int f = c.field();
    const data::FieldDef& def = ds_->field(f);

    if (c.columnType == ColumnType::CheckBox) {
        const QString now = utf8(ds_->value(f).toText());
        const QString next =
            now != c.checkBoxValueFalse ? c.checkBoxValueFalse : c.checkBoxValueTrue;
        ds_->setEditText(f, next.toStdString());
        viewport()->update();
        return;
    }

    const int viewRow = ds_->recNo() - topRow_;
    QRect cell;
    for (const PlacedColumn& pc :
         placeColumns(geoms(), firstColumn_, indicatorWidth_, viewport()->width())) {
        if (pc.index == currentColumn_) {
            const int top = headerHeight_ + viewRow * rowHeight_;
            cell = QRect(pc.left + 2, top + 2, c.width() - 3, rowHeight_ - 4);
        }
    }
    editColumn_ = currentColumn_;
    editOriginal_ = utf8(ds_->editText(f));
    editor_ = new InplaceEdit(this, viewport());
    QFont font = c.font;
    editor_->setFont(font);
    editor_->isDate = c.columnType == ColumnType::DateTime;
    editor_->isPickList = c.columnType == ColumnType::PickList;
    if (editor_->isDate) {
        editor_->setInputMask(QStringLiteral("99.99.9999; "));
    } else if (c.columnType == ColumnType::MaskText && !c.editMask.isEmpty()) {
        editor_->setInputMask(c.editMask);
    }
    if (editor_->isPickList) {
        editor_->setText(utf8(c.pickList.displayFor(ds_->value(f).toText())));
        editor_->setReadOnly(true);
    } else if (def.kind == data::FieldKind::Memo) {
        editor_->setText(utf8(ds_->value(f).toText()));
    } else if (editor_->isDate) {
        // The mask holds the date part only.
        const data::Value& v = ds_->value(f);
        editor_->setText(v.isNull() ? QString()
                                    : utf8(ds_->formatSettings().formatDate(v.toDate())));
    } else {
        editor_->setText(editOriginal_);
    }
    const bool withButton =
        editor_->isDate || editor_->isPickList || c.buttonStyle != EditButtonStyle::None;
    if (withButton) {
        const int bw = 16;
        button_ = new QToolButton(viewport());
        button_->setObjectName(QStringLiteral("FInplaceButton"));
        button_->setAutoRaise(true);
        button_->setFocusPolicy(Qt::NoFocus);
        GridBitmap glyph = GridBitmap::DropImage;
        if (c.buttonStyle == EditButtonStyle::Ellipsis) glyph = GridBitmap::DropEllipsis;
        if (c.buttonStyle == EditButtonStyle::Window) glyph = GridBitmap::DropWindow;
        button_->setIcon(QIcon(gridBitmap(glyph)));
        button_->setGeometry(cell.right() - bw + 1, cell.top(), bw, cell.height() + 1);
        cell.setRight(cell.right() - bw);
        connect(button_, &QToolButton::clicked, this, [this] { guarded([&] { dropDown(); }); });
        button_->show();
    }
    editor_->setGeometry(cell);
    if (editor_->inputMask().isEmpty()) {
        editor_->selectAll();
    } else {
        editor_->setCursorPosition(0);
    }
    editor_->show();
    editor_->setFocus();
    viewport()->update();
}

void DBGridEx::discardEditor() {
    if (button_) {
        button_->hide();
        button_->deleteLater();
        button_ = nullptr;
    }
    if (editor_) {
        InplaceEdit* e = editor_;
        editor_ = nullptr;
        const bool hadFocus = e->hasFocus();
        e->hide();
        e->deleteLater();
        if (hadFocus) setFocus();
    }
    editColumn_ = -1;
}

void DBGridEx::commitEditor() {
    if (!editor_ || committing_) return;
    committing_ = true;
    struct Reset {
        bool& f;
        ~Reset() { f = false; }
    } reset{committing_};
    GridColumn& c = *columns_[static_cast<size_t>(editColumn_)];
    const int f = c.field();
    const QString text = editor_->editorText();
    if (f >= 0) {
        ds_->edit();
        const data::FieldDef& def = ds_->field(f);
        if (editor_->isPickList) {
            const int i = c.pickList.indexOfDisplayText(text.toStdString());
            if (i >= 0) ds_->setEditText(f, c.pickList.at(i).storeValue);
        } else if (def.kind == data::FieldKind::Memo) {
            ds_->setValue(f, data::Value(text.toStdString()));
        } else if (editor_->isDate && blankDateText(text)) {
            ds_->setValue(f, data::Value());
        } else {
            ds_->setEditText(f, text.trimmed().toStdString());
        }
    }
    discardEditor();
}

void DBGridEx::editorLostFocus(InplaceEdit* e) {
    if (destroying_ || e != editor_) return;
    guarded([&] { commitEditor(); });
    viewport()->update();
}

void DBGridEx::restoreEditorText() {
    if (!ds_ || !ds_->isOpen()) return;
    const int col = editColumn_ >= 0 ? editColumn_ : currentColumn_;
    if (col < 0 || col >= columnCount()) return;
    const int f = columns_[static_cast<size_t>(col)]->field();
    try {
        if (f >= 0 && ds_->state() != data::DataSetState::Browse) {
            ds_->setEditText(f, editOriginal_.toStdString());
        }
    } catch (...) {
        // The remembered text came from the field itself; if even it does not go back, the
        // cancel below still returns the record to its stored values.
    }
    if (ds_->state() != data::DataSetState::Browse) ds_->cancel();
}

void DBGridEx::editorKey(QKeyEvent* e, bool& handled) {
    const int key = e->key();
    const auto mods = e->modifiers();
    const bool noShifts = !(mods & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
    try {
        if ((key == Qt::Key_Tab && !(mods & Qt::AltModifier)) ||
            ((key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
              key == Qt::Key_PageDown || key == Qt::Key_Insert) &&
             noShifts)) {
            handled = true;
            if (editColumn_ >= 0 &&
                columns_[static_cast<size_t>(editColumn_)]->buttonStyle != EditButtonStyle::None) {
                return;  // nothing happens while a drop-down column is being edited
            }
            handleKey(e);
            return;
        }
        if ((key == Qt::Key_Down && (mods & Qt::AltModifier)) ||
            ((key == Qt::Key_Return || key == Qt::Key_Enter) && (mods & Qt::ControlModifier))) {
            handled = true;
            dropDown();
            return;
        }
        switch (key) {
            case Qt::Key_Escape: {
                handled = true;
                const int col = editColumn_;
                if (col >= 0 && ds_ && ds_->isOpen()) {
                    const int f = columns_[static_cast<size_t>(col)]->field();
                    if (f >= 0) ds_->setEditText(f, editOriginal_.toStdString());
                    if (ds_->state() != data::DataSetState::Browse) ds_->post();
                }
                discardEditor();
                setFocus();
                viewport()->update();
                return;
            }
            case Qt::Key_F2:
                handled = true;
                editor_->setFocus();
                return;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                handled = true;
                setFocus();
                commitEditor();
                viewport()->update();
                if (ds_ && ds_->isOpen() && ds_->state() != data::DataSetState::Browse) ds_->post();
                return;
            default:
                break;
        }
        // Characters are first offered to the grid (auto-search in a read-only grid).
        if (!e->text().isEmpty() && (options_.has(GridOption::EditOnEnter) || readOnly) &&
            options_.has(GridOption::AutoSearching)) {
            handled = true;
            autoSearch(e->text());
        }
    } catch (...) {
        // A failed commit or post (a bad value, a constraint, a lock conflict): the cell goes
        // back to what it held before editing, and the user is told why.
        handled = true;
        const auto error = std::current_exception();
        try {
            restoreEditorText();
        } catch (...) {
        }
        if (editor_) editor_->setText(editOriginal_);
        discardEditor();
        setFocus();
        viewport()->update();
        reportError(error);
    }
}

void DBGridEx::dropDown() {
    if (!editor_ || editColumn_ < 0) return;
    GridColumn& c = *columns_[static_cast<size_t>(editColumn_)];
    InplaceEdit* ed = editor_;
    const QPoint below = ed->mapToGlobal(QPoint(0, ed->height()));
    if (ed->isDate) {
        ed->calendar_ = popups::showPopupCalendar(
            this, below,
            [this, ed](popups::AdvancedCalendar& cal) {
                if (editor_ != ed) return;
                ed->setText(utf8(ds_->formatSettings().formatDate(cal.selectedDate())));
                ed->setFocus();
            },
            ed->editorText());
        return;
    }
    if (ed->isPickList) {
        QStringList items;
        for (const PickListItem& it : c.pickList.items())
            items << utf8(it.pickListText);
        QRect anchor(ed->mapToGlobal(QPoint(0, 0)), ed->size());
        const int f = c.field();
        auto* popup = new popups::PickListPopup(
            this, anchor, ed->width() + 18, c.pickListDropDownMax, items,
            [this, ed, &c, f](const QString& chosen) {
                guarded([&] {
                    if (editor_ != ed) return;
                    const int i = c.pickList.indexOfPickListText(chosen.toStdString());
                    if (i < 0) return;
                    ed->setText(utf8(c.pickList.at(i).displayText));
                    if (f >= 0) ds_->setEditText(f, c.pickList.at(i).storeValue);
                    ed->setFocus();
                });
            });
        popup->setAttribute(Qt::WA_DeleteOnClose);
        ed->pickList_ = popup;
        const int cur = c.pickList.indexOfDisplayText(ed->text().toStdString());
        popup->popup(cur >= 0 ? utf8(c.pickList.at(cur).pickListText) : QString());
        return;
    }
    if (onEditButtonClick) onEditButtonClick(c, below, mapFromGlobal(below));
    if (editor_) editor_->setFocus();
}

// ---------------------------------------------------------------------------------------------
// Mouse

int DBGridEx::columnAtX(int x) const {
    for (const PlacedColumn& pc :
         placeColumns(geoms(), firstColumn_, indicatorWidth_, viewport()->width())) {
        if (x >= pc.left && x <= pc.right) return pc.index;
    }
    return -1;
}

int DBGridEx::viewRowOfPoint(int y) const {
    if (y < headerHeight_ || rowHeight_ <= 0) return -1;
    const int r = (y - headerHeight_) / rowHeight_;
    return r < rowFit_.fit ? r : -1;
}

void DBGridEx::mousePressEvent(QMouseEvent* e) {
    guarded([&] {
        clearAutoSearch();
        const QPoint pos = e->position().toPoint();
        if (e->button() == Qt::RightButton) {
            setFocus();
            openContextMenu(e->globalPosition().toPoint());
            return;
        }
        if (e->button() != Qt::LeftButton) return;
        setFocus();
        const auto placed =
            placeColumns(geoms(), firstColumn_, indicatorWidth_, viewport()->width());
        // Title band.
        if (pos.y() >= captionHeight_ && pos.y() < headerHeight_ &&
            (options_.has(GridOption::ResizeCol) || options_.has(GridOption::MoveCol))) {
            for (const PlacedColumn& pc : placed) {
                const int next = pc.index + 1;
                if (std::abs(pos.x() - pc.right) <= 2 && next < columnCount() &&
                    !columns_[static_cast<size_t>(next)]->visible() &&
                    options_.has(GridOption::ResizeCol)) {
                    // A hidden neighbour comes back at width 1 and is the one dragged.
                    commitEditor();
                    GridColumn& n = *columns_[static_cast<size_t>(next)];
                    n.setWidthSilently(1);
                    n.setVisible(true);
                    drag_ = Drag::ColumnResize;
                    dragColumn_ = next;
                    dragStart_ = QPoint(pc.right, pos.y());
                    viewport()->update();
                    return;
                }
            }
            for (const PlacedColumn& pc : placed) {
                if (std::abs(pos.x() - pc.right) <= 5 && options_.has(GridOption::ResizeCol)) {
                    commitEditor();
                    drag_ = Drag::ColumnResize;
                    dragColumn_ = pc.index;
                    dragStart_ = QPoint(pc.left, pos.y());
                    viewport()->update();
                    return;
                }
            }
            const int col = columnAtX(pos.x());
            if (col >= 0 && options_.has(GridOption::MoveCol)) {
                commitEditor();
                drag_ = Drag::TitlePressed;
                dragColumn_ = col;
                dragStart_ = pos;
                viewport()->update();
            }
            return;
        }
        // Indicator: row height.
        if (pos.x() < indicatorWidth_ && pos.y() >= headerHeight_ &&
            options_.has(GridOption::ResizeRow)) {
            const int r = (pos.y() - headerHeight_ + rowHeight_ / 2) / rowHeight_ - 1;
            const int bottom = headerHeight_ + (r + 1) * rowHeight_;
            if (r >= 0 && std::abs(pos.y() - bottom) <= 5) {
                commitEditor();
                drag_ = Drag::RowResize;
                dragRow_ = r;
                dragRowTop_ = headerHeight_ + r * rowHeight_;
                dragHeight_ = rowHeight_;
                viewport()->update();
            }
            return;
        }
        // Data area.
        const int viewRow = viewRowOfPoint(pos.y());
        if (pos.x() >= indicatorWidth_ && viewRow >= 0) {
            pressPos_ = pos;
            dataPressed_ = true;
            commitEditor();
            if (ds_ && ds_->isOpen() && !ds_->isEmpty()) {
                const int line = topRow_ + viewRow;
                if (line < rowCount() && line != ds_->recNo()) moveRecord(line - ds_->recNo());
            }
            const int col = columnAtX(pos.x());
            if (col >= 0 && col != currentColumn_) setCurrentColumn(col);
            viewport()->update();
        }
    });
}

// The dragged record: its bookmark for grids and windows of this program, the current cell's
// text for anything else.
void DBGridEx::startRecordDrag() {
    if (!ds_ || !ds_->isOpen() || ds_->isEmpty()) return;
    auto* mime = new QMimeData;
    mime->setData(recordMimeType(), QByteArray::number(static_cast<qulonglong>(ds_->bookmark())));
    if (currentColumn_ < columnCount()) {
        const GridColumn& c = *columns_[static_cast<size_t>(currentColumn_)];
        mime->setText(cellText(c, ds_->recNo()));
    }
    if (dragStarter_) {
        dragStarter_(mime);
        return;
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->exec(Qt::CopyAction | Qt::MoveAction);
}

void DBGridEx::mouseDoubleClickEvent(QMouseEvent* e) {
    guarded([&] {
        if (e->button() != Qt::LeftButton) return;
        const QPoint pos = e->position().toPoint();
        if (pos.x() < indicatorWidth_ || viewRowOfPoint(pos.y()) < 0) return;
        const int col = columnAtX(pos.x());
        if (col >= 0 && col != currentColumn_) setCurrentColumn(col);
        setEditing(true);
        GridColumn& c = *columns_[static_cast<size_t>(currentColumn_)];
        if (!editing() && c.buttonStyle != EditButtonStyle::None && onEditButtonClick) {
            const QRect cell = cellRect(currentColumn_, ds_ ? ds_->recNo() - topRow_ : 0);
            const QPoint self(cell.left(), cell.bottom() + 1);
            onEditButtonClick(c, viewport()->mapToGlobal(self), self);
        }
        if (!editing()) setFocus();
        viewport()->update();
    });
}

void DBGridEx::mouseMoveEvent(QMouseEvent* e) {
    guarded([&] {
        const QPoint pos = e->position().toPoint();
        switch (drag_) {
            case Drag::None: {
                // Only a press on the data starts a drag: presses on the titles and the
                // indicator are the grid's own column and row drags.
                if (autoDrag && dataPressed_ && (e->buttons() & Qt::LeftButton) &&
                    (pos - pressPos_).manhattanLength() >= QApplication::startDragDistance()) {
                    dataPressed_ = false;
                    startRecordDrag();
                    return;
                }
                Qt::CursorShape shape = Qt::ArrowCursor;
                if (pos.y() >= captionHeight_ && pos.y() < headerHeight_) {
                    for (const PlacedColumn& pc : placeColumns(
                             geoms(), firstColumn_, indicatorWidth_, viewport()->width())) {
                        if (std::abs(pos.x() - pc.right) <= 5) shape = Qt::SplitHCursor;
                    }
                } else if (pos.x() < indicatorWidth_ && pos.y() >= headerHeight_ &&
                           options_.has(GridOption::ResizeRow)) {
                    const int r = (pos.y() - headerHeight_ + rowHeight_ / 2) / rowHeight_;
                    if (r >= 1 && std::abs(pos.y() - (headerHeight_ + r * rowHeight_)) <= 5)
                        shape = Qt::SplitVCursor;
                }
                viewport()->setCursor(shape);
                // Hints show without a pause: once one is up, moving to the next cut-off cell
                // shows that cell's text at once.
                if (QToolTip::isVisible()) {
                    QString text;
                    QRect cell;
                    if (hintAt(pos, text, cell)) {
                        QToolTip::showText(e->globalPosition().toPoint(), text, viewport(), cell);
                    } else {
                        QToolTip::hideText();
                    }
                }
                return;
            }
            case Drag::ColumnResize: {
                GridColumn& c = *columns_[static_cast<size_t>(dragColumn_)];
                const int w = pos.x() - dragStart_.x();
                if (w > 1) {
                    c.setWidthSilently(w);
                    c.setVisible(true);
                } else {
                    c.setWidthSilently(1);
                    c.setVisible(false);
                }
                if (options_.has(GridOption::FitToWidth)) fitColumnsToWidth(dragColumn_);
                columnsChanged();
                return;
            }
            case Drag::RowResize:
                dragHeight_ = std::max(kMinRowHeight, pos.y() - dragRowTop_);
                viewport()->update();
                return;
            case Drag::TitlePressed:
            case Drag::ColumnMove: {
                const int col = columnAtX(pos.x());
                if (drag_ == Drag::TitlePressed && col >= 0 && col != dragColumn_)
                    drag_ = Drag::ColumnMove;
                if (drag_ == Drag::ColumnMove) dragTarget_ = col;
                viewport()->update();
                return;
            }
        }
    });
}

void DBGridEx::mouseReleaseEvent(QMouseEvent* e) {
    guarded([&] {
        const QPoint pos = e->position().toPoint();
        const Drag d = drag_;
        drag_ = Drag::None;
        if (e->button() == Qt::LeftButton) dataPressed_ = false;
        switch (d) {
            case Drag::None:
                break;
            case Drag::ColumnResize:
                columnsChanged();
                break;
            case Drag::RowResize:
                setRowHeight(dragHeight_);
                break;
            case Drag::ColumnMove: {
                int target = columnAtX(pos.x());
                if (target < 0) target = columnCount() - 1;
                moveColumn(dragColumn_, target);
                currentColumn_ = target;
                setCurrentColumn(target);
                break;
            }
            case Drag::TitlePressed: {
                const int col = columnAtX(pos.x());
                if (col == dragColumn_) {
                    setCurrentColumn(col);
                    QRect r;
                    for (const PlacedColumn& pc : placeColumns(
                             geoms(), firstColumn_, indicatorWidth_, viewport()->width())) {
                        if (pc.index == col)
                            r = QRect(QPoint(pc.left, captionHeight_),
                                      QPoint(pc.right, headerHeight_ - 1));
                    }
                    openTitleMenu(col, viewport()->mapToGlobal(r.bottomLeft()));
                }
                break;
            }
        }
        dragColumn_ = dragTarget_ = -1;
        viewport()->update();
    });
}

void DBGridEx::wheelEvent(QWheelEvent* e) {
    guarded([&] {
        const int dy = e->angleDelta().y();
        if (dy == 0) return;
        clearAutoSearch();
        if (editing()) commitEditor();
        moveRecord(dy < 0 ? 1 : -1);
    });
    e->accept();
}

void DBGridEx::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
}

void DBGridEx::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    // Focus moving into the grid's own editor or a popup of it is not leaving the grid.
    QWidget* now = QApplication::focusWidget();
    const bool inside = now && (now == editor_ || isAncestorOf(now));
    if (!inside && e->reason() != Qt::PopupFocusReason && editing() && !editor_->hasFocus()) {
        guarded([&] { commitEditor(); });
    }
    viewport()->update();
}

// The hint shows a cell's whole text when the cell cuts it off, and nothing otherwise (the
// control's own tool tip never shows).
bool DBGridEx::hintAt(QPoint pos, QString& text, QRect& cell) const {
    const int viewRow = viewRowOfPoint(pos.y());
    const int col = columnAtX(pos.x());
    if (editing() || viewRow < 0 || col < 0 || pos.x() < indicatorWidth_ || !ds_ ||
        !ds_->isOpen()) {
        return false;
    }
    const int line = topRow_ + viewRow;
    const int row = line < rowCount() ? dataRowOfView(line) : -1;
    if (row == -1) return false;
    const GridColumn& c = *columns_[static_cast<size_t>(col)];
    cell = cellRect(col, viewRow);
    text = cellText(c, row);
    return !text.isEmpty() && QFontMetrics(c.font).horizontalAdvance(text) + 6 > cell.width();
}

bool DBGridEx::viewportEvent(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* he = static_cast<QHelpEvent*>(e);
        QString text;
        QRect cell;
        if (hintAt(he->pos(), text, cell)) {
            QToolTip::showText(he->globalPos(), text, viewport(), cell);
            return true;
        }
        QToolTip::hideText();
        e->ignore();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(e);
}

// ---------------------------------------------------------------------------------------------
// Scroll bars: they move the record and column cursors.

void DBGridEx::vScrollAction(int action) {
    if (!ds_ || !ds_->isOpen()) return;
    clearAutoSearch();
    if (editing()) commitEditor();
    const int count = rowCount();
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            ds_->moveTo(std::max(0, topRow_ - 1));
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            ds_->moveTo(std::min(count - 1, topRow_ + std::max(1, rowFit_.fit)));
            break;
        case QAbstractSlider::SliderPageStepSub:
            moveRecord(-std::max(1, rowFit_.fit));
            break;
        case QAbstractSlider::SliderPageStepAdd:
            moveRecord(std::max(1, rowFit_.fit));
            break;
        case QAbstractSlider::SliderToMinimum:
            ds_->first();
            break;
        case QAbstractSlider::SliderToMaximum:
            ds_->last();
            break;
        default:
            return;  // thumb tracking is ignored; the released thumb moves
    }
    // The bar shows the record, not where the action alone would have put the thumb.
    if (ds_->isSequenced()) {
        verticalScrollBar()->setSliderPosition(ds_->recNo() + 1);
    } else {
        const QSignalBlocker b(verticalScrollBar());
        verticalScrollBar()->setSliderPosition(ds_->bof() ? 0 : ds_->eof() ? 4 : 2);
    }
}

void DBGridEx::vSliderReleased() {
    if (!ds_ || !ds_->isOpen()) return;
    clearAutoSearch();
    if (editing()) commitEditor();
    const int pos = verticalScrollBar()->sliderPosition();
    if (!ds_->isSequenced()) {
        // The five-step bar: 0 first, 1 a page up, 2 stays, 3 a page down, 4 last.
        const int page = std::max(1, rowFit_.fit);
        switch (pos) {
            case 0:
                ds_->first();
                break;
            case 1:
                moveRecord(-page);
                break;
            case 3:
                moveRecord(page);
                break;
            case 4:
                ds_->last();
                break;
            default:
                break;
        }
        updateScrollBars();
        return;
    }
    const int count = ds_->recordCount();
    if (pos <= 1) {
        ds_->first();
    } else if (pos >= count) {
        ds_->last();
    } else {
        ds_->moveTo(pos - 1);
    }
    updateScrollBars();
}

void DBGridEx::hScrollAction(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
        case QAbstractSlider::SliderPageStepSub:
            setCurrentColumn(currentColumn_ - 1);
            break;
        case QAbstractSlider::SliderSingleStepAdd:
        case QAbstractSlider::SliderPageStepAdd:
            setCurrentColumn(currentColumn_ + 1);
            break;
        case QAbstractSlider::SliderToMinimum:
            setCurrentColumn(0);
            break;
        case QAbstractSlider::SliderToMaximum:
            setCurrentColumn(columnCount() - 1);
            break;
        default:
            return;
    }
    horizontalScrollBar()->setSliderPosition(currentColumn_);
}

// ---------------------------------------------------------------------------------------------
// Menus. The items whose services (find, filter, sort, sums, title change, fields setup, export,
// print) arrive with the grid services are built but stay hidden until those services exist.

void DBGridEx::buildMenus() {
    contextMenu_ = new QMenu(this);
    QAction* fields = contextMenu_->addAction(QStringLiteral("Настройка параметров полей"));
    QAction* sep = contextMenu_->addSeparator();
    QMenu* exportMenu = contextMenu_->addMenu(QStringLiteral("Экспорт данных"));
    exportMenu->addAction(QStringLiteral("Экспорт в Excel (Symbol Link *.slk)"));
    for (QAction* a : {fields, sep, exportMenu->menuAction()})
        a->setVisible(false);
    // Printing is offered only when the report server can be created; it cannot yet.

    titleMenu_ = new QMenu(this);
    auto add = [&](const char* caption, const QKeySequence& key = {}) {
        QAction* a = titleMenu_->addAction(QString::fromUtf8(caption));
        if (!key.isEmpty()) a->setShortcut(key);
        a->setObjectName(QString::fromUtf8(caption));
        return a;
    };
    add("Поиск по нескольким столбцам", QKeySequence(Qt::Key_F3));
    titleMenu_->addSeparator()->setObjectName(QStringLiteral("sepFind"));
    add("Фильтрация данных", QKeySequence(Qt::Key_F4));
    add("Отключить фильтр");
    titleMenu_->addSeparator()->setObjectName(QStringLiteral("sepFilter"));
    add("Сортировать по столбцу", QKeySequence(Qt::ALT | Qt::Key_F5));
    add("Сортировать по нескольким столбцам", QKeySequence(Qt::Key_F5));
    add("Отключить сортировку");
    titleMenu_->addSeparator()->setObjectName(QStringLiteral("sepColumn"));
    add("Изменить заголовок столбца");
    QAction* hide = add("Скрыть столбец");
    titleMenu_->addSeparator()->setObjectName(QStringLiteral("sepSum"));
    QAction* sum = add("Сумма по столбцу");
    sum->setCheckable(true);
    connect(hide, &QAction::triggered, this, [this] {
        guarded([&] {
            if (titleMenuColumn_ < 0 || titleMenuColumn_ >= columnCount()) return;
            columns_[static_cast<size_t>(titleMenuColumn_)]->setVisible(false);
            setCurrentColumn(currentColumn_ + 1);
        });
    });
}

void DBGridEx::openTitleMenu(int column, QPoint at) {
    titleMenuColumn_ = column;
    const bool editProps = options_.has(GridOption::EditColumnProp);
    bool any = false;
    for (QAction* a : titleMenu_->actions()) {
        const QString n = a->objectName();
        const bool visible =
            editProps && (n == QLatin1String("sepColumn") || n == QStringLiteral("Скрыть столбец"));
        a->setVisible(visible);
        any = any || (visible && !a->isSeparator());
    }
    if (any) titleMenu_->popup(at);
}

void DBGridEx::openContextMenu(QPoint globalPos) {
    for (QAction* a : contextAdded_) {
        contextMenu_->removeAction(a);
        if (a->parent() == contextMenu_) delete a;
    }
    contextAdded_.clear();
    if (onShowPopupMenu) onShowPopupMenu();
    if (!popupActions.empty()) {
        contextAdded_.push_back(contextMenu_->addSeparator());
        for (QAction* a : popupActions) {
            if (a) {
                contextMenu_->addAction(a);
                contextAdded_.push_back(a);
            } else {
                contextAdded_.push_back(contextMenu_->addSeparator());
            }
        }
    }
    bool any = false;
    for (QAction* a : contextMenu_->actions())
        any = any || (a->isVisible() && !a->isSeparator());
    if (any) contextMenu_->popup(globalPos);
}

}  // namespace zentra::grid
