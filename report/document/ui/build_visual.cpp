#include "build_visual.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <cassert>
#include <chrono>
#include <utility>

#include "text/cp1251.h"

namespace {

// Lets window messages through while the machine runs (the machine keeps to its time budget).
class QtPump : public zentra::script::EventPump {
  public:
    void pump() override { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }
};

QString FromCp1251(const std::string& s) {
    return QString::fromStdU16String(zentra::text::cp1251ToUtf16(s));
}

const QString kBuilding = QStringLiteral("Идет процесс формирования отчета...");
const QString kFormulas = QStringLiteral("Производится вычисление функций в ячейках");

}  // namespace

TBuildAnimation::TBuildAnimation(QWidget* parent) : QWidget(parent) {
    setMinimumSize(sizeHint());
    timer_.setInterval(kFrameMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        ++frame_;
        update();
    });
    timer_.start();
}

// One frame: a sheet on its way between the two stacks and the bars filled so far.
void TBuildAnimation::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width(), h = height();
    const int sheetW = 22, sheetH = 28, top = 4;
    const int left = 6, right = w - 6 - sheetW;
    auto sheet = [&](int x, int y, bool moving) {
        p.setPen(QColor(90, 90, 90));
        p.setBrush(moving ? QColor(255, 255, 224) : QColor(255, 255, 255));
        p.drawRect(x, y, sheetW, sheetH);
        p.setPen(QColor(150, 150, 150));
        for (int line = y + 6; line < y + sheetH - 3; line += 5)
            p.drawLine(x + 4, line, x + sheetW - 4, line);
    };
    for (int i = 2; i >= 0; --i) {
        sheet(left + i * 2, top + i * 2, false);
        sheet(right - i * 2, top + i * 2, false);
    }
    // The travelling sheet rises in an arc halfway and lands on the right stack.
    const int step = frame_ % kFramesPerSheet;
    const double t = static_cast<double>(step) / (kFramesPerSheet - 1);
    const int x = left + static_cast<int>((right - left) * t);
    const int y = top - static_cast<int>(4 * t * (1 - t) * 4);
    sheet(x, y, true);
    // Bars: one more each sheet, starting over when the row is full.
    const int bars = 10, barW = (w - 12) / bars;
    const int filled = (frame_ / kFramesPerSheet) % (bars + 1);
    for (int i = 0; i < bars; ++i) {
        p.setPen(Qt::NoPen);
        p.setBrush(i < filled ? QColor(40, 90, 170) : QColor(210, 210, 210));
        p.drawRect(6 + i * barW, h - 14, barW - 2, 10);
    }
}

TfBuildVisual::TfBuildVisual(const std::string& docNameCp1251, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Формирование отчета"));
    auto* layout = new QVBoxLayout(this);
    stage_ = new QLabel(kBuilding, this);
    layout->addWidget(stage_);
    layout->addWidget(new QLabel(FromCp1251(docNameCp1251), this));
    animation_ = new TBuildAnimation(this);
    layout->addWidget(animation_);
    rows_ = new QLabel(QStringLiteral("сформировано строк: 0"), this);
    time_ = new QLabel(QStringLiteral("время формирования: 0:00:00"), this);
    layout->addWidget(rows_);
    layout->addWidget(time_);
    cancel_ = new QPushButton(QStringLiteral("Отмена"), this);
    layout->addWidget(cancel_);
    // One button for both steps: the script stops at its next check, the formulas at theirs.
    connect(cancel_, &QPushButton::clicked, this, [this] {
        cancelled_ = true;
        if (script_) script_->stop();
    });
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
}

// Elapsed time as h:mm:ss and the current output row + 1.
void TfBuildVisual::tick() {
    const qint64 s = clock_.elapsed() / 1000;
    time_->setText(QStringLiteral("время формирования: %1:%2:%3")
                       .arg(s / 3600)
                       .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
                       .arg(s % 60, 2, 10, QLatin1Char('0')));
    if (engine_) rows_->setText(QStringLiteral("сформировано строк: %1").arg(engine_->CurRow + 1));
}

// The deferred formulas with the window still up: messages go through at most every
// kPumpIntervalMs (the engine asks every few formulas, the clock decides), and "Отмена" ends
// the step at the next ask. Answers false when cancelled.
bool TfBuildVisual::CalcFormulas(zentra::report::TPrintDocEngine& engine) {
    using Clock = std::chrono::steady_clock;
    if (!engine.DeferredFormulas) return true;
    stage_->setText(kFormulas);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);  // the new text is painted
    if (cancelled_) return false;
    auto last = Clock::now();
    return engine.CalcDeferred([this, &last] {
        const auto now = Clock::now();
        if (now - last >= std::chrono::milliseconds(kPumpIntervalMs)) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            last = Clock::now();
        }
        return !cancelled_;
    });
}

// The run starts from the dialog's event loop, so the window is painted before it begins.
zentra::script::RunStatus TfBuildVisual::RunBuild(zentra::script::Script& script,
                                                  zentra::report::TPrintDocEngine& engine) {
    assert(!script_ && "the window runs one build at a time");
    script_ = &script;
    engine_ = &engine;
    cancelled_ = false;
    failure_ = nullptr;
    stage_->setText(kBuilding);
    QtPump pump;
    auto* previous = script.machine().pump;
    script.machine().pump = &pump;
    clock_.start();
    timer_.start();
    QTimer::singleShot(0, this, [this] {
        // Exceptions never unwind through the event loop: the machine reports its own errors,
        // anything else is kept and rethrown to the caller once the window has closed.
        try {
            status_ = script_->run();
            if (status_ == zentra::script::RunStatus::Finished && !CalcFormulas(*engine_))
                status_ = zentra::script::RunStatus::Stopped;
        } catch (...) {
            failure_ = std::current_exception();
            status_ = zentra::script::RunStatus::Error;
        }
        tick();
        accept();
    });
    exec();
    timer_.stop();
    script.machine().pump = previous;
    script_ = nullptr;
    engine_ = nullptr;
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    return status_;
}
