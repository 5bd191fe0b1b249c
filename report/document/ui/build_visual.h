// TfBuildVisual: the build window, a thin Qt view over a running build. It starts the script
// from its own event loop once shown, shows the elapsed time and the rows built so far every
// 100 ms, and asks the script to stop on "Отмена". Headless builds run without it.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <string>

#include "document.h"

class QLabel;
class QPushButton;

class TfBuildVisual : public QDialog, public zentra::report::IBuildRunner {
    Q_OBJECT
  public:
    explicit TfBuildVisual(const std::string& docNameCp1251, QWidget* parent = nullptr);

    // Shows the window modally, runs the script from its event loop, closes when it ends.
    zentra::script::RunStatus RunScript(zentra::script::Script& script,
                                        zentra::report::TPrintDocEngine& engine) override;

    QLabel* rowsLabel() const { return rows_; }
    QLabel* timeLabel() const { return time_; }
    QPushButton* cancelButton() const { return cancel_; }

  private:
    void tick();

    QLabel* rows_;
    QLabel* time_;
    QPushButton* cancel_;
    QTimer timer_;
    QElapsedTimer clock_;
    zentra::script::Script* script_ = nullptr;
    zentra::report::TPrintDocEngine* engine_ = nullptr;
    zentra::script::RunStatus status_ = zentra::script::RunStatus::Finished;
};
