#include "error_application.h"

#include <clocale>
#include <iostream>

namespace zentra::gridlib {

ErrorApplication::ErrorApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // QApplication sets the C locale from the environment; numbers in files and SQL must not
    // follow it.
    std::setlocale(LC_NUMERIC, "C");
}

ErrorApplication::~ErrorApplication() = default;

void ErrorApplication::installErrorHandler(std::shared_ptr<ErrorReporter> reporter) {
    reporter_ = std::move(reporter);
}

bool ErrorApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        const char* cls = receiver ? receiver->metaObject()->className() : nullptr;
        reportCurrentException(cls);
        return false;
    }
}

void reportCurrentException(const char* className) {
    auto* app = qobject_cast<ErrorApplication*>(QCoreApplication::instance());
    ErrorReporter* reporter = app ? app->reporter() : nullptr;
    const std::string cls = className ? className : "";
    try {
        throw;
    } catch (const std::exception& e) {
        if (reporter) reporter->report(e, {}, cls, {});
        else std::cerr << e.what() << "\n";
    } catch (...) {
        if (reporter) reporter->reportUnknown(cls);
        else std::cerr << "unknown error\n";
    }
}

}  // namespace zentra::gridlib
