#include "error_report.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "error.h"
#include "text/cp1251.h"
#include "text/format_settings.h"

namespace fs = std::filesystem;

namespace zentra::gridlib {
namespace {

constexpr const char* kInternal =
    "Внутренняя ошибка приложения.\r\n\r\nЕсли эта ошибка будет повторяться обратитесь к разработчику.";
constexpr const char* kBusy =
    "Запись занята другим пользователем!\r\nПодождите пока она освободится и попробуйте еще раз.";
constexpr const char* kUserError = "Ошибка пользователя";

std::string lower(std::string s) { return text::lowerUtf8(s); }

void eraseAll(std::string& s, const std::string& what) {
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what)) s.erase(at, what.size());
}

// XML text: the characters that would break the log are written as entities.
std::string escapeXml(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// UTF-8 to the log's code page; characters it cannot hold become '?' (a log must not fail).
std::string toLogBytes(const std::string& utf8) {
    try {
        return text::utf8ToCp1251(utf8);
    } catch (const text::EncodingError&) {
        std::string out;
        for (unsigned char c : utf8) {
            if ((c & 0xC0) == 0x80) continue;
            out += c < 0x80 ? static_cast<char>(c) : '?';
        }
        return out;
    }
}

}  // namespace

Translation translateDatabaseError(std::string message, int sqlCode, long engineCode) {
    Translation t;
    t.message = std::move(message);
    if (lower(t.message).find("deadlock") != std::string::npos) {
        t.message = "Конфликт доступа к данным!";
        t.text = kBusy;
        t.plain = true;
        return t;
    }
    bool skipCode = false;
    switch (sqlCode) {
        case -913: t.text = kBusy; t.plain = true; break;
        case -902:
        case -901:
            t.text = "Невозможно соединениться с сервером Базы данных.\r\nОбратитесь к системному администратору.";
            break;
        case -836:
            t.text = t.message;
            if (engineCode == 335544517) {
                t.message = kUserError;
                t.plain = true;
                skipCode = true;
            }
            break;
        case -816: t.text = "Внешний файл не открыт для вывода."; break;
        case -803:
            t.text = "Не удается вставить запись.";
            // Firebird 3 reports a duplicate key as 335544665, older servers as 335544349.
            if (engineCode == 335544349 || engineCode == db::DbError::kUniqueKeyViolation) {
                t.text = "Запись с такими данными уже существует!";
                t.message = kUserError;
                t.plain = true;
                skipCode = true;
            }
            break;
        case -691: t.text = "Размер новой записи очень большой."; break;
        case -551: t.text = "Ошибка доступа !\r\nУ Вас недостаточно прав для этого."; break;
        case -251: t.text = "Буферы WAL не могут быть увеличены. Смотрите InterBase log-файл."; break;
        case -250: t.text = "Ошибка в журнале коммуникаций сервера. Смотрите InterBase log-файл."; break;
        case -249: t.text = "Ошибка ввода/вывода WAL. Смотрите InterBase log-файл."; break;
        case -232: t.text = "Неверная версия log-файла."; break;
        default: t.text = kInternal;
    }
    if (!skipCode) t.message += "\r\nSQL код: " + std::to_string(sqlCode);
    return t;
}

Translation translateOtherError(std::string message) {
    Translation t;
    t.message = std::move(message);
    t.text = kInternal;
    const std::string notDate = "is not a valid date and time";
    if (t.message.find(notDate) != std::string::npos) {
        std::string rest = t.message;
        eraseAll(rest, notDate);
        t.text = "Введенное значение " + rest + "не является датой.";
        t.message = kUserError;
        t.plain = true;
    }
    if (t.message.find("Invalid input value.  Use escape key to abandon changes") != std::string::npos) {
        t.text = "Введено неверное значение.";
        t.message = kUserError;
        t.plain = true;
    }
    if (t.message.find("is not a valid floating point value for field") != std::string::npos) {
        t.text = "Введенное значение не является числом.";
        t.message = kUserError;
    }
    return t;
}

Translation translateError(const std::exception& e) {
    if (const auto* user = dynamic_cast<const EUserException*>(&e)) {
        return Translation{user->what(), kUserError, true};
    }
    if (const auto* dbe = dynamic_cast<const db::DbError*>(&e)) {
        return translateDatabaseError(dbe->what(), dbe->sqlCode(), dbe->engineCode());
    }
    return translateOtherError(e.what());
}

void ErrorReporter::report(const std::exception& e, const std::string& module,
                           const std::string& className, const std::string& method) {
    try {
        if (std::string(e.what()).find("Operation aborted") != std::string::npos) return;
        const Translation t = translateError(e);
        if (t.plain || t.message == kUserError) {
            if (ui_ && !windowOpen_) ui_->showPlain(t.text);
            return;
        }
        showErrorWindow(t.text, t.message, module, method, className);
    } catch (...) {
        // Reporting an error must never raise another.
    }
}

void ErrorReporter::reportUnknown(const std::string& className) {
    report(std::runtime_error("Неизвестная ошибка"), {}, className, {});
}

void ErrorReporter::showErrorWindow(const std::string& text, const std::string& message,
                                    const std::string& module, const std::string& method,
                                    const std::string& className) {
    const auto now = text::DateTime::now();
    const std::string when = text::FormatSettings::russian().formatDateTime(now);
    std::vector<ErrorWindowRow> rows;
    rows.push_back({"Дата ошибки", when, 0, false});
    if (!module.empty()) rows.push_back({"Модуль", module, 1, false});
    if (!className.empty()) rows.push_back({"Класс", className, 1, false});
    if (!method.empty()) rows.push_back({"Метод", method, 1, false});
    rows.push_back({"Текст ошибки", message, 2, true});
    appendErrorLog(log_, when, module, className, method, message);
    if (!ui_ || windowOpen_) return;
    windowOpen_ = true;
    try {
        ui_->showWindow(text, rows);
    } catch (...) {
    }
    windowOpen_ = false;
}

bool appendErrorLog(const fs::path& file, const std::string& dateTime, const std::string& module,
                    const std::string& className, const std::string& method,
                    const std::string& message) {
    static const std::string kHead =
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<XML>\r\n<errors_log>\r\n";
    static const std::string kTail = "</errors_log></XML>\r\n";
    std::string entry = "  <error date=\"" + escapeXml(dateTime) + "\">\r\n";
    if (!module.empty()) entry += "    <module>" + escapeXml(toLogBytes(module)) + "</module>\r\n";
    if (!className.empty()) entry += "    <class>" + escapeXml(toLogBytes(className)) + "</class>\r\n";
    if (!method.empty()) entry += "    <method>" + escapeXml(toLogBytes(method)) + "</method>\r\n";
    entry += "    <message>" + escapeXml(toLogBytes(message)) + "</message>\r\n";
    entry += "  </error>\r\n";

    std::string content;
    {
        std::ifstream in(file, std::ios::binary);
        if (in) {
            std::stringstream ss;
            ss << in.rdbuf();
            content = ss.str();
        }
    }
    // Append before the closing line only when the file is ours and intact; anything else
    // (empty, edited, cut off) would turn into broken XML, so a damaged log is kept aside and
    // a fresh one begun.
    const bool intact = content.size() >= kHead.size() + kTail.size() &&
                        content.compare(0, kHead.size(), kHead) == 0 &&
                        content.compare(content.size() - kTail.size(), kTail.size(), kTail) == 0;
    std::error_code ec;
    if (!content.empty() && !intact) fs::rename(file, file.string() + ".damaged", ec);
    const std::string out = (intact ? content.substr(0, content.size() - kTail.size()) : kHead) +
                            entry + kTail;
    const fs::path tmp = file.string() + ".tmp" + std::to_string(getpid());
    {
        std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
        o.write(out.data(), static_cast<std::streamsize>(out.size()));
        if (!o) {
            fs::remove(tmp, ec);
            return false;
        }
    }
    fs::rename(tmp, file, ec);
    return !ec;
}

}  // namespace zentra::gridlib
