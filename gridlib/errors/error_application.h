// The application object of both programs' windows: every exception thrown from an event
// handler stops here, in notify(), and goes to the error reporter instead of unwinding through
// Qt (which would end the program).
#pragma once

#include <QApplication>
#include <memory>

#include "error_report.h"

namespace zentra::gridlib {

class ErrorApplication : public QApplication {
    Q_OBJECT
public:
    ErrorApplication(int& argc, char** argv);
    ~ErrorApplication() override;

    // InstallErrorHandler: from now on notify() hands exceptions to `reporter`.
    void installErrorHandler(std::shared_ptr<ErrorReporter> reporter);
    ErrorReporter* reporter() const { return reporter_.get(); }

    bool notify(QObject* receiver, QEvent* event) override;

private:
    std::shared_ptr<ErrorReporter> reporter_;
};

// Reports the exception in flight through the application's reporter (or to stderr when there
// is none yet). For catch blocks outside the event loop: start-up, main().
void reportCurrentException(const char* className = nullptr);

}  // namespace zentra::gridlib
