// Runs SQL scripts of the kind isql reads: statements ended by the current terminator,
// "SET TERM" to change it (for procedure bodies), "COMMIT;" to commit, comments anywhere.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zentra::db {

class Database;

// Splits a script into statements (without terminators); SET TERM lines are consumed.
std::vector<std::string> splitSqlScript(std::string_view script);

// Executes every statement of the script in the default transaction and commits after each
// DDL statement and at the end. A failing statement throws DbError naming its text.
void runSqlScript(Database& db, std::string_view script);

}  // namespace zentra::db
