// TfVMError: the run-time error window of the script machine, a thin Qt view over the machine's
// error sink. Headless runs use another sink and never show it.
#pragma once

#include <QDialog>
#include <string>

#include "machine.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TfVMError : public QDialog, public zentra::script::VMErrorSink {
    Q_OBJECT
  public:
    explicit TfVMError(QWidget* parent = nullptr);

    // Shows the cp1251 error text (carriage returns as line breaks) without opening the window.
    void setMessage(const std::string& cp1251);
    // The sink: shows the text modally until "Закрыть" or Esc.
    void showRunTimeError(const std::string& cp1251) override;

    QLabel* title() const { return title_; }
    QPlainTextEdit* memo() const { return memo_; }
    QPushButton* closeButton() const { return close_; }

  private:
    QLabel* title_;
    QPlainTextEdit* memo_;
    QPushButton* close_;
};
