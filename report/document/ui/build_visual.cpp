#include "build_visual.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

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

}  // namespace

TfBuildVisual::TfBuildVisual(const std::string& docNameCp1251, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Формирование отчета"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Идет процесс формирования отчета..."), this));
    layout->addWidget(new QLabel(FromCp1251(docNameCp1251), this));
    rows_ = new QLabel(QStringLiteral("сформировано строк: 0"), this);
    time_ = new QLabel(QStringLiteral("время формирования: 0:00:00"), this);
    layout->addWidget(rows_);
    layout->addWidget(time_);
    cancel_ = new QPushButton(QStringLiteral("Отмена"), this);
    layout->addWidget(cancel_);
    connect(cancel_, &QPushButton::clicked, this, [this] {
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

// The run starts from the dialog's event loop, so the window is painted before it begins.
zentra::script::RunStatus TfBuildVisual::RunScript(zentra::script::Script& script,
                                                   zentra::report::TPrintDocEngine& engine) {
    script_ = &script;
    engine_ = &engine;
    QtPump pump;
    auto* previous = script.machine().pump;
    script.machine().pump = &pump;
    clock_.start();
    timer_.start();
    QTimer::singleShot(0, this, [this] {
        // Exceptions never unwind through the event loop: the machine reports its own errors,
        // anything else is kept as an error status.
        try {
            status_ = script_->run();
        } catch (...) {
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
    return status_;
}
