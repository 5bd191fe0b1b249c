// The error window ("Ошибка"): the translated text on top, then rows of name and value, the
// error text last and as tall as it needs. Esc or the button closes it.
#pragma once

#include <QDialog>

#include "error_report.h"

namespace zentra::gridlib {

class TfError : public QDialog {
    Q_OBJECT
public:
    TfError(const std::string& headerText, const std::vector<ErrorWindowRow>& rows,
            QWidget* parent = nullptr);
};

// Qt dialogs for the reporter: a critical message box and the error window, both modal.
class QtErrorUi : public ErrorUi {
public:
    void showPlain(const std::string& text) override;
    void showWindow(const std::string& headerText, const std::vector<ErrorWindowRow>& rows) override;
};

}  // namespace zentra::gridlib
