#include "error_window.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace zentra::gridlib {

namespace {
QString q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }
}  // namespace

TfError::TfError(const std::string& headerText, const std::vector<ErrorWindowRow>& rows,
                 QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Ошибка"));
    auto* layout = new QVBoxLayout(this);
    auto* head = new QHBoxLayout();
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    head->addWidget(icon, 0, Qt::AlignTop);
    auto* captions = new QVBoxLayout();
    auto* title = new QLabel(QStringLiteral("<b>Ошибка</b>"), this);
    auto* comment = new QLabel(q(headerText).replace("\r\n", "\n"), this);
    comment->setObjectName("comment");
    comment->setWordWrap(true);
    captions->addWidget(title);
    captions->addWidget(comment);
    head->addLayout(captions, 1);
    layout->addLayout(head);

    auto* list = new QTreeWidget(this);
    list->setObjectName("rows");
    list->setColumnCount(2);
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->setWordWrap(true);
    const QStyle::StandardPixmap images[] = {QStyle::SP_FileDialogDetailedView,
                                             QStyle::SP_FileIcon, QStyle::SP_MessageBoxWarning};
    for (const auto& r : rows) {
        auto* item = new QTreeWidgetItem(list);
        item->setText(0, q(r.name));
        item->setText(1, q(r.value).replace("\r\n", "\n"));
        item->setIcon(0, style()->standardIcon(images[r.image >= 0 && r.image < 3 ? r.image : 0]));
        if (!r.multiLine) item->setSizeHint(1, QSize(0, 20));
    }
    list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    list->header()->setStretchLastSection(true);
    layout->addWidget(list, 1);

    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(close, 0, Qt::AlignRight);
    resize(520, 320);
}

void QtErrorUi::showPlain(const std::string& text) {
    QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Ошибка"),
                          q(text).replace("\r\n", "\n"));
}

void QtErrorUi::showWindow(const std::string& headerText, const std::vector<ErrorWindowRow>& rows) {
    TfError window(headerText, rows, QApplication::activeWindow());
    window.exec();
}

}  // namespace zentra::gridlib
