#include "param_scanner.h"

#include <cctype>

namespace zentra::db {
namespace {

bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

// Copies a quoted run (literal or identifier) whose opening quote is at `i`; a doubled quote
// stands for one quote and does not end the run. Returns the index after the closing quote.
size_t copyQuoted(std::string_view sql, size_t i, std::string& out) {
    const char q = sql[i];
    out += sql[i++];
    while (i < sql.size()) {
        out += sql[i];
        if (sql[i] == q) {
            if (i + 1 < sql.size() && sql[i + 1] == q) {
                out += sql[i + 1];
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return i;
}

}  // namespace

ScannedSql scanNamedParameters(std::string_view sql) {
    ScannedSql r;
    r.sql = rewriteNamedParameters(sql, [](const std::string&, size_t) { return std::string("?"); },
                                   &r.names);
    return r;
}

std::string rewriteNamedParameters(
    std::string_view sql, const std::function<std::string(const std::string& name, size_t index)>& replace,
    std::vector<std::string>* names) {
    std::string out;
    out.reserve(sql.size());
    size_t count = 0;
    size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            i = copyQuoted(sql, i, out);
        } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            const size_t end = sql.find('\n', i);
            const size_t stop = end == std::string_view::npos ? sql.size() : end;
            out.append(sql.substr(i, stop - i));
            i = stop;
        } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            const size_t end = sql.find("*/", i + 2);
            const size_t stop = end == std::string_view::npos ? sql.size() : end + 2;
            out.append(sql.substr(i, stop - i));
            i = stop;
        } else if (c == ':' && i + 1 < sql.size() && sql[i + 1] == ':') {
            out += "::";  // not a marker: a cast in other dialects, kept as written
            i += 2;
        } else if (c == ':' && i + 1 < sql.size() && isNameStart(sql[i + 1])) {
            size_t j = i + 1;
            std::string name;
            while (j < sql.size() && isNameChar(sql[j])) {
                name += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[j])));
                ++j;
            }
            out += replace(name, count++);
            if (names) names->push_back(std::move(name));
            i = j;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

std::string quoteSqlLiteral(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    out += '\'';
    return out;
}

}  // namespace zentra::db
