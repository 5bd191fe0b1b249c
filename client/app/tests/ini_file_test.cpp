#include "ini_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/test_support.h"
#include "text/cp1251.h"

using namespace zentra::app;

namespace {
std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
void spit(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}
}  // namespace

TEST(IniFile, MissingFileReadsEmptyAndWritesCp1251WithCrLf) {
    zentra::testing::TempDir dir;
    const std::string file = dir.file("Zentra.ini");
    EXPECT_EQ(readIni(file, "Прокси-сервер", "Host"), "");
    EXPECT_EQ(readIni(file, "Прокси-сервер", "Host", "def"), "def");
    writeIni(file, "Прокси-сервер", "Использовать прокси-сервер", "да");
    writeIni(file, "Отправка почты", "SMTP сервер", "smtp.example.ru");
    writeIni(file, "Прокси-сервер", "Порт", "3128");
    const std::string expected = zentra::text::utf8ToCp1251(
        "[Прокси-сервер]\r\nИспользовать прокси-сервер=да\r\nПорт=3128\r\n\r\n"
        "[Отправка почты]\r\nSMTP сервер=smtp.example.ru\r\n");
    EXPECT_EQ(slurp(file), expected);
    // Sections and keys match without regard to case, Cyrillic included.
    EXPECT_EQ(readIni(file, "ПРОКСИ-СЕРВЕР", "использовать ПРОКСИ-сервер"), "да");
    EXPECT_EQ(readIni(file, "отправка почты", "smtp СЕРВЕР"), "smtp.example.ru");
}

TEST(IniFile, OtherLinesAreKeptByteForByte) {
    zentra::testing::TempDir dir;
    const std::string file = dir.file("Zentra.ini");
    const std::string original = zentra::text::utf8ToCp1251(
        "; комментарий\r\n[Соединение]\r\nСпособ соединения=dial up\r\n  странная строка\r\n"
        "[Другое]\r\nКлюч = значение с = внутри \r\n");
    spit(file, original);
    EXPECT_EQ(readIni(file, "Другое", "ключ"), "значение с = внутри");
    writeIni(file, "соединение", "СПОСОБ СОЕДИНЕНИЯ", "локальная сеть");
    const std::string after = slurp(file);
    EXPECT_EQ(after, zentra::text::utf8ToCp1251(
                         "; комментарий\r\n[Соединение]\r\nСПОСОБ СОЕДИНЕНИЯ=локальная сеть\r\n"
                         "  странная строка\r\n[Другое]\r\nКлюч = значение с = внутри \r\n"));
    // A value cp1251 cannot hold is refused, and the file stays as it was.
    EXPECT_THROW(writeIni(file, "Другое", "Ключ", "日本"), zentra::text::EncodingError);
    EXPECT_EQ(slurp(file), after);
    // LF-only files read as well.
    spit(file, "[a]\nb=c\n");
    EXPECT_EQ(readIni(file, "A", "B"), "c");
}
