#include "setup_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "crypt.h"
#include "ini_file.h"
#include "settings.h"
#include "text/cp1251.h"

namespace zentra::app {
namespace {

constexpr const char* kProxy = "Прокси-сервер";
constexpr const char* kMail = "Отправка почты";

QString q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }
std::string s(const QString& t) { return t.toUtf8().toStdString(); }
std::string yesNo(bool v) { return v ? "да" : "нет"; }
bool isYesLower(const std::string& v) { return text::lowerUtf8(v) == "да"; }
std::string trimmed(const std::string& v) { return s(q(v).trimmed()); }

QLineEdit* edit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    return e;
}

}  // namespace

TfSetup::TfSetup(db::Database& db, ProgramFolders folders, QWidget* parent)
    : QDialog(parent), db_(db), folders_(std::move(folders)) {
    setObjectName("fSetup");
    setWindowTitle(QStringLiteral("Настройки"));
    auto* layout = new QVBoxLayout(this);

    auto* proxy = new QGroupBox(QStringLiteral("Прокси-сервер"), this);
    auto* pf = new QFormLayout(proxy);
    cbUseProxy_ = new QCheckBox(QStringLiteral("Использовать прокси-сервер"), proxy);
    cbUseProxy_->setObjectName("cbUseProxy");
    eProxyHost_ = edit(proxy, "eProxyHost");
    eProxyPort_ = edit(proxy, "eProxyPort");
    pf->addRow(cbUseProxy_);
    pf->addRow(QStringLiteral("Сервер:"), eProxyHost_);
    pf->addRow(QStringLiteral("Порт:"), eProxyPort_);
    layout->addWidget(proxy);

    cbCheckInternet_ = new QCheckBox(QStringLiteral("Проверять соединение с Internet"), this);
    cbCheckInternet_->setObjectName("cbCheckInternet");
    layout->addWidget(cbCheckInternet_);

    auto* mail = new QGroupBox(QStringLiteral("Отправка почты"), this);
    auto* mf = new QFormLayout(mail);
    cbMailAuth_ = new QCheckBox(QStringLiteral("Сервер требует авторизации"), mail);
    cbMailAuth_->setObjectName("cbMailAuth");
    eMailHost_ = edit(mail, "eMailHost");
    eMailPort_ = edit(mail, "eMailPort");
    eMailUser_ = edit(mail, "eMailUser");
    eMailPassword_ = edit(mail, "eMailPassword");
    eMailPassword_->setEchoMode(QLineEdit::Password);
    mf->addRow(cbMailAuth_);
    mf->addRow(QStringLiteral("SMTP сервер:"), eMailHost_);
    mf->addRow(QStringLiteral("Порт:"), eMailPort_);
    mf->addRow(QStringLiteral("Пользователь:"), eMailUser_);
    mf->addRow(QStringLiteral("Пароль:"), eMailPassword_);
    layout->addWidget(mail);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        aOkExecute();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    load();
}

void TfSetup::load() {
    const auto ini = folders_.ini();
    cbUseProxy_->setChecked(isYesLower(readIni(ini, kProxy, "Использовать прокси-сервер")));
    eProxyHost_->setText(q(readIni(ini, kProxy, "Host")));
    eProxyPort_->setText(q(readIni(ini, kProxy, "Порт")));
    cbCheckInternet_->setChecked(isYesLower(trimmed(readConst(db_, 8, false, "да",
                                                              "Проверять соединение с Internet", true))));
    cbMailAuth_->setChecked(isYesLower(readIni(ini, kMail, "Аутентификация")));
    eMailHost_->setText(q(readIni(ini, kMail, "SMTP сервер")));
    eMailPort_->setText(q(readIni(ini, kMail, "Порт")));
    eMailUser_->setText(q(readIni(ini, kMail, "Пользователь")));
    std::string password;
    try {
        password = text::cp1251ToUtf8(
            cryptText(readIni(ini, kMail, "Пароль"), CryptKey::Workstation, false));
    } catch (const CryptError&) {
        // An empty or damaged value shows as an empty password.
    }
    eMailPassword_->setText(q(password));
}

void TfSetup::aOkExecute() {
    IniFile ini(folders_.ini());
    ini.write(kProxy, "Использовать прокси-сервер", yesNo(cbUseProxy_->isChecked()));
    ini.write(kProxy, "Host", s(eProxyHost_->text()));
    ini.write(kProxy, "Порт", s(eProxyPort_->text()));
    ini.write(kMail, "Аутентификация", yesNo(cbMailAuth_->isChecked()));
    ini.write(kMail, "SMTP сервер", s(eMailHost_->text()));
    ini.write(kMail, "Порт", s(eMailPort_->text()));
    ini.write(kMail, "Пользователь", s(eMailUser_->text()));
    ini.write(kMail, "Пароль",
              cryptText(text::utf8ToCp1251(s(eMailPassword_->text())), CryptKey::Workstation, true));
    ini.save();
    writeConst(db_, 8, yesNo(cbCheckInternet_->isChecked()), false);
}

}  // namespace zentra::app
