#include "app_services.h"

#include <gtest/gtest.h>

#include <fstream>

#include "crypt.h"
#include "text/cp1251.h"
#include "database.h"
#include "ini_file.h"
#include "settings.h"
#include "statement.h"
#include "statements.h"
#include "support/test_support.h"

using namespace zentra;
using namespace zentra::app;
namespace fs = std::filesystem;

TEST(AppServices, FileSizesAndCurrencies) {
    struct Case {
        uint64_t bytes;
        const char* text;
    } cases[] = {{0, "0 байт"},        {1023, "1023 байт"},     {1024, "1 Кб"},
                 {1536, "1,5 Кб"},     {1048576, "1024 Кб"},    {1048577, "1 Мб"},
                 {5767168, "5,5 Мб"},  {1073741824, "1024 Мб"}, {1073741825, "1 Гб"}};
    for (const auto& c : cases) EXPECT_EQ(formatFileSize(c.bytes), c.text) << c.bytes;
    EXPECT_EQ(currencyName(0), "у.е.");
    EXPECT_EQ(currencyName(1), "р.");
    EXPECT_EQ(currencyName(2), "$");
    EXPECT_EQ(currencyName(3), "");
}

TEST(AppServices, WaitingInstallerOfTheNextVersion) {
    struct Case {
        const char* version;
        std::vector<std::string> files;
        const char* started;  // empty: nothing
    } cases[] = {
        {"3.99", {"zt-upd-4.0.exe"}, "zt-upd-4.0.exe"},
        {"3.5", {"zt-upd-3.6.exe"}, "zt-upd-3.6.exe"},
        {"3.5", {"zt-upd-3.7.exe"}, ""},
        {"3.5", {}, ""},
        {"3.6", {"zt-upd-3.70.exe"}, ""},                      // 3.7 is not 3.70
        {"3.6", {"zt-upd-3.70.exe", "zt-upd-3.7.exe"}, "zt-upd-3.7.exe"},
        {"3.6", {"zt-upd-3.7b.exe", "zt-upd-3.7a.exe"}, "zt-upd-3.7a.exe"},  // sorted, not by disk order
        {"3.6", {"ZT-UPD-3.7.EXE"}, "ZT-UPD-3.7.EXE"},
        {"3.6", {".zt-upd-3.7.exe", "zt-upd-3.7.txt"}, ""},
    };
    for (const auto& c : cases) {
        zentra::testing::TempDir dir;
        ProgramFolders folders{dir.path()};
        fs::create_directories(folders.appUpdates());
        for (const auto& f : c.files) std::ofstream(folders.appUpdates() / f) << "x";
        std::string started;
        std::vector<std::string> args;
        const bool result = checkAppUpdate(folders, c.version, "/opt/zentra/Zentra",
                                           [&](const fs::path& file, const std::vector<std::string>& a) {
                                               started = file.filename().string();
                                               args = a;
                                               return true;
                                           });
        EXPECT_EQ(started, c.started) << c.version;
        EXPECT_EQ(result, !started.empty()) << c.version;
        if (!started.empty()) {
            EXPECT_EQ(args, (std::vector<std::string>{"/opt/zentra/Zentra", folders.homeDir()}));
        }
    }
    EXPECT_EQ(nextVersion("1.0"), "1.1");
    EXPECT_EQ(nextVersion("9.99"), "10.0");
    EXPECT_EQ(programVersion(), "1.0");
}

TEST(AppServices, HtmlFrameLinksTheStyleSheetByPath) {
    ProgramFolders folders{"/opt/zentra"};
    const auto frame = HtmlFrame::forFolder(folders);
    EXPECT_EQ(frame.page("T", "B"),
              "<html>\r\n<head>\r\n<title>T</title>\r\n<link href=\"/opt/zentra/Html/template.css\" "
              "rel=\"stylesheet\" type=\"text/css\">\r\n<meta http-equiv=\"Content-Type\" "
              "content=\"text/html; charset=windows-1251\">\r\n</head>\r\n<body>\r\nB\r\n</body>\r\n</html>\r\n");
    EXPECT_NE(frame.page("T", "B", true).find("updatelist.css"), std::string::npos);
}

class SettingsDb : public ::testing::Test {
protected:
    void SetUp() override {
        db::ConnectParams p;
        p.database = zentra::testing::copyTemplateDatabase("empty", dir);
        database.open(p);
    }
    long long rows(int id) {
        db::Statement st(database, "SELECT COUNT(*) FROM TCONST WHERE FID = :ID");
        st.setParam("ID", id);
        return st.executeScalar().toInt();
    }
    zentra::testing::TempDir dir;
    db::Database database;
};

TEST_F(SettingsDb, ReadConstInsertsOnceThenReadsTheStoredValue) {
    ASSERT_EQ(rows(500), 0);
    EXPECT_EQ(readConst(database, 500, true, "Каталог «А»", "Описание", true), "Каталог «А»");
    EXPECT_EQ(rows(500), 1);
    writeConst(database, 500, "Другое имя", true);
    EXPECT_EQ(readConst(database, 500, true, "Каталог «А»", "Описание", true), "Другое имя");
    EXPECT_EQ(rows(500), 1);
    // Stored enciphered, not as plain text.
    db::Statement raw(database, catalogue::sql::kReadConst);
    raw.setParam("pid", 500);
    const std::string stored = raw.executeScalar().toText();
    EXPECT_EQ(stored.find("Другое"), std::string::npos);
    EXPECT_EQ(text::cp1251ToUtf8(cryptText(stored, CryptKey::Catalogue, false)), "Другое имя");
}

TEST_F(SettingsDb, MissingSettingsReadAsDocumented) {
    EXPECT_EQ(readConst(database, 501, false), "");
    EXPECT_EQ(rows(501), 0);
    database.executeImmediate("DELETE FROM TCONST WHERE FID = 19");
    try {
        readConst(database, 19, true);  // enciphered, missing, not inserted
        FAIL();
    } catch (const CryptError& e) {
        EXPECT_EQ(std::string(e.what()), kInvalidFormat);
    }
    writeConst(database, 502, "x", false);  // no row: nothing happens
    EXPECT_EQ(rows(502), 0);
    writeConst(database, 6, "7,5", false);
    EXPECT_EQ(readConst(database, 6, false), "7,5");
    EXPECT_EQ(readSetting(database, 7), "1.0");
}

TEST_F(SettingsDb, CollectSubdirectoriesWalksDepthFirst) {
    auto add = [&](int id, int parent) {
        db::Statement st(database, "INSERT INTO TDIRECTORIES (FID, FNAME, FPARENT) VALUES (:I, :N, :P)");
        st.setParam("I", id);
        st.setParam("N", "g" + std::to_string(id));
        st.setParam("P", parent);
        st.execute();
    };
    add(10, 0);
    add(11, 10);  // a
    add(12, 10);  // b
    add(13, 11);  // c under a
    add(14, 13);
    EXPECT_EQ(collectSubdirectories(database, 10), "11,13,14,12");
    EXPECT_EQ(collectSubdirectories(database, 12), "");
}

TEST(AppServices, ClientProfileFromTheIniFile) {
    zentra::testing::TempDir dir;
    const auto ini = dir.path() / "Zentra.ini";
    const ClientProfile none = ClientProfile::fromIni(ini);
    EXPECT_EQ(none.clientId, "");
    EXPECT_EQ(none.discountType, 0);
    EXPECT_EQ(none.discount, 0);
    EXPECT_EQ(none.clientGroups, "");
    writeIni(ini, "Профиль клиента", "Код клиента", "К-17");
    writeIni(ini, "Профиль клиента", "Тип скидки", "1");
    writeIni(ini, "Профиль клиента", "Скидка", "7,5");
    writeIni(ini, "Профиль клиента", "Группы клиентов", "3,5");
    const ClientProfile p = ClientProfile::fromIni(ini);
    EXPECT_EQ(p.clientId, "К-17");
    EXPECT_EQ(p.discountType, 1);
    EXPECT_DOUBLE_EQ(p.discount, 7.5);
    EXPECT_EQ(p.clientGroups, "3,5");
    writeIni(ini, "Профиль клиента", "Тип скидки", "7");  // unknown types mean no discount
    EXPECT_EQ(ClientProfile::fromIni(ini).discountType, 0);
}
