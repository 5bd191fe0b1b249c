#include "vm_error_window.h"

#include <QFont>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "text/cp1251.h"

// A fixed dialog: bold title, the message in a read-only monospaced memo, one close button that
// Esc also triggers.
TfVMError::TfVMError(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Ошибка!"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    title_ = new QLabel(QStringLiteral("Ошибка времени выполнения."), this);
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    memo_ = new QPlainTextEdit(this);
    memo_->setReadOnly(true);
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::TypeWriter);
    memo_->setFont(mono);
    memo_->setMinimumSize(480, 160);
    close_ = new QPushButton(QStringLiteral("Закрыть"), this);
    close_->setDefault(true);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);  // Esc rejects as well
    layout->addWidget(title_);
    layout->addWidget(memo_);
    layout->addWidget(close_, 0, Qt::AlignRight);
}

// Fills the memo from cp1251 text, carriage returns as line breaks.
void TfVMError::setMessage(const std::string& cp1251) {
    std::string text = zentra::text::cp1251ToUtf8(cp1251);
    for (char& c : text) {
        if (c == '\r') c = '\n';
    }
    memo_->setPlainText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

// Shows the error modally until the user closes it.
void TfVMError::showRunTimeError(const std::string& cp1251) {
    setMessage(cp1251);
    exec();
}
