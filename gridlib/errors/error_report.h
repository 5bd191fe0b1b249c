// Application-wide error reporting: the user's own mistakes in a plain box, database errors in
// short Russian texts, everything else in the error window and in "error_log.xml" beside the
// program. The logic is here, free of windows; the dialogs come through ErrorUi.
#pragma once

#include <exception>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

namespace zentra::gridlib {

// An error caused by the user; its message is exactly what is shown.
class EUserException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A silent abort of an operation: reported as nothing.
class EAbort : public std::runtime_error {
public:
    EAbort() : std::runtime_error("Operation aborted") {}
};

struct Translation {
    std::string text;     // what the user is told
    std::string message;  // the exception's message, possibly rewritten
    bool plain = false;   // a plain message box rather than the error window
};

// Classifies and translates an exception (EUserException, db::DbError, anything else).
Translation translateError(const std::exception& e);
// The same for a database error given by its parts (used by translateError and the tests).
Translation translateDatabaseError(std::string message, int sqlCode, long engineCode);
Translation translateOtherError(std::string message);

struct ErrorWindowRow {
    std::string name, value;
    int image = 0;
    bool multiLine = false;
};

// What the reporter shows; the application gives Qt dialogs, tests give recorders.
class ErrorUi {
public:
    virtual ~ErrorUi() = default;
    virtual void showPlain(const std::string& text) = 0;  // caption "Ошибка", error icon
    virtual void showWindow(const std::string& headerText,
                            const std::vector<ErrorWindowRow>& rows) = 0;
};

class ErrorReporter {
public:
    ErrorReporter(std::filesystem::path logFile, ErrorUi* ui) : log_(std::move(logFile)), ui_(ui) {}

    // ReportError: never throws. An error raised while the error window is open is only
    // logged, never shown in a second window.
    void report(const std::exception& e, const std::string& module = {},
                const std::string& className = {}, const std::string& method = {});
    void reportUnknown(const std::string& className = {});

    const std::filesystem::path& logFile() const { return log_; }

private:
    void showErrorWindow(const std::string& text, const std::string& message,
                         const std::string& module, const std::string& method,
                         const std::string& className);
    std::filesystem::path log_;
    ErrorUi* ui_;
    bool windowOpen_ = false;
};

// Appends one entry to the XML log, keeping the file a well-formed list: texts are escaped,
// and a file whose tail is not the closing line is started afresh rather than corrupted.
// Returns false when the file could not be written.
bool appendErrorLog(const std::filesystem::path& file, const std::string& dateTime,
                    const std::string& module, const std::string& className,
                    const std::string& method, const std::string& message);

}  // namespace zentra::gridlib
