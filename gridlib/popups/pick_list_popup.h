// The pick-list popup: a borderless list under (or above) an anchor; a click or Enter on an
// entry chooses it, Esc or clicking elsewhere closes it without a choice.
#pragma once

#include <QFrame>
#include <QStringList>
#include <functional>

class QListWidget;

namespace zentra::popups {

class PickListPopup : public QFrame {
    Q_OBJECT

  public:
    using Chosen = std::function<void(const QString& text)>;

    // `anchor` is the cell or edit in screen coordinates; the popup is at least `minWidth` wide
    // and shows up to `rows` rows. The owner frees it.
    PickListPopup(QWidget* owner, const QRect& anchor, int minWidth, int rows,
                  const QStringList& items, Chosen chosen);

    void popup(const QString& current = {});
    bool chosen() const { return chosen_; }
    QString chosenText() const { return chosenText_; }
    QListWidget* list() const { return list_; }
    // Chooses the selected entry, as a click or Enter does.
    void chooseSelected();

  protected:
    bool eventFilter(QObject* o, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

  private:
    QListWidget* list_;
    QRect anchor_;
    int minWidth_, rows_;
    Chosen onChosen_;
    bool chosen_ = false;
    QString chosenText_;
};

}  // namespace zentra::popups
