#include "param_scanner.h"
#include "sql_script.h"

#include <gtest/gtest.h>

using namespace zentra::db;

TEST(ParamScanner, ReplacesMarkersOutsideLiteralsAndComments) {
    struct Case {
        const char* in;
        const char* sql;
        std::vector<std::string> names;
    } cases[] = {
        {" select fvalue from tconst where fid=:pid", " select fvalue from tconst where fid=?",
         {"PID"}},
        {"INSERT INTO T (A,B) VALUES (:pA,:pB)", "INSERT INTO T (A,B) VALUES (?,?)", {"PA", "PB"}},
        {"select ':x', \"a:b\" from t where a=:a and b=:a", "select ':x', \"a:b\" from t where a=? and b=?",
         {"A", "A"}},
        {"select 'it''s :not' from t where a=:y", "select 'it''s :not' from t where a=?", {"Y"}},
        {"select a -- :c1\n, b /* :c2 */ from t where c=:C3",
         "select a -- :c1\n, b /* :c2 */ from t where c=?", {"C3"}},
        {"select a::int from t", "select a::int from t", {}},
        {"update t set x = :x1_$ where y='unterminated :z", "update t set x = ? where y='unterminated :z",
         {"X1_$"}},
    };
    for (const auto& c : cases) {
        const auto r = scanNamedParameters(c.in);
        EXPECT_EQ(r.sql, c.sql) << c.in;
        EXPECT_EQ(r.names, c.names) << c.in;
    }
}

TEST(ParamScanner, QuotesLiterals) {
    EXPECT_EQ(quoteSqlLiteral("O'Brien"), "'O''Brien'");
    EXPECT_EQ(quoteSqlLiteral(""), "''");
    EXPECT_EQ(quoteSqlLiteral("''"), "''''''");
}

TEST(SqlScript, SplitsOnTheCurrentTerminator) {
    const auto parts = splitSqlScript(
        "-- header\ncreate table t (a int);\n"
        "SET TERM ^ ;\n"
        "create procedure p as begin insert into t values (1); end^\n"
        "SET TERM ; ^\n"
        "insert into t values (';');\n/* tail */");
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0], "create table t (a int)");
    EXPECT_EQ(parts[1], "create procedure p as begin insert into t values (1); end");
    EXPECT_EQ(parts[2], "insert into t values (';')");
}
