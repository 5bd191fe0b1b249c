#include "error_report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <functional>

#include "error.h"
#include "text/cp1251.h"

using namespace zentra;
using namespace zentra::gridlib;
namespace fs = std::filesystem;

namespace {

struct Recorder : ErrorUi {
    std::vector<std::string> plain;
    std::vector<std::pair<std::string, std::vector<ErrorWindowRow>>> windows;
    std::function<void()> duringWindow;
    void showPlain(const std::string& text) override { plain.push_back(text); }
    void showWindow(const std::string& header, const std::vector<ErrorWindowRow>& rows) override {
        windows.push_back({header, rows});
        if (duringWindow) duringWindow();
    }
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

fs::path tempLog() {
    const fs::path dir = fs::temp_directory_path() / ("zentra-errlog-" + std::to_string(::getpid()) +
                                                      "-" + std::to_string(std::rand()));
    fs::create_directories(dir);
    return dir / "error_log.xml";
}

}  // namespace

TEST(TranslateError, DatabaseErrorsBySqlCode) {
    struct Case {
        int sqlCode;
        long engineCode;
        const char* text;
        bool plain;
        bool codeAppended;
    } cases[] = {
        {-913, 0, "Запись занята другим пользователем!\r\nПодождите пока она освободится и попробуйте еще раз.", true, true},
        {-901, 0, "Невозможно соединениться с сервером Базы данных.\r\nОбратитесь к системному администратору.", false, true},
        {-902, 0, "Невозможно соединениться с сервером Базы данных.\r\nОбратитесь к системному администратору.", false, true},
        {-816, 0, "Внешний файл не открыт для вывода.", false, true},
        {-803, 0, "Не удается вставить запись.", false, true},
        {-803, 335544349, "Запись с такими данными уже существует!", true, false},
        {-803, 335544665, "Запись с такими данными уже существует!", true, false},
        {-691, 0, "Размер новой записи очень большой.", false, true},
        {-551, 0, "Ошибка доступа !\r\nУ Вас недостаточно прав для этого.", false, true},
        {-251, 0, "Буферы WAL не могут быть увеличены. Смотрите InterBase log-файл.", false, true},
        {-250, 0, "Ошибка в журнале коммуникаций сервера. Смотрите InterBase log-файл.", false, true},
        {-249, 0, "Ошибка ввода/вывода WAL. Смотрите InterBase log-файл.", false, true},
        {-232, 0, "Неверная версия log-файла.", false, true},
        {-104, 0, "Внутренняя ошибка приложения.\r\n\r\nЕсли эта ошибка будет повторяться обратитесь к разработчику.", false, true},
    };
    for (const auto& c : cases) {
        const Translation t = translateDatabaseError("engine text", c.sqlCode, c.engineCode);
        EXPECT_EQ(t.text, c.text) << c.sqlCode;
        EXPECT_EQ(t.plain, c.plain) << c.sqlCode;
        if (c.codeAppended) {
            EXPECT_EQ(t.message, "engine text\r\nSQL код: " + std::to_string(c.sqlCode));
        } else {
            EXPECT_EQ(t.message, "Ошибка пользователя");
        }
    }
    // An exception raised by a stored procedure is shown as its own text.
    const Translation proc = translateDatabaseError("Корзина пуста", -836, 335544517);
    EXPECT_EQ(proc.text, "Корзина пуста");
    EXPECT_TRUE(proc.plain);
    const Translation dead = translateDatabaseError("lock conflict: DEADLOCK", -913, 0);
    EXPECT_EQ(dead.message, "Конфликт доступа к данным!");
}

TEST(TranslateError, OtherErrorsAndUserErrors) {
    const Translation u = translateError(EUserException("Укажите количество"));
    EXPECT_EQ(u.text, "Укажите количество");
    EXPECT_TRUE(u.plain);
    const Translation d = translateOtherError("'32.13.2026' is not a valid date and time");
    EXPECT_EQ(d.text, "Введенное значение '32.13.2026' не является датой.");
    EXPECT_TRUE(d.plain);
    const Translation f = translateOtherError("'x' is not a valid floating point value for field 'FQTY'");
    EXPECT_EQ(f.text, "Введенное значение не является числом.");
    EXPECT_EQ(f.message, "Ошибка пользователя");
    const Translation o = translateError(std::runtime_error("boom"));
    EXPECT_FALSE(o.plain);
    EXPECT_EQ(o.message, "boom");
    const Translation db = translateError(db::DbError("connection lost", -901, 335544721));
    EXPECT_EQ(db.message, "connection lost\r\nSQL код: -901");
}

TEST(ErrorReporter, ShowsAndLogsByKind) {
    const fs::path log = tempLog();
    Recorder ui;
    ErrorReporter reporter(log, &ui);
    reporter.report(EAbort());
    EXPECT_TRUE(ui.plain.empty());
    EXPECT_TRUE(ui.windows.empty());
    reporter.report(db::DbError("violation of PRIMARY or UNIQUE KEY", -803, 335544665));
    ASSERT_EQ(ui.plain.size(), 1u);
    EXPECT_EQ(ui.plain[0], "Запись с такими данными уже существует!");
    EXPECT_FALSE(fs::exists(log));  // user errors are not logged
    reporter.report(EUserException("Только своё сообщение"));
    EXPECT_EQ(ui.plain.back(), "Только своё сообщение");

    reporter.report(db::DbError("Unable to complete network request", -901, 335544721), {}, "TfMain");
    ASSERT_EQ(ui.windows.size(), 1u);
    const auto& [header, rows] = ui.windows[0];
    EXPECT_EQ(header, "Невозможно соединениться с сервером Базы данных.\r\nОбратитесь к системному администратору.");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name, "Дата ошибки");
    EXPECT_EQ(rows[1].name, "Класс");
    EXPECT_EQ(rows[1].value, "TfMain");
    EXPECT_EQ(rows[2].value, "Unable to complete network request\r\nSQL код: -901");
    EXPECT_TRUE(rows[2].multiLine);

    // An error while the window is open is logged but not shown a second time.
    ui.duringWindow = [&] { reporter.report(std::runtime_error("nested <&> \"q\"")); };
    reporter.report(std::runtime_error("второй"), "module.cpp", "", "aFindExecute");
    EXPECT_EQ(ui.windows.size(), 2u);

    const std::string xml = slurp(log);
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<XML>\r\n<errors_log>\r\n", 0), 0u);
    EXPECT_EQ(xml.substr(xml.size() - 21), "</errors_log></XML>\r\n");
    EXPECT_NE(xml.find("nested &lt;&amp;&gt; &quot;q&quot;"), std::string::npos);
    EXPECT_NE(xml.find(text::utf8ToCp1251("    <message>второй</message>")), std::string::npos);
    EXPECT_NE(xml.find("    <method>aFindExecute</method>"), std::string::npos);
    size_t entries = 0;
    for (size_t at = xml.find("<error date="); at != std::string::npos; at = xml.find("<error date=", at + 1)) ++entries;
    EXPECT_EQ(entries, 3u);
    // A real XML reader accepts it.
    EXPECT_EQ(std::system(("xmllint --noout " + log.string()).c_str()), 0);
    fs::remove_all(log.parent_path());
}

TEST(ErrorReporter, DamagedLogIsStartedAfresh) {
    for (const std::string& damaged : {std::string(), std::string("garbage"),
                                      std::string("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<XML>\r\n<errors_log>\r\n  <error")}) {
        const fs::path log = tempLog();
        std::ofstream(log, std::ios::binary) << damaged;
        ASSERT_TRUE(appendErrorLog(log, "11.12.2026 10:00:00", "", "", "", "text"));
        EXPECT_EQ(std::system(("xmllint --noout " + log.string()).c_str()), 0) << damaged;
        fs::remove_all(log.parent_path());
    }
}
