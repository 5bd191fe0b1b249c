// TfBuildVisual: the build window, a thin Qt view over a running build. It starts the script
// from its own event loop once shown, shows the elapsed time and the rows built so far every
// 100 ms, then stays up with "Производится вычисление функций в ячейках" while the deferred
// formulas are calculated; "Отмена" stops either step. Headless builds run without it.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <exception>
#include <string>

#include "document.h"

class QLabel;
class QPushButton;

// The window's animation: sheets travel from a stack on the left to one on the right while a
// row of bars below fills up, one step per frame. Painted by hand, no resources.
class TBuildAnimation : public QWidget {
    Q_OBJECT
  public:
    explicit TBuildAnimation(QWidget* parent = nullptr);
    // Frames advanced since the widget was made (tests watch it move).
    int frame() const { return frame_; }
    QSize sizeHint() const override { return {220, 64}; }
    static constexpr int kFrameMs = 80;
    static constexpr int kFramesPerSheet = 12;

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QTimer timer_;
    int frame_ = 0;
};

class TfBuildVisual : public QDialog, public zentra::report::IBuildRunner {
    Q_OBJECT
  public:
    explicit TfBuildVisual(const std::string& docNameCp1251, QWidget* parent = nullptr);

    // Shows the window modally, runs the script and then the deferred formulas from its event
    // loop, closes when they end.
    zentra::script::RunStatus RunBuild(zentra::script::Script& script,
                                       zentra::report::TPrintDocEngine& engine) override;

    QLabel* stageLabel() const { return stage_; }
    QLabel* rowsLabel() const { return rows_; }
    QLabel* timeLabel() const { return time_; }
    QPushButton* cancelButton() const { return cancel_; }
    TBuildAnimation* animation() const { return animation_; }
    // Messages are let through at most this often while formulas are calculated.
    static constexpr int kPumpIntervalMs = 20;

  private:
    void tick();
    bool CalcFormulas(zentra::report::TPrintDocEngine& engine);

    QLabel* stage_;
    QLabel* rows_;
    QLabel* time_;
    QPushButton* cancel_;
    TBuildAnimation* animation_;
    QTimer timer_;
    QElapsedTimer clock_;
    zentra::script::Script* script_ = nullptr;
    zentra::report::TPrintDocEngine* engine_ = nullptr;
    zentra::script::RunStatus status_ = zentra::script::RunStatus::Finished;
    std::exception_ptr failure_;  // raised inside the event loop, rethrown after it
    bool cancelled_ = false;
};
