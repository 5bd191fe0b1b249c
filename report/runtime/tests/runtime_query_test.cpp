// The Query family of Runtime.lib against a copy of the demo catalogue database, through the
// real driver library "Morvane.dll" found beside Runtime.lib.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "database.h"
#include "runtime_loader.h"
#include "statement.h"
#include "support/test_support.h"

using kelvo::testing::cp;
using kelvo::testing::lastError;
using kelvo::testing::utf8;

namespace {

struct Product {
    int64_t id;
    std::string name;  // UTF-8
    double price;
};

class RuntimeQuery : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = zentra::testing::copyTemplateDatabase("demo", dir_);
        params_ = "DBName=" + path_ + ",user_name=SYSDBA,password=masterkey";
    }
    // Whatever a test leaves open is what Kr_EndRun exists for; it also closes the pooled
    // connection before the temporary folder goes.
    void TearDown() override { RT(Kr_EndRun)(); }

    int32_t create(const std::string& sql, const std::string* params = nullptr,
                   const char* driver = "Morvane.dll") {
        return RT(Query_Create)(driver, (params ? *params : params_).c_str(), sql.c_str());
    }

    // An independent connection through the database layer, in UTF-8, as the client has one.
    std::unique_ptr<zentra::db::Database> own() {
        auto db = std::make_unique<zentra::db::Database>();
        db->open({path_, "SYSDBA", "masterkey", "UTF8"});
        return db;
    }

    std::vector<Product> ownProducts(int maxId) {
        auto db = own();
        zentra::db::Statement st(
            *db, "SELECT FID, FNAME, FPRICE FROM TPRODUCTS WHERE FID <= :m ORDER BY FID");
        st.setParam("m", maxId);
        st.execute();
        std::vector<Product> out;
        while (st.fetch()) {
            out.push_back({st.value(0).toInt(), st.value(1).toText(), st.value(2).toDouble()});
        }
        return out;
    }

    zentra::testing::TempDir dir_;
    std::string path_, params_;
};

TEST_F(RuntimeQuery, ReadsProductsWithCyrillicNames) {
    const std::vector<Product> expected = ownProducts(60);
    ASSERT_GT(expected.size(), 10u);
    bool cyrillic = false;
    for (const auto& p : expected)
        cyrillic = cyrillic || p.name.find("\xD0") != std::string::npos;
    ASSERT_TRUE(cyrillic) << "the demo data should have Cyrillic names";

    const int32_t q =
        create("SELECT FID, FNAME, FPRICE FROM TPRODUCTS WHERE FID <= :maxid ORDER BY FID");
    ASSERT_GT(q, 0) << lastError();
    EXPECT_EQ(RT(Query_ParamCount)(q), 1);
    EXPECT_EQ(RT(Query_FieldCount)(q), 3);
    EXPECT_STREQ(RT(FieldNameByIndex)(q, 1), "FNAME");
    RT(Param_AsInteger)(q, 0, 60);
    ASSERT_EQ(RT(Query_Execute)(q), 1) << lastError();
    EXPECT_EQ(RT(Query_RecordCount)(q), static_cast<int32_t>(expected.size()));

    size_t i = 0;
    while (!RT(Query_EOF)(q)) {
        ASSERT_LT(i, expected.size());
        EXPECT_EQ(RT(Field_AsInteger)(q, 0), expected[i].id);
        EXPECT_EQ(utf8(RT(Field_AsPChar)(q, 1)), expected[i].name);
        EXPECT_EQ(RT(Field_AsDouble)(q, 2), expected[i].price);
        RT(Query_Next)(q);
        ++i;
    }
    EXPECT_EQ(i, expected.size());
    EXPECT_EQ(lastError(), "");
    RT(Query_Free)(q);
    EXPECT_EQ(lastError(), "");
}

TEST_F(RuntimeQuery, ParametersAreNumberedPerOccurrenceSkippingLiterals) {
    // The script compiler numbers each ":name" it writes, so one name used twice is two
    // parameters; a colon inside a literal or comment is none.
    const int32_t q = create(
        "SELECT COUNT(*) FROM TPRODUCTS WHERE FID >= :x AND FID <= :x AND FNAME <> ':y' "
        "/* :z */ AND FNUMBER <> :w");
    ASSERT_GT(q, 0) << lastError();
    ASSERT_EQ(RT(Query_ParamCount)(q), 3);
    RT(Param_AsInteger)(q, 0, 5);
    RT(Param_AsDouble)(q, 1, 7);
    RT(Param_AsPChar)(q, 2, "no such number");
    ASSERT_EQ(RT(Query_Execute)(q), 1) << lastError();
    EXPECT_EQ(RT(Field_AsInteger)(q, 0), 3);

    RT(Param_AsInteger)(q, 3, 1);
    EXPECT_NE(lastError(), "") << "there is no fourth parameter";
    RT(Param_AsInteger)(q, -1, 1);
    EXPECT_NE(lastError(), "");
}

TEST_F(RuntimeQuery, CursorMovesLikeADataSet) {
    const int32_t q = create("SELECT FID FROM TPRODUCTS WHERE FID IN (1, 2, 3) ORDER BY FID");
    ASSERT_GT(q, 0) << lastError();
    EXPECT_EQ(RT(Query_EOF)(q), 1) << "nothing to read before Execute";
    ASSERT_EQ(RT(Query_Execute)(q), 1);
    using Flags = std::pair<uint8_t, uint8_t>;  // BOF, EOF
    auto at = [&] { return RT(Field_AsInteger)(q, 0); };
    auto flags = [&] { return std::make_pair(RT(Query_BOF)(q), RT(Query_EOF)(q)); };

    EXPECT_EQ(flags(), Flags(1, 0));
    EXPECT_EQ(at(), 1);
    RT(Query_Next)(q);
    RT(Query_Next)(q);
    EXPECT_EQ(flags(), Flags(0, 0));
    EXPECT_EQ(at(), 3);
    RT(Query_Next)(q);
    EXPECT_EQ(flags(), Flags(0, 1));
    EXPECT_EQ(at(), 3) << "past the end the last row stays current";
    RT(Query_Prior)(q);
    EXPECT_EQ(flags(), Flags(0, 0));
    EXPECT_EQ(at(), 2);
    RT(Query_Prior)(q);
    RT(Query_Prior)(q);
    EXPECT_EQ(flags(), Flags(1, 0));
    EXPECT_EQ(at(), 1);
    RT(Query_Last)(q);
    EXPECT_EQ(flags(), Flags(0, 1));
    EXPECT_EQ(at(), 3);
    RT(Query_First)(q);
    EXPECT_EQ(flags(), Flags(1, 0));
    EXPECT_EQ(at(), 1);

    const int32_t empty = create("SELECT FID FROM TPRODUCTS WHERE FID < 0");
    ASSERT_EQ(RT(Query_Execute)(empty), 1);
    EXPECT_EQ(RT(Query_RecordCount)(empty), 0);
    EXPECT_EQ(RT(Query_EOF)(empty), 1);
    EXPECT_EQ(RT(Query_BOF)(empty), 1);
    RT(Field_AsInteger)(empty, 0);
    EXPECT_NE(lastError(), "") << "no current row";
    EXPECT_EQ(lastError().find("Неверный дескриптор"), std::string::npos);
}

TEST_F(RuntimeQuery, WritesCommitAndNullsReadAsZeroOrEmpty) {
    int64_t dir = 0;
    {
        auto db = own();
        dir =
            zentra::db::Statement(*db, "SELECT MIN(FID) FROM TDIRECTORIES").executeScalar().toInt();
    }
    const std::string name = cp("Ёлочная игрушка «Шар», 5 шт.");
    const int32_t ins = create(
        "INSERT INTO TPRODUCTS (FID, FIDDIRECTORIES, FNUMBER, FNAME, FPRICE) "
        "VALUES (:id, :dir, :num, :name, :price)");
    ASSERT_GT(ins, 0) << lastError();
    RT(Param_AsInteger)(ins, 0, 990001);
    RT(Param_AsInteger)(ins, 1, static_cast<int32_t>(dir));
    RT(Param_AsPChar)(ins, 2, "N-990001");
    RT(Param_AsPChar)(ins, 3, name.c_str());
    RT(Param_AsDouble)(ins, 4, 12.5);
    ASSERT_EQ(RT(Query_Execute)(ins), 1) << lastError();
    EXPECT_EQ(RT(Query_EOF)(ins), 1);
    EXPECT_EQ(RT(Query_RecordCount)(ins), 0);

    {  // Committed: another connection sees the row, and the text arrived as the right letters.
        auto db = own();
        zentra::db::Statement st(*db, "SELECT FNAME FROM TPRODUCTS WHERE FID = 990001");
        EXPECT_EQ(st.executeScalar().toText(), "Ёлочная игрушка «Шар», 5 шт.");
    }

    const int32_t q = create(
        "SELECT FNAME, FCREATEDATE, FPICTURE, CAST(NULL AS INTEGER), FPRICE FROM TPRODUCTS "
        "WHERE FID = :id");
    RT(Param_AsInteger)(q, 0, 990001);
    ASSERT_EQ(RT(Query_Execute)(q), 1) << lastError();
    EXPECT_EQ(std::string(RT(Field_AsPChar)(q, 0)), name);
    for (int32_t column : {1, 2, 3}) {
        EXPECT_STREQ(RT(Field_AsPChar)(q, column), "") << column;
        EXPECT_EQ(RT(Field_AsInteger)(q, column), 0) << column;
        EXPECT_EQ(RT(Field_AsDouble)(q, column), 0.0) << column;
    }
    EXPECT_STREQ(RT(Field_AsPChar)(q, 4), "12,5");
    EXPECT_EQ(RT(Field_AsInteger)(q, 4), 13) << "rounded half away from zero";
    EXPECT_EQ(lastError(), "");

    // The same key again: the failing execute is an error, not a silent false.
    EXPECT_EQ(RT(Query_Execute)(ins), 0);
    EXPECT_NE(lastError(), "");
}

TEST_F(RuntimeQuery, DatesReadAsDayNumbersAndDateTexts) {
    auto db = own();
    zentra::db::Statement st(*db,
                             "SELECT FIRST 1 FID, FCREATEDATE FROM TPRODUCTS WHERE FCREATEDATE "
                             "IS NOT NULL ORDER BY FID");
    st.execute();
    ASSERT_TRUE(st.fetch()) << "the demo data should have creation dates";
    const int64_t id = st.value(0).toInt();
    const zentra::text::Date date = st.value(1).toDate();
    st.close();

    const int32_t q = create(
        "SELECT FCREATEDATE, CAST(FCREATEDATE AS TIMESTAMP) + 0.5 FROM "
        "TPRODUCTS WHERE FID = :id");
    RT(Param_AsInteger)(q, 0, static_cast<int32_t>(id));
    ASSERT_EQ(RT(Query_Execute)(q), 1) << lastError();
    EXPECT_EQ(RT(Field_AsDouble)(q, 0), static_cast<double>(date.serial()));
    EXPECT_STREQ(RT(Field_AsPChar)(q, 0), RT(DateToStr)(date.serial()));
    EXPECT_EQ(RT(Field_AsDouble)(q, 1), date.serial() + 0.5);
    EXPECT_EQ(std::string(RT(Field_AsPChar)(q, 1)),
              std::string(RT(DateToStr)(date.serial())) + " 12:00:00");
}

TEST_F(RuntimeQuery, SeesWhatAnotherConnectionJustCommitted) {
    const std::string count = "SELECT COUNT(*) FROM TCONST WHERE FID = 777";
    const int32_t before = create(count);
    ASSERT_EQ(RT(Query_Execute)(before), 1) << lastError();
    EXPECT_EQ(RT(Field_AsInteger)(before, 0), 0);

    {  // The client commits a row while the report's connection is open.
        auto db = own();
        db->executeImmediate("INSERT INTO TCONST (FID, FNAME, FVALUE) VALUES (777, 'x', 'y')");
        db->defaultTransaction().commit();
    }
    ASSERT_EQ(RT(Query_Execute)(before), 1) << lastError();
    EXPECT_EQ(RT(Field_AsInteger)(before, 0), 1);
}

TEST_F(RuntimeQuery, ConnectionTextForms) {
    // A folder with a comma in its name: DBName runs up to the next known key.
    const std::filesystem::path odd = dir_.path() / "reports, 2026";
    std::filesystem::create_directories(odd);
    std::filesystem::copy_file(path_, odd / "Zentra.fdb");
    const std::string oddPath = cp((odd / "Zentra.fdb").string());

    const std::string forms[] = {
        "DBName=" + oddPath + ",user_name=SYSDBA,password=masterkey",
        "dbname=" + path_ + ", USER_NAME = SYSDBA , Password=masterkey",
        "Role=reader,DBName=" + path_ + ",user_name=SYSDBA",
        "DBName=" + path_,
    };
    for (const std::string& form : forms) {
        const int32_t q = create("SELECT COUNT(*) FROM TPRODUCTS", &form);
        ASSERT_GT(q, 0) << form << ": " << lastError();
        ASSERT_EQ(RT(Query_Execute)(q), 1) << form << ": " << lastError();
        EXPECT_GT(RT(Field_AsInteger)(q, 0), 1000) << form;
        RT(Query_Free)(q);
    }

    for (const char* driver :
         {"morvane.DLL", "C:\\Program Files\\Zentra\\KelvoReport\\Morvane.dll"}) {
        const int32_t q = create("SELECT 1 FROM RDB$DATABASE", nullptr, driver);
        EXPECT_GT(q, 0) << driver << ": " << lastError();
        RT(Query_Free)(q);
    }
}

TEST_F(RuntimeQuery, FailuresAreReportedThroughTheErrorText) {
    const std::string missingDb = "DBName=" + dir_.file("none.fdb") + ",user_name=SYSDBA";
    const std::string noDbName = "user_name=SYSDBA,password=masterkey";
    const struct {
        const char* what;
        std::string sql;
        const std::string* params;
        const char* driver;
        const char* inError;
    } cases[] = {
        {"bad SQL", "SELEKT * FROM TPRODUCTS", nullptr, "Morvane.dll", "SELEKT"},
        {"unknown table", "SELECT * FROM NO_SUCH_TABLE", nullptr, "Morvane.dll", "NO_SUCH_TABLE"},
        {"missing database", "SELECT 1 FROM RDB$DATABASE", &missingDb, "Morvane.dll", "none.fdb"},
        {"no DBName", "SELECT 1 FROM RDB$DATABASE", &noDbName, "Morvane.dll", "DBName"},
        {"missing driver", "SELECT 1 FROM RDB$DATABASE", nullptr, "Nope.dll", "Nope.dll"},
        {"not a driver", "SELECT 1 FROM RDB$DATABASE", nullptr, "Runtime.lib", "Runtime.lib"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(create(c.sql, c.params, c.driver), 0) << c.what;
        EXPECT_NE(lastError().find(c.inError), std::string::npos) << c.what << ": " << lastError();
    }

    RT(Query_Free)(0);
    EXPECT_EQ(lastError(), "") << "the compiled SQL statement frees handle 0 after a failure";

    const int32_t q = create("SELECT FID FROM TPRODUCTS WHERE FID = 1");
    ASSERT_GT(q, 0);
    ASSERT_EQ(RT(Query_Execute)(q), 1);
    RT(Field_AsInteger)(q, 1);
    EXPECT_NE(lastError(), "") << "field 1 of a one-field query";
    RT(FieldNameByIndex)(q, 5);
    EXPECT_NE(lastError(), "");
    RT(Query_Free)(q);

    // Stale, foreign and invented handles fail cleanly in every routine that takes one.
    const int32_t file = RT(FileCreate)(dir_.file("f.txt").c_str());
    for (int32_t h : {q, file, -1, 424242}) {
        EXPECT_EQ(RT(Query_EOF)(h), 1) << h;
        EXPECT_NE(lastError(), "");
        EXPECT_EQ(RT(Query_Execute)(h), 0);
        EXPECT_NE(lastError(), "");
        RT(Query_Next)(h);
        EXPECT_NE(lastError(), "");
        RT(Query_Free)(h);
        EXPECT_NE(lastError(), "");
    }
    RT(FileClose)(file);
}

TEST_F(RuntimeQuery, EndRunFreesQueriesAScriptLeftBehind) {
    // EXIT inside a FOR CONNECT loop skips Query_Free.
    const int32_t q = create("SELECT FID FROM TPRODUCTS");
    ASSERT_EQ(RT(Query_Execute)(q), 1);
    RT(Kr_EndRun)();
    RT(Query_EOF)(q);
    EXPECT_NE(lastError(), "");

    const int32_t next = create("SELECT COUNT(*) FROM TPRODUCTS");
    ASSERT_GT(next, 0) << "a new run connects again: " << lastError();
    EXPECT_EQ(RT(Query_Execute)(next), 1);
}

}  // namespace
