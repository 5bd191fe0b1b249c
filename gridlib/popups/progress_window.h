// The progress window of long operations: a message, a busy bar and the time since it opened.
// The user cannot close it; the operation closes it in its final step.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QLabel;

namespace zentra::popups {

class ProgressWindow : public QWidget {
    Q_OBJECT

  public:
    explicit ProgressWindow(const QString& message, QWidget* parent = nullptr);
    QString message() const;

  protected:
    void closeEvent(QCloseEvent* e) override;

  private:
    void tick();
    QLabel* message_;
    QLabel* elapsed_;
    QElapsedTimer clock_;
};

// Shows the window and lets it paint before the work starts.
ProgressWindow* showProgress(const QString& message, QWidget* parent = nullptr);
// Hides and frees it; nothing when null.
void closeProgress(ProgressWindow* w);

// Closes the progress window and restores the cursor when the work ends, also on error.
class ProgressScope {
  public:
    explicit ProgressScope(const QString& message, QWidget* parent = nullptr);
    ~ProgressScope();
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;
    ProgressWindow* window() const { return w_; }

  private:
    ProgressWindow* w_;
};

}  // namespace zentra::popups
