#include "sql_script.h"

#include <cctype>

#include "database.h"
#include "error.h"
#include "text/cp1251.h"

namespace zentra::db {
namespace {

std::string trimmed(std::string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return std::string(s.substr(a, b - a));
}

bool startsWithWord(const std::string& upperText, std::string_view word) {
    return upperText.rfind(word, 0) == 0 &&
           (upperText.size() == word.size() ||
            !std::isalnum(static_cast<unsigned char>(upperText[word.size()])));
}

}  // namespace

std::vector<std::string> splitSqlScript(std::string_view s) {
    std::vector<std::string> out;
    std::string term = ";";
    std::string current;
    size_t i = 0;
    auto flush = [&]() {
        std::string stmt = trimmed(current);
        current.clear();
        if (stmt.empty()) return;
        const std::string up = text::upperCp1251(stmt);
        if (startsWithWord(up, "SET")) {
            const std::string rest = trimmed(std::string_view(up).substr(3));
            if (startsWithWord(rest, "TERM")) {
                term = trimmed(std::string_view(stmt).substr(stmt.size() - (rest.size() - 4)));
                if (term.empty()) throw DbError("SET TERM без нового разделителя");
                return;
            }
        }
        out.push_back(std::move(stmt));
    };
    while (i < s.size()) {
        const char c = s[i];
        if (c == '\'' || c == '"') {
            const char q = c;
            current += s[i++];
            while (i < s.size()) {
                current += s[i];
                if (s[i++] == q) {
                    if (i < s.size() && s[i] == q) {
                        current += s[i++];
                        continue;
                    }
                    break;
                }
            }
        } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            while (i < s.size() && s[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            const size_t end = s.find("*/", i + 2);
            // Comments are kept inside statements (procedure bodies may carry them) but
            // dropped between statements.
            const size_t stop = end == std::string_view::npos ? s.size() : end + 2;
            if (!trimmed(current).empty()) current.append(s.substr(i, stop - i));
            i = stop;
        } else if (s.substr(i, term.size()) == term) {
            i += term.size();
            flush();
        } else {
            current += c;
            ++i;
        }
    }
    flush();
    return out;
}

void runSqlScript(Database& db, std::string_view script) {
    Transaction& tr = db.defaultTransaction();
    for (const std::string& stmt : splitSqlScript(script)) {
        const std::string up = text::upperCp1251(stmt);
        if (up == "COMMIT" || up == "COMMIT WORK") {
            tr.commit();
            continue;
        }
        const bool ddl = startsWithWord(up, "CREATE") || startsWithWord(up, "ALTER") ||
                         startsWithWord(up, "DROP") || startsWithWord(up, "RECREATE") ||
                         startsWithWord(up, "DECLARE") || startsWithWord(up, "COMMENT");
        db.executeImmediate(stmt, &tr);
        if (ddl) tr.commit();
    }
    tr.commit();
}

}  // namespace zentra::db
