// The progress window of long operations: a message, a moving picture that tells the user the
// program is working, and the time since it opened.
// The user cannot close it; the operation closes it in its final step.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QLabel;
class QTimer;

namespace zentra::popups {

// The working animation: a ring of dots with a bright head that runs round. Drawn in code so the
// program carries no video resource. The frame follows the clock rather than counting timer
// ticks, so a window that could not repaint for a while (the work pumps messages only now and
// then) shows the right frame at its next paint instead of crawling on from where it stopped.
class ProgressAnimation : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kFrames = 12;
    static constexpr int kFrameMs = 80;
    explicit ProgressAnimation(QWidget* parent = nullptr);

    // The frame shown `elapsedMs` after the animation started.
    static int frameAt(qint64 elapsedMs);
    // Draws one frame into `area`.
    static void paintFrame(QPainter& p, const QRect& area, int frame);
    int frame() const;
    bool running() const;
    QSize sizeHint() const override { return {48, 48}; }

  protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

  private:
    QElapsedTimer clock_;
    QTimer* timer_;
};

class ProgressWindow : public QWidget {
    Q_OBJECT

  public:
    explicit ProgressWindow(const QString& message, QWidget* parent = nullptr);
    QString message() const;
    ProgressAnimation* animation() const { return animation_; }

  protected:
    void closeEvent(QCloseEvent* e) override;

  private:
    void tick();
    QLabel* message_;
    ProgressAnimation* animation_;
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
