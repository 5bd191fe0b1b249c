// The driver library "Morvane.dll" over the Firebird layer. Each exported routine catches every
// exception at its edge: a C caller has no way to handle a C++ exception, and one escaping
// through dlsym'd code would end the process.
#include "morvane.h"
#include "param_scanner.h"

#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "database.h"
#include "error.h"
#include "statement.h"

namespace {

using zentra::db::Database;
using zentra::db::Statement;
using zentra::db::Value;

struct StatementEntry {
    int32_t connection = 0;
    std::unique_ptr<Statement> stmt;
    int32_t paramCount = 0;
    bool hasRow = false;   // a fetch has delivered a row that is still current
    std::string textCopy;  // the last text handed out by column_text
};

struct ConnectionEntry {
    std::unique_ptr<Database> db;
};

// Handles count up and are never reused, so a handle kept after close stays invalid.
struct State {
    std::mutex mutex;
    int32_t nextHandle = 1;
    std::map<int32_t, ConnectionEntry> connections;
    std::map<int32_t, StatementEntry> statements;
};

State& state() {
    static State s;
    return s;
}

thread_local std::string lastError;

void setError(std::string text) {
    lastError = std::move(text);
}

int32_t newHandle(State& s) {
    if (s.nextHandle == INT32_MAX) s.nextHandle = 1;
    return s.nextHandle++;
}

// Runs `f`, turning any exception into last_error and `failed`.
template <typename R, typename F>
R guarded(R failed, F&& f) {
    try {
        lastError.clear();
        return f();
    } catch (const std::exception& e) {
        setError(e.what());
    } catch (...) {
        setError("Неизвестная ошибка драйвера базы данных");
    }
    return failed;
}

struct BadHandle : std::runtime_error {
    using std::runtime_error::runtime_error;
};

StatementEntry& statementOf(State& s, int32_t h) {
    auto it = s.statements.find(h);
    if (it == s.statements.end()) {
        throw BadHandle("Неверный дескриптор запроса " + std::to_string(h));
    }
    return it->second;
}

// Gives every ":name" occurrence its own marker ":P_<k>", so that the layer, which binds by
// name, binds each occurrence separately: the script compiler numbers occurrences, not names.
std::string numberMarkers(std::string_view sql, int32_t& count) {
    size_t n = 0;
    std::string out =
        zentra::db::rewriteNamedParameters(sql, [&n](const std::string&, size_t index) {
            n = index + 1;
            return ":P_" + std::to_string(index);
        });
    count = static_cast<int32_t>(n);
    return out;
}

void bindValue(int32_t h, int32_t index, Value v) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    StatementEntry& e = statementOf(s, h);
    if (index < 0 || index >= e.paramCount) {
        throw BadHandle("Параметр с номером " + std::to_string(index) +
                        " отсутствует в запросе (параметров: " + std::to_string(e.paramCount) +
                        ")");
    }
    e.stmt->setParam("P_" + std::to_string(index), std::move(v));
}

const Value& currentValue(State& s, int32_t h, int32_t index) {
    StatementEntry& e = statementOf(s, h);
    if (index < 0 || index >= e.stmt->columnCount()) {
        throw BadHandle("Поле с номером " + std::to_string(index) + " отсутствует в запросе");
    }
    if (!e.hasRow) {
        throw BadHandle("Нет текущей записи запроса");
    }
    return e.stmt->value(index);
}

int32_t mvConnect(const char* database, const char* user, const char* password,
                  const char* charset) {
    return guarded<int32_t>(-1, [&] {
        if (!database || !*database) throw BadHandle("Не задан путь к базе данных");
        zentra::db::ConnectParams p;
        p.database = database;
        if (user && *user) p.user = user;
        if (password && *password) p.password = password;
        p.charset = charset && *charset ? charset : "WIN1251";
        auto db = std::make_unique<Database>();
        db->open(p);
        State& s = state();
        std::lock_guard lock(s.mutex);
        const int32_t h = newHandle(s);
        s.connections[h].db = std::move(db);
        return h;
    });
}

int32_t mvDisconnect(int32_t connection) {
    return guarded<int32_t>(-1, [&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        auto it = s.connections.find(connection);
        if (it == s.connections.end()) {
            throw BadHandle("Неверный дескриптор соединения " + std::to_string(connection));
        }
        // Statements first: they free their engine handles through the open connection.
        for (auto st = s.statements.begin(); st != s.statements.end();) {
            if (st->second.connection == connection) {
                st = s.statements.erase(st);
            } else {
                ++st;
            }
        }
        it->second.db->close();
        s.connections.erase(it);
        return 0;
    });
}

int32_t mvPrepare(int32_t connection, const char* sql) {
    return guarded<int32_t>(-1, [&] {
        if (!sql) throw BadHandle("Не задан текст запроса");
        State& s = state();
        std::lock_guard lock(s.mutex);
        auto it = s.connections.find(connection);
        if (it == s.connections.end()) {
            throw BadHandle("Неверный дескриптор соединения " + std::to_string(connection));
        }
        StatementEntry e;
        e.connection = connection;
        const std::string text = numberMarkers(sql, e.paramCount);
        e.stmt = std::make_unique<Statement>(*it->second.db);
        e.stmt->prepare(text);
        const int32_t h = newHandle(s);
        s.statements[h] = std::move(e);
        return h;
    });
}

int32_t mvParamCount(int32_t h) {
    return guarded<int32_t>(-1, [&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        return statementOf(s, h).paramCount;
    });
}

int32_t mvBindNull(int32_t h, int32_t i) {
    return guarded<int32_t>(-1, [&] {
        bindValue(h, i, Value());
        return 0;
    });
}
int32_t mvBindInt64(int32_t h, int32_t i, int64_t v) {
    return guarded<int32_t>(-1, [&] {
        bindValue(h, i, Value(v));
        return 0;
    });
}
int32_t mvBindDouble(int32_t h, int32_t i, double v) {
    return guarded<int32_t>(-1, [&] {
        bindValue(h, i, Value(v));
        return 0;
    });
}
int32_t mvBindText(int32_t h, int32_t i, const char* v) {
    return guarded<int32_t>(-1, [&] {
        bindValue(h, i, v ? Value(std::string(v)) : Value());
        return 0;
    });
}

int32_t mvExecute(int32_t h) {
    return guarded<int32_t>(-1, [&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        StatementEntry& e = statementOf(s, h);
        e.hasRow = false;
        e.stmt->execute();
        if (!e.stmt->isSelect()) {
            s.connections.at(e.connection).db->defaultTransaction().commitRetaining();
        }
        return 0;
    });
}

int32_t mvFetch(int32_t h) {
    return guarded<int32_t>(-1, [&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        StatementEntry& e = statementOf(s, h);
        e.hasRow = false;
        e.hasRow = e.stmt->fetch();
        return e.hasRow ? 1 : 0;
    });
}

int32_t mvIsSelect(int32_t h) {
    return guarded<int32_t>(-1, [&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        return statementOf(s, h).stmt->isSelect() ? 1 : 0;
    });
}

int64_t mvRowsAffected(int32_t h) {
    return guarded<int64_t>(-1, [&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        return static_cast<int64_t>(statementOf(s, h).stmt->rowsAffected());
    });
}

int32_t mvColumnCount(int32_t h) {
    return guarded<int32_t>(-1, [&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        return statementOf(s, h).stmt->columnCount();
    });
}

const char* mvColumnName(int32_t h, int32_t index) {
    return guarded<const char*>(nullptr, [&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        StatementEntry& e = statementOf(s, h);
        if (index < 0 || index >= e.stmt->columnCount()) {
            throw BadHandle("Поле с номером " + std::to_string(index) + " отсутствует в запросе");
        }
        return e.stmt->column(index).name.c_str();
    });
}

int32_t mvColumnKind(int32_t h, int32_t index) {
    return guarded<int32_t>(-1, [&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        const Value& v = currentValue(s, h, index);
        switch (v.kind()) {
            case Value::Kind::Null:
                return int32_t{MORVANE_NULL};
            case Value::Kind::Integer:
                return int32_t{MORVANE_INTEGER};
            case Value::Kind::Double:
                return int32_t{MORVANE_DOUBLE};
            case Value::Kind::Text:
                return int32_t{MORVANE_TEXT};
            case Value::Kind::Date:
            case Value::Kind::DateTime:
                return int32_t{MORVANE_DATE};
            case Value::Kind::Boolean:
                return int32_t{MORVANE_BOOLEAN};
        }
        return int32_t{MORVANE_NULL};
    });
}

int64_t mvColumnInt64(int32_t h, int32_t index) {
    return guarded<int64_t>(0, [&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        return currentValue(s, h, index).toInt();
    });
}

double mvColumnDouble(int32_t h, int32_t index) {
    return guarded<double>(0.0, [&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        const Value& v = currentValue(s, h, index);
        if (v.kind() == Value::Kind::Date) return static_cast<double>(v.toDate().serial());
        if (v.kind() == Value::Kind::DateTime) return v.toDateTime().toDays();
        return v.toDouble();
    });
}

const char* mvColumnText(int32_t h, int32_t index, int32_t* length) {
    return guarded<const char*>(nullptr, [&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        StatementEntry& e = statementOf(s, h);
        const Value& v = currentValue(s, h, index);
        e.textCopy = v.isNull() ? std::string() : v.toText();
        if (length) *length = static_cast<int32_t>(e.textCopy.size());
        return e.textCopy.c_str();
    });
}

int32_t mvCloseStatement(int32_t h) {
    return guarded<int32_t>(-1, [&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        statementOf(s, h);
        s.statements.erase(h);
        return 0;
    });
}

const char* mvLastError() {
    return lastError.c_str();
}

const MorvaneApiV1 kApiV1 = {
    MORVANE_API_VERSION, sizeof(MorvaneApiV1), mvConnect,      mvDisconnect,
    mvPrepare,           mvParamCount,         mvBindNull,     mvBindInt64,
    mvBindDouble,        mvBindText,           mvExecute,      mvFetch,
    mvIsSelect,          mvRowsAffected,       mvColumnCount,  mvColumnName,
    mvColumnKind,        mvColumnInt64,        mvColumnDouble, mvColumnText,
    mvCloseStatement,    mvLastError,
};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) const void* Morvane_GetApi(int32_t version) {
    return version == 1 ? &kApiV1 : nullptr;
}

__attribute__((visibility("default"))) uint8_t DBExecuteVocab(const char*, const char*, const char*,
                                                              const char*, uint8_t, char**,
                                                              char**) {
    setError("Окно выбора из справочника недоступно: оно появится вместе с диалогами отчётов");
    return 0;
}

}  // extern "C"
