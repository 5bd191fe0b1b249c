// The grid's in-place editor: a borderless line edit over the current cell. Navigation keys go
// back to the grid; Enter commits, Esc restores; Alt+Down or Ctrl+Enter opens the drop-down.
#pragma once

#include <QLineEdit>
#include <QPointer>

#include "pick_list_popup.h"
#include "popup_calendar.h"

namespace zentra::grid {

class DBGridEx;

class InplaceEdit : public QLineEdit {
    Q_OBJECT

  public:
    InplaceEdit(DBGridEx* grid, QWidget* parent);

    bool isPickList = false;
    bool isDate = false;
    // The text as committed: the full masked text (blanks included) when a mask is set.
    QString editorText() const;
    popups::PickListPopup* pickListPopup() const { return pickList_; }
    popups::AdvancedCalendar* calendar() const { return calendar_; }

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

  private:
    friend class DBGridEx;
    DBGridEx* grid_;
    QPointer<popups::PickListPopup> pickList_;
    QPointer<popups::AdvancedCalendar> calendar_;
};

}  // namespace zentra::grid
