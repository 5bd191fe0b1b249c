// The exception of the database layer: the engine's text plus the SQL code and the engine
// error code, so that callers can tell a key violation (335544665) from a lost connection.
#pragma once

#include <stdexcept>
#include <string>

namespace zentra::db {

class DbError : public std::runtime_error {
public:
    DbError(std::string message, int sqlCode = 0, long engineCode = 0, std::string sql = {})
        : std::runtime_error(std::move(message)),
          sqlCode_(sqlCode),
          engineCode_(engineCode),
          sql_(std::move(sql)) {}

    int sqlCode() const { return sqlCode_; }
    long engineCode() const { return engineCode_; }
    // The statement that failed, when there was one.
    const std::string& sql() const { return sql_; }

    static constexpr long kUniqueKeyViolation = 335544665;
    static constexpr long kForeignKeyViolation = 335544466;
    static constexpr long kLockConflict = 335544345;

private:
    int sqlCode_;
    long engineCode_;
    std::string sql_;
};

}  // namespace zentra::db
