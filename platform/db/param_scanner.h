// Named statement parameters: ":name" markers are replaced by "?" and their names listed in
// order of appearance. String literals, quoted identifiers and comments are copied untouched,
// so a colon inside them is never taken for a parameter.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zentra::db {

struct ScannedSql {
    std::string sql;                 // the text with every marker replaced by "?"
    std::vector<std::string> names;  // one entry per "?", upper-cased, in order
};

ScannedSql scanNamedParameters(std::string_view sql);

// The general form: every ":name" marker (outside literals, quoted identifiers and comments)
// is replaced by what `replace` returns for it; `index` counts markers from 0. Returns the new
// text; `names` receives each marker's upper-cased name in order.
std::string rewriteNamedParameters(
    std::string_view sql, const std::function<std::string(const std::string& name, size_t index)>& replace,
    std::vector<std::string>* names = nullptr);

// The SQL literal of a text: single quotes around it, each quote inside doubled.
std::string quoteSqlLiteral(std::string_view text);

}  // namespace zentra::db
