// The C interface of the driver library "Morvane.dll", loaded with dlopen as Runtime.lib and the
// script dialogs load it.
#include <gtest/gtest.h>

#include <cstring>
#include <type_traits>

#include "morvane.h"
#include "runtime_loader.h"
#include "support/test_support.h"

namespace {

const MorvaneApiV1* api() {
    using GetApi = decltype(&Morvane_GetApi);
    auto get = kelvo::testing::routine<std::remove_pointer_t<GetApi>>(
        kelvo::testing::morvaneLibrary(), "Morvane_GetApi");
    return static_cast<const MorvaneApiV1*>(get(MORVANE_API_VERSION));
}

class Morvane : public ::testing::Test {
  protected:
    void SetUp() override {
        a = api();
        ASSERT_NE(a, nullptr);
        path = zentra::testing::copyTemplateDatabase("demo", dir);
        conn = a->connect(path.c_str(), "SYSDBA", "masterkey", "WIN1251");
        ASSERT_GT(conn, 0) << a->last_error();
    }
    void TearDown() override {
        if (conn > 0) a->disconnect(conn);
    }
    zentra::testing::TempDir dir;
    std::string path;
    const MorvaneApiV1* a = nullptr;
    int32_t conn = 0;
};

TEST(MorvaneApi, OffersVersionOneOnly) {
    using GetApi = decltype(&Morvane_GetApi);
    auto get = kelvo::testing::routine<std::remove_pointer_t<GetApi>>(
        kelvo::testing::morvaneLibrary(), "Morvane_GetApi");
    const auto* v1 = static_cast<const MorvaneApiV1*>(get(1));
    ASSERT_NE(v1, nullptr);
    EXPECT_EQ(v1->version, 1u);
    EXPECT_EQ(v1->size, sizeof(MorvaneApiV1));
    EXPECT_EQ(get(2), nullptr);
    EXPECT_EQ(get(0), nullptr);
}

TEST_F(Morvane, ValueKindsOfARow) {
    const int32_t st = a->prepare(conn,
                                  "SELECT 7, CAST(2.5 AS DOUBLE PRECISION), CAST(1.25 AS "
                                  "NUMERIC(9,2)), 'abc', CAST(NULL AS VARCHAR(5)), DATE "
                                  "'2000-01-01', TRUE FROM RDB$DATABASE");
    ASSERT_GT(st, 0) << a->last_error();
    EXPECT_EQ(a->param_count(st), 0);
    EXPECT_EQ(a->is_select(st), 1);
    ASSERT_EQ(a->execute(st), 0) << a->last_error();
    ASSERT_EQ(a->fetch(st), 1);
    const int32_t kinds[] = {MORVANE_INTEGER, MORVANE_DOUBLE, MORVANE_DOUBLE, MORVANE_TEXT,
                             MORVANE_NULL,    MORVANE_DATE,   MORVANE_BOOLEAN};
    ASSERT_EQ(a->column_count(st), 7);
    for (int32_t i = 0; i < 7; ++i)
        EXPECT_EQ(a->column_kind(st, i), kinds[i]) << i;
    EXPECT_EQ(a->column_int64(st, 0), 7);
    EXPECT_EQ(a->column_double(st, 1), 2.5);
    EXPECT_EQ(a->column_double(st, 2), 1.25);
    int32_t len = -1;
    EXPECT_STREQ(a->column_text(st, 3, &len), "abc");
    EXPECT_EQ(len, 3);
    EXPECT_STREQ(a->column_text(st, 4, &len), "");
    EXPECT_EQ(len, 0);
    EXPECT_EQ(a->column_double(st, 5), 36526.0);
    EXPECT_EQ(a->column_int64(st, 6), 1);
    EXPECT_EQ(a->fetch(st), 0);
    EXPECT_EQ(a->close_statement(st), 0);
}

TEST_F(Morvane, MarkersArePositionalPerOccurrence) {
    const int32_t st = a->prepare(conn,
                                  "SELECT COUNT(*) FROM TPRODUCTS WHERE FID BETWEEN :lo AND :lo "
                                  "-- :hi\n OR FNAME = ':x' OR FNAME = 'a:y' OR FID = :z");
    ASSERT_GT(st, 0) << a->last_error();
    ASSERT_EQ(a->param_count(st), 3);
    EXPECT_EQ(a->bind_int64(st, 0, 10), 0);
    EXPECT_EQ(a->bind_int64(st, 1, 12), 0);
    EXPECT_EQ(a->bind_null(st, 2), 0);
    EXPECT_EQ(a->bind_int64(st, 3, 1), -1);
    EXPECT_NE(std::strlen(a->last_error()), 0u);
    ASSERT_EQ(a->execute(st), 0) << a->last_error();
    ASSERT_EQ(a->fetch(st), 1);
    EXPECT_EQ(a->column_int64(st, 0), 3);
}

TEST_F(Morvane, BadHandlesAndFailuresGiveMinusOneAndAMessage) {
    EXPECT_EQ(a->connect((path + ".missing").c_str(), "SYSDBA", "masterkey", "WIN1251"), -1);
    EXPECT_NE(std::strlen(a->last_error()), 0u);

    EXPECT_EQ(a->prepare(conn, "SELEKT 1"), -1);
    EXPECT_NE(std::strstr(a->last_error(), "SELEKT"), nullptr) << a->last_error();

    const int32_t st = a->prepare(conn, "SELECT 1 FROM RDB$DATABASE");
    ASSERT_GT(st, 0);
    EXPECT_EQ(a->fetch(st), 0) << "not executed: no rows";
    EXPECT_EQ(a->column_kind(st, 0), -1) << "no current row";
    EXPECT_EQ(a->prepare(st, "SELECT 1 FROM RDB$DATABASE"), -1) << "a statement is no connection";
    EXPECT_EQ(a->execute(conn), -1) << "a connection is no statement";
    EXPECT_EQ(a->close_statement(st), 0);
    EXPECT_EQ(a->close_statement(st), -1);
    EXPECT_EQ(a->execute(st), -1);
    EXPECT_EQ(a->column_name(st, 0), nullptr);

    // Disconnecting frees the connection's statements with it.
    const int32_t left = a->prepare(conn, "SELECT 1 FROM RDB$DATABASE");
    ASSERT_GT(left, 0);
    EXPECT_EQ(a->disconnect(conn), 0);
    EXPECT_EQ(a->execute(left), -1);
    EXPECT_EQ(a->disconnect(conn), -1);
    conn = 0;
}

TEST(MorvaneLookup, NotAvailableUntilTheDialogsArrive) {
    auto lookup = kelvo::testing::routine<decltype(DBExecuteVocab)>(
        kelvo::testing::morvaneLibrary(), "DBExecuteVocab");
    char result[16] = "keep", text[16] = "keep";
    char* r = result;
    char* t = text;
    EXPECT_EQ(lookup("Товары", "DBName=x", "FNAME", "SELECT 1", 0, &r, &t), 0);
    EXPECT_STREQ(result, "keep");
    EXPECT_STREQ(text, "keep");
    EXPECT_NE(std::strlen(api()->last_error()), 0u);
}

}  // namespace
