// The database layer against a real embedded Firebird database made in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "database.h"
#include "error.h"
#include "sql_script.h"
#include "statement.h"
#include "support/test_support.h"

using namespace zentra::db;
using zentra::testing::TempDir;

namespace {

class FirebirdTest : public ::testing::Test {
protected:
    void SetUp() override {
        params.database = dir.file("t.fdb");
        db.create(params);
        runSqlScript(db, R"(
            CREATE TABLE T (
              ID INTEGER NOT NULL PRIMARY KEY,
              NAME VARCHAR(40),
              PRICE NUMERIC(15,2),
              RATE DOUBLE PRECISION,
              D DATE,
              TS TIMESTAMP,
              MEMO BLOB SUB_TYPE TEXT,
              FLAG BOOLEAN);
            CREATE GENERATOR GEN_T;
            SET TERM ^ ;
            CREATE PROCEDURE TWICE (X INTEGER) RETURNS (Y INTEGER, S VARCHAR(20)) AS
            BEGIN
              Y = X * 2;
              S = 'два';
              SUSPEND;
            END^
            SET TERM ; ^
        )");
    }

    TempDir dir;
    ConnectParams params;
    Database db;
};

}  // namespace

TEST_F(FirebirdTest, ValuesRoundTripByType) {
    Statement ins(db,
                  "INSERT INTO T (ID, NAME, PRICE, RATE, D, TS, MEMO, FLAG) "
                  "VALUES (:ID, :NAME, :PRICE, :RATE, :D, :TS, :MEMO, :FLAG)");
    const Date d = Date::fromYmd(2026, 12, 31);
    const DateTime ts{Date::fromYmd(2000, 2, 29), ((13 * 60 + 5) * 60 + 7) * 1000 + 250};
    const std::string memo(100000, 'x');
    ins.setParam("id", 1);
    ins.setParam("NAME", "Ёлка «новая» №5");
    ins.setParam("Price", 12.345);  // the engine rounds to the column's scale
    ins.setParam("rate", 1.0 / 3);
    ins.setParam("d", d);
    ins.setParam("ts", ts);
    ins.setParam("memo", "Описание " + memo);
    ins.setParam("flag", true);
    ins.execute();
    EXPECT_EQ(ins.rowsAffected(), 1);
    ins.clearParams();
    ins.setParam("id", 2);  // everything else null
    ins.execute();

    Statement sel(db, "SELECT ID, NAME, PRICE, RATE, D, TS, MEMO, FLAG FROM T ORDER BY ID");
    sel.execute();
    ASSERT_TRUE(sel.fetch());
    EXPECT_EQ(sel.value("ID").toInt(), 1);
    EXPECT_EQ(sel.value("NAME").toText(), "Ёлка «новая» №5");
    EXPECT_DOUBLE_EQ(sel.value("PRICE").toDouble(), 12.35);
    EXPECT_DOUBLE_EQ(sel.value("RATE").toDouble(), 1.0 / 3);
    EXPECT_EQ(sel.value("D").toDate(), d);
    EXPECT_EQ(sel.value("TS").toDateTime(), ts);
    EXPECT_EQ(sel.value("MEMO").toText(), "Описание " + memo);
    EXPECT_TRUE(sel.value("FLAG").toBool());
    EXPECT_EQ(sel.column(2).type, ColumnType::Numeric);
    EXPECT_EQ(sel.column(2).scale, 2);
    EXPECT_EQ(sel.column(1).size, 40);
    EXPECT_EQ(sel.column(6).type, ColumnType::Memo);
    ASSERT_TRUE(sel.fetch());
    for (int i = 1; i < sel.columnCount(); ++i) EXPECT_TRUE(sel.value(i).isNull()) << i;
    EXPECT_FALSE(sel.fetch());
}

TEST_F(FirebirdTest, TextOutsideTheDatabaseCharsetIsRefused) {
    Statement ins(db, "INSERT INTO T (ID, NAME) VALUES (:ID, :NAME)");
    ins.setParam("ID", 1);
    ins.setParam("NAME", "日本");
    try {
        ins.execute();
        FAIL() << "stored a character WIN1251 cannot hold";
    } catch (const DbError& e) {
        EXPECT_NE(e.engineCode(), 0);
        EXPECT_NE(std::string(e.what()).find("transliterate"), std::string::npos) << e.what();
    }
    // Too long for the column: refused, not cut.
    ins.setParam("NAME", std::string(41, 'a'));
    EXPECT_THROW(ins.execute(), DbError);
}

TEST_F(FirebirdTest, PreparedOnceExecutedManyTimes) {
    Statement ins(db, "INSERT INTO T (ID, PRICE) VALUES (:ID, :ID * 1.5)");
    for (int i = 1; i <= 200; ++i) {
        ins.setParam("ID", i);
        ins.execute();
    }
    Statement sum(db, "SELECT COUNT(*), SUM(PRICE) FROM T WHERE ID > :LO");
    sum.setParam("LO", 100);
    sum.execute();
    ASSERT_TRUE(sum.fetch());
    EXPECT_EQ(sum.value(0).toInt(), 100);
    EXPECT_DOUBLE_EQ(sum.value(1).toDouble(), 1.5 * (101 + 200) * 100 / 2);
    sum.setParam("LO", 190);
    EXPECT_EQ(sum.executeScalar().toInt(), 10);
}

TEST_F(FirebirdTest, ProcedureAndReturningGiveOneRow) {
    Statement proc(db, "EXECUTE PROCEDURE TWICE(:X)");
    proc.setParam("X", 21);
    proc.execute();
    ASSERT_TRUE(proc.fetch());
    EXPECT_EQ(proc.value("Y").toInt(), 42);
    EXPECT_EQ(proc.value("S").toText(), "два");
    EXPECT_FALSE(proc.fetch());

    Statement ins(db, "INSERT INTO T (ID, NAME) VALUES (GEN_ID(GEN_T, 1), :N) RETURNING ID");
    ins.setParam("N", "a");
    ins.execute();
    ASSERT_TRUE(ins.fetch());
    EXPECT_EQ(ins.value(0).toInt(), 1);
    ins.execute();
    ASSERT_TRUE(ins.fetch());
    EXPECT_EQ(ins.value(0).toInt(), 2);

    Statement sel(db, "SELECT Y FROM TWICE(5)");
    EXPECT_EQ(sel.executeScalar().toInt(), 10);
}

TEST_F(FirebirdTest, ErrorsCarryCodesAndText) {
    Statement ins(db, "INSERT INTO T (ID) VALUES (:ID)");
    ins.setParam("ID", 7);
    ins.execute();
    try {
        ins.execute();
        FAIL();
    } catch (const DbError& e) {
        EXPECT_EQ(e.engineCode(), DbError::kUniqueKeyViolation);
        EXPECT_EQ(e.sqlCode(), -803);
        EXPECT_NE(std::string(e.what()).find("PRIMARY"), std::string::npos) << e.what();
        EXPECT_EQ(e.sql(), "INSERT INTO T (ID) VALUES (:ID)");
    }
    try {
        Statement bad(db, "SELECT NOPE FROM T");
        FAIL();
    } catch (const DbError& e) {
        EXPECT_EQ(e.sqlCode(), -206);
        EXPECT_NE(std::string(e.what()).find("NOPE"), std::string::npos);
    }
    EXPECT_THROW(ins.setParam("MISSING", 1), DbError);
    Database missing;
    ConnectParams p;
    p.database = dir.file("nothing-here.fdb");
    EXPECT_THROW(missing.open(p), DbError);
}

TEST_F(FirebirdTest, CommitRetainingKeepsCursorsAndOthersSeeCommits) {
    Statement ins(db, "INSERT INTO T (ID) VALUES (:ID)");
    for (int i = 1; i <= 5; ++i) {
        ins.setParam("ID", i);
        ins.execute();
    }
    db.defaultTransaction().commitRetaining();

    Transaction other(db);
    Statement sel(db, "SELECT ID FROM T ORDER BY ID", &other);
    sel.execute();
    ASSERT_TRUE(sel.fetch());
    EXPECT_EQ(sel.value(0).toInt(), 1);

    // A change committed elsewhere is visible to the read-committed transaction at once,
    // and its own commit retaining leaves the open cursor usable.
    ins.setParam("ID", 6);
    ins.execute();
    db.defaultTransaction().commitRetaining();
    Statement count(db, "SELECT COUNT(*) FROM T", &other);
    EXPECT_EQ(count.executeScalar().toInt(), 6);
    other.commitRetaining();
    int seen = 1;
    while (sel.fetch()) ++seen;
    EXPECT_GE(seen, 5);

    // Rolled-back work disappears.
    ins.setParam("ID", 99);
    ins.execute();
    db.defaultTransaction().rollback();
    Statement exists(db, "SELECT COUNT(*) FROM T WHERE ID = 99");
    EXPECT_EQ(exists.executeScalar().toInt(), 0);
}

TEST_F(FirebirdTest, WriteConflictFailsAtOnceInsteadOfWaiting) {
    Statement ins(db, "INSERT INTO T (ID, NAME) VALUES (1, 'a')");
    ins.execute();
    db.defaultTransaction().commitRetaining();
    Transaction a(db), b(db);
    Statement ua(db, "UPDATE T SET NAME = 'b' WHERE ID = 1", &a);
    Statement ub(db, "UPDATE T SET NAME = 'c' WHERE ID = 1", &b);
    ua.execute();
    try {
        ub.execute();
        FAIL();
    } catch (const DbError& e) {
        EXPECT_EQ(e.sqlCode(), -913) << e.what();  // lock conflict / deadlock
    }
}

TEST_F(FirebirdTest, Cp1251ConnectionPassesBytes) {
    Statement ins(db, "INSERT INTO T (ID, NAME) VALUES (1, :N)");
    ins.setParam("N", "Ёж");
    ins.execute();
    db.defaultTransaction().commit();
    db.close();
    ConnectParams p = params;
    p.charset = "WIN1251";
    db.open(p);
    Statement sel(db, "SELECT NAME FROM T WHERE UPPER(NAME) = :N");
    sel.setParam("N", "\xA8\xC6");  // "ЁЖ" in cp1251
    EXPECT_EQ(sel.executeScalar().toText(), "\xA8\xE6");
}

TEST(FirebirdPaths, CyrillicFolderNamesWork) {
    TempDir dir;
    const std::string folder = dir.file("Заказы клиента");
    std::filesystem::create_directory(folder);
    ConnectParams p;
    p.database = folder + "/Каталог.fdb";
    {
        Database db;
        db.create(p);
        runSqlScript(db, "CREATE TABLE T (A INTEGER);");
    }
    Database db;
    db.open(p);
    Statement st(db, "SELECT COUNT(*) FROM T");
    EXPECT_EQ(st.executeScalar().toInt(), 0);
}
