// A prepared SQL statement with ":name" parameters. Prepare once, bind, execute many times.
// Selects are read row by row with fetch(); EXECUTE PROCEDURE and INSERT ... RETURNING give
// their one row to the first fetch().
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "value.h"

namespace zentra::db {

class Database;
class Transaction;

enum class ColumnType {
    Integer,    // SMALLINT, INTEGER, BIGINT without scale
    Numeric,    // NUMERIC/DECIMAL with scale, read as double
    Double,     // FLOAT, DOUBLE PRECISION
    Text,       // CHAR, VARCHAR
    Memo,       // text BLOB
    Blob,       // binary BLOB (bytes in a text value)
    Date,
    Time,       // DateTime with day 0
    Timestamp,
    Boolean,
};

struct Column {
    std::string name;      // alias (the name callers use)
    std::string relation;  // table of the column, may be empty
    ColumnType type = ColumnType::Text;
    int size = 0;   // characters for texts, digits for numerics, bytes otherwise
    int scale = 0;  // fraction digits of numerics
    bool nullable = true;
};

class Statement {
public:
    // Runs in `tr`, or in the database's default transaction when `tr` is null.
    explicit Statement(Database& db, Transaction* tr = nullptr);
    Statement(Database& db, std::string_view sql, Transaction* tr = nullptr);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void prepare(std::string_view sql);
    bool prepared() const;
    const std::string& sql() const { return sql_; }

    // Parameter names in order of first appearance, upper-cased.
    std::vector<std::string> paramNames() const;
    bool hasParam(std::string_view name) const;
    // Binds every occurrence of the named parameter (case-insensitive); unknown names throw.
    void setParam(std::string_view name, Value value);
    void clearParams();

    // Runs the statement; a select leaves its cursor open for fetch().
    void execute();
    // Moves to the next row; false at the end. Text BLOBs are read in full here.
    bool fetch();
    // Closes an open cursor (execute() does it too before running again).
    void close();

    int columnCount() const;
    const Column& column(int index) const;
    int columnIndex(std::string_view name) const;  // -1 when absent (case-insensitive)
    const Value& value(int index) const;
    const Value& value(std::string_view name) const;  // throws when absent
    // The current row, for callers that keep rows (data sets); the statement keeps a copy.
    const std::vector<Value>& row() const;

    bool isSelect() const;
    long long rowsAffected() const;

    // Convenience: execute and return the first column of the first row (null when no row).
    Value executeScalar();

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
    std::string sql_;
};

}  // namespace zentra::db
