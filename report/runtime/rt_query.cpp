// The Query family over a database driver library (normally "Morvane.dll" beside this library).
// Results are read in full at Query_Execute, so that RecordCount, Last, Prior and BOF are exact
// without a scrollable cursor; report queries are small next to the memory of a workstation.
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "morvane.h"
#include "rt_support.h"
#include "runtime_abi.h"
#include "text/cp1251.h"
#include "text/datetime.h"
#include "text/format_settings.h"

namespace kelvo::runtime {
namespace {

using zentra::text::FormatSettings;

struct Driver {
    void* library = nullptr;
    const MorvaneApiV1* api = nullptr;
};

struct Connection {
    const MorvaneApiV1* api = nullptr;
    int32_t handle = 0;
};

struct Cell {
    int32_t kind = MORVANE_NULL;
    int64_t i = 0;
    double d = 0;
    std::string t;
};

struct Query {
    const MorvaneApiV1* api = nullptr;
    int32_t statement = 0;
    int32_t paramCount = 0;
    std::vector<std::string> names;
    std::vector<std::vector<Cell>> rows;
    size_t pos = 0;
    bool bof = true;
    bool eof = true;
};

// Everything lives until Kr_EndRun except the driver libraries, which stay loaded for the
// process: a driver with an embedded database engine does not survive being unloaded and loaded
// again, and loading it is the slow part.
struct State {
    std::mutex mutex;
    std::map<std::string, Driver> drivers;          // by resolved path
    std::map<std::string, Connection> connections;  // by driver path and connection parameters
    std::map<int32_t, Query> queries;
};
State& state() {
    static State s;
    return s;
}

// The driver is looked up beside this library only, by the base name of DB_Driver (a path
// written for another machine, with backslashes, is reduced to its last part): a report file
// cannot make the report server load a library from anywhere else. An exact name is tried
// first, then a name that differs only in letter case, as the original file system would match.
std::string driverPath(std::string_view driver) {
    std::string name(driver);
    const size_t cut = name.find_last_of("/\\");
    if (cut != std::string::npos) name = name.substr(cut + 1);
    if (name.empty() || name == "." || name == "..") {
        throw RtError(cp("Не задана библиотека драйвера базы данных"));
    }
    const std::string dir = ownDirectory();
    const std::string exact = dir + "/" + name;
    if (::access(exact.c_str(), F_OK) == 0) return exact;
    if (DIR* d = ::opendir(dir.c_str())) {
        std::string found;
        while (dirent* e = ::readdir(d)) {
            if (zentra::text::equalsNoCase(e->d_name, name)) {
                found = dir + "/" + e->d_name;
                break;
            }
        }
        ::closedir(d);
        if (!found.empty()) return found;
    }
    throw RtError(cp("Библиотека драйвера базы данных \"") + std::string(driver) +
                  cp("\" не найдена рядом с Runtime.lib"));
}

const MorvaneApiV1* loadDriver(State& s, const std::string& path) {
    auto it = s.drivers.find(path);
    if (it != s.drivers.end()) return it->second.api;
    void* lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = ::dlerror();
        throw RtError(cp("Не удалось загрузить библиотеку драйвера \"") + path +
                      "\": " + foreignMessage(why ? why : ""));
    }
    using GetApi = const void* (*)(int32_t);
    auto getApi = reinterpret_cast<GetApi>(::dlsym(lib, "Morvane_GetApi"));
    const auto* api = getApi ? static_cast<const MorvaneApiV1*>(getApi(1)) : nullptr;
    if (!api || api->version != 1 || api->size < sizeof(MorvaneApiV1)) {
        ::dlclose(lib);
        throw RtError(cp("Библиотека \"") + path +
                      cp("\" не является драйвером базы данных версии 1"));
    }
    s.drivers[path] = Driver{lib, api};
    return api;
}

// DB_Params: "name=value" pairs separated by commas, keys in any letter case, unknown keys
// ignored. A database path may itself hold commas, so the value of DBName runs up to the next
// ",key=" whose key is one of the known ones; other values end at the next comma.
struct ConnectionParams {
    std::string database, user, password;
    std::string charset = "WIN1251";
};

const char* const kKnownKeys[] = {"dbname", "user_name", "password", "lc_ctype"};

bool knownKeyAt(std::string_view text, size_t pos) {
    for (const char* key : kKnownKeys) {
        const std::string_view k(key);
        size_t p = pos;
        while (p < text.size() && text[p] == ' ')
            ++p;
        if (p + k.size() > text.size()) continue;
        if (!zentra::text::equalsNoCase(text.substr(p, k.size()), k)) continue;
        p += k.size();
        while (p < text.size() && text[p] == ' ')
            ++p;
        if (p < text.size() && text[p] == '=') return true;
    }
    return false;
}

std::string trimmed(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && s[b] == ' ')
        ++b;
    while (e > b && s[e - 1] == ' ')
        --e;
    return std::string(s.substr(b, e - b));
}

ConnectionParams parseParams(std::string_view text) {
    ConnectionParams p;
    size_t i = 0;
    while (i < text.size()) {
        size_t eq = text.find('=', i);
        size_t comma = text.find(',', i);
        if (eq == std::string_view::npos || (comma != std::string_view::npos && comma < eq)) {
            // A part without "=": nothing to take, skip to the next comma.
            if (comma == std::string_view::npos) break;
            i = comma + 1;
            continue;
        }
        const std::string key = zentra::text::lowerCp1251(trimmed(text.substr(i, eq - i)));
        size_t end = eq + 1;
        if (key == "dbname") {
            end = text.size();
            for (size_t c = text.find(',', eq + 1); c != std::string_view::npos;
                 c = text.find(',', c + 1)) {
                if (knownKeyAt(text, c + 1)) {
                    end = c;
                    break;
                }
            }
        } else {
            end = text.find(',', eq + 1);
            if (end == std::string_view::npos) end = text.size();
        }
        const std::string value = trimmed(text.substr(eq + 1, end - eq - 1));
        // The path is a file name: cp1251 in the script, UTF-8 on the file system.
        if (key == "dbname")
            p.database = zentra::text::cp1251ToUtf8(value);
        else if (key == "user_name")
            p.user = value;
        else if (key == "password")
            p.password = value;
        else if (key == "lc_ctype" && !value.empty())
            p.charset = value;
        i = end + 1;
    }
    if (p.database.empty()) throw RtError(cp("В параметрах соединения не задан DBName"));
    return p;
}

std::string driverMessage(const MorvaneApiV1* api) {
    const char* m = api->last_error();
    return foreignMessage(m ? m : "");
}

Query& queryOf(State& s, int32_t handle) {
    auto it = s.queries.find(handle);
    if (it == s.queries.end()) {
        throw RtError(cp("Неверный дескриптор запроса: ") + std::to_string(handle));
    }
    return it->second;
}

// Runs body on the query of handle under the library's lock; a stale or foreign handle fails
// through guarded with its message, and the export answers the fallback.
template <typename R, typename F>
R onQuery(int32_t handle, R fallback, F&& body) noexcept {
    return guarded<R>(fallback, [&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        return body(queryOf(s, handle));
    });
}

// The same for exports without a result.
template <typename F>
void onQuery(int32_t handle, F&& body) noexcept {
    guardedVoid([&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        body(queryOf(s, handle));
    });
}

const Cell& currentCell(const Query& q, int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= q.names.size()) {
        throw RtError(cp("Поле с номером ") + std::to_string(index) +
                      cp(" отсутствует в запросе (полей: ") + std::to_string(q.names.size()) + ")");
    }
    if (q.rows.empty()) throw RtError(cp("Нет текущей записи: запрос не выполнен или пуст"));
    return q.rows[q.pos][static_cast<size_t>(index)];
}

void readRows(Query& q) {
    const MorvaneApiV1* api = q.api;
    q.rows.clear();
    const size_t n = q.names.size();
    for (;;) {
        const int32_t rc = api->fetch(q.statement);
        if (rc < 0) throw RtError(driverMessage(api));
        if (rc == 0) break;
        std::vector<Cell> row(n);
        for (size_t c = 0; c < n; ++c) {
            const auto col = static_cast<int32_t>(c);
            Cell& cell = row[c];
            cell.kind = api->column_kind(q.statement, col);
            switch (cell.kind) {
                case MORVANE_INTEGER:
                case MORVANE_BOOLEAN:
                    cell.i = api->column_int64(q.statement, col);
                    break;
                case MORVANE_DOUBLE:
                case MORVANE_DATE:
                    cell.d = api->column_double(q.statement, col);
                    break;
                case MORVANE_TEXT: {
                    int32_t len = 0;
                    const char* t = api->column_text(q.statement, col, &len);
                    if (t) cell.t.assign(t, static_cast<size_t>(len));
                    break;
                }
                case MORVANE_NULL:
                    break;
                default:
                    throw RtError(driverMessage(api));
            }
        }
        q.rows.push_back(std::move(row));
    }
}

// Dates read as texts in the report's date form; a time of day is added only when there is one.
std::string dateText(double days) {
    const auto dt = zentra::text::DateTime::fromDays(days);
    const FormatSettings& fs = FormatSettings::russian();
    return dt.msecs == 0 ? fs.formatDate(dt.date) : fs.formatDateTime(dt);
}

int32_t toInt32(double v) {
    const double r = std::round(v);
    if (!(r >= INT32_MIN && r <= INT32_MAX)) {
        throw RtError(cp("Значение поля не помещается в целое число"));
    }
    return static_cast<int32_t>(r);
}

}  // namespace

void endRunQueries() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    for (auto& [h, q] : s.queries)
        q.api->close_statement(q.statement);
    s.queries.clear();
    for (auto& [key, c] : s.connections)
        c.api->disconnect(c.handle);
    s.connections.clear();
}

}  // namespace kelvo::runtime

using namespace kelvo::runtime;

KR_EXPORT int32_t Query_Create(const char* DB_Driver, const char* DB_Params, const char* Sql) {
    return guarded<int32_t>(0, [&] {
        const std::string path = driverPath(arg(DB_Driver));
        const ConnectionParams p = parseParams(arg(DB_Params));
        State& s = state();
        std::lock_guard lock(s.mutex);
        const MorvaneApiV1* api = loadDriver(s, path);
        const std::string key =
            path + '\n' + p.database + '\n' + p.user + '\n' + p.password + '\n' + p.charset;
        auto it = s.connections.find(key);
        if (it == s.connections.end()) {
            const int32_t c = api->connect(p.database.c_str(), p.user.c_str(), p.password.c_str(),
                                           p.charset.c_str());
            if (c < 0) throw RtError(driverMessage(api));
            it = s.connections.emplace(key, Connection{api, c}).first;
        }
        const int32_t st = api->prepare(it->second.handle, Sql ? Sql : "");
        if (st < 0) throw RtError(driverMessage(api));
        Query q;
        q.api = api;
        q.statement = st;
        q.paramCount = api->param_count(st);
        const int32_t columns = api->column_count(st);
        for (int32_t c = 0; c < columns; ++c) {
            const char* name = api->column_name(st, c);
            q.names.emplace_back(name ? name : "");
        }
        const int32_t h = newHandle();
        s.queries.emplace(h, std::move(q));
        return h;
    });
}

// Handle 0 is what the compiled SQL statement frees when Query_Create failed: nothing to do.
KR_EXPORT void Query_Free(int32_t Handle) {
    guardedVoid([&] {
        if (Handle == 0) return;
        State& s = state();
        std::lock_guard lock(s.mutex);
        Query& q = queryOf(s, Handle);
        q.api->close_statement(q.statement);
        s.queries.erase(Handle);
    });
}

KR_EXPORT uint8_t Query_Execute(int32_t Handle) {
    return onQuery<uint8_t>(Handle, 0, [&](Query& q) {
        q.rows.clear();
        q.pos = 0;
        q.bof = q.eof = true;
        if (q.api->execute(q.statement) < 0) throw RtError(driverMessage(q.api));
        if (q.api->is_select(q.statement) == 1 || !q.names.empty()) readRows(q);
        q.eof = q.rows.empty();
        return uint8_t{1};
    });
}

KR_EXPORT uint8_t Query_EOF(int32_t Handle) {
    return onQuery<uint8_t>(Handle, 1, [&](const Query& q) {
        return static_cast<uint8_t>(q.eof);
    });
}

KR_EXPORT uint8_t Query_BOF(int32_t Handle) {
    return onQuery<uint8_t>(Handle, 1, [&](const Query& q) {
        return static_cast<uint8_t>(q.bof);
    });
}

// Cursor moves follow the data sets report authors know: First and Open set BOF, Last sets EOF,
// Next on the last row sets EOF and stays there, Prior on the first row sets BOF.
KR_EXPORT void Query_First(int32_t Handle) {
    onQuery(Handle, [&](Query& q) {
        q.pos = 0;
        q.bof = true;
        q.eof = q.rows.empty();
    });
}

KR_EXPORT void Query_Last(int32_t Handle) {
    onQuery(Handle, [&](Query& q) {
        q.pos = q.rows.empty() ? 0 : q.rows.size() - 1;
        q.eof = true;
        q.bof = q.rows.empty();
    });
}

KR_EXPORT void Query_Next(int32_t Handle) {
    onQuery(Handle, [&](Query& q) {
        if (q.eof) return;
        if (q.pos + 1 < q.rows.size()) {
            ++q.pos;
            q.bof = false;
        } else {
            q.eof = true;
        }
    });
}

KR_EXPORT void Query_Prior(int32_t Handle) {
    onQuery(Handle, [&](Query& q) {
        if (q.bof) return;
        if (q.pos > 0) {
            --q.pos;
            q.eof = false;
        } else {
            q.bof = true;
        }
    });
}

KR_EXPORT int32_t Query_RecordCount(int32_t Handle) {
    return onQuery<int32_t>(Handle, 0, [&](const Query& q) {
        return static_cast<int32_t>(q.rows.size());
    });
}

KR_EXPORT int32_t Query_FieldCount(int32_t Handle) {
    return onQuery<int32_t>(Handle, 0, [&](const Query& q) {
        return static_cast<int32_t>(q.names.size());
    });
}

KR_EXPORT int32_t Query_ParamCount(int32_t Handle) {
    return onQuery<int32_t>(Handle, 0, [&](const Query& q) {
        return q.paramCount;
    });
}

KR_EXPORT const char* FieldNameByIndex(int32_t Handle, int32_t ID) {
    return onQuery<const char*>(Handle, "", [&](const Query& q) {
        if (ID < 0 || static_cast<size_t>(ID) >= q.names.size()) {
            throw RtError(cp("Поле с номером ") + std::to_string(ID) +
                          cp(" отсутствует в запросе"));
        }
        KR_TEXT_RESULT(q.names[static_cast<size_t>(ID)]);
    });
}

// NULL reads as the empty text; numbers in the report's form (decimal comma), dates as
// dd.mm.yyyy, Booleans as 1 or 0.
KR_EXPORT const char* Field_AsPChar(int32_t Handle, int32_t Index) {
    return onQuery<const char*>(Handle, "", [&](const Query& q) {
        const Cell& c = currentCell(q, Index);
        switch (c.kind) {
            case MORVANE_INTEGER:
            case MORVANE_BOOLEAN:
                KR_TEXT_RESULT(std::to_string(c.i));
            case MORVANE_DOUBLE:
                KR_TEXT_RESULT(FormatSettings::russian().formatGeneral(c.d));
            case MORVANE_DATE:
                KR_TEXT_RESULT(dateText(c.d));
            case MORVANE_TEXT:
                KR_TEXT_RESULT(c.t);
            default:
                KR_TEXT_RESULT(std::string());
        }
    });
}

// NULL reads as 0; fractions are rounded half away from zero; a text must be a whole number.
KR_EXPORT int32_t Field_AsInteger(int32_t Handle, int32_t Index) {
    return onQuery<int32_t>(Handle, 0, [&](const Query& q) {
        const Cell& c = currentCell(q, Index);
        switch (c.kind) {
            case MORVANE_INTEGER:
            case MORVANE_BOOLEAN:
                return toInt32(static_cast<double>(c.i));
            case MORVANE_DOUBLE:
            case MORVANE_DATE:
                return toInt32(c.d);
            case MORVANE_TEXT: {
                if (c.t.find_first_not_of(' ') == std::string::npos) return int32_t{0};
                if (auto v = FormatSettings::russian().parseNumber(c.t)) return toInt32(*v);
                throw RtError(cp("\"") + c.t + cp("\" не является целым числом"));
            }
            default:
                return int32_t{0};
        }
    });
}

// NULL reads as 0; dates as TDATETIME day numbers; a text must be a number.
KR_EXPORT double Field_AsDouble(int32_t Handle, int32_t Index) {
    return onQuery<double>(Handle, 0.0, [&](const Query& q) {
        const Cell& c = currentCell(q, Index);
        switch (c.kind) {
            case MORVANE_INTEGER:
            case MORVANE_BOOLEAN:
                return static_cast<double>(c.i);
            case MORVANE_DOUBLE:
            case MORVANE_DATE:
                return c.d;
            case MORVANE_TEXT: {
                if (c.t.find_first_not_of(' ') == std::string::npos) return 0.0;
                if (auto v = FormatSettings::russian().parseNumber(c.t)) return *v;
                throw RtError(cp("\"") + c.t + cp("\" не является правильным числом"));
            }
            default:
                return 0.0;
        }
    });
}

namespace {
template <typename Bind>
void bindParam(int32_t handle, int32_t index, Bind&& bind) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    Query& q = queryOf(s, handle);
    if (index < 0 || index >= q.paramCount) {
        throw RtError(cp("Параметр с номером ") + std::to_string(index) +
                      cp(" отсутствует в запросе (параметров: ") + std::to_string(q.paramCount) +
                      ")");
    }
    if (bind(q) < 0) throw RtError(driverMessage(q.api));
}
}  // namespace

KR_EXPORT void Param_AsPChar(int32_t Handle, int32_t Index, const char* Value) {
    guardedVoid([&] {
        bindParam(Handle, Index, [&](Query& q) {
            return q.api->bind_text(q.statement, Index, Value ? Value : "");
        });
    });
}

KR_EXPORT void Param_AsInteger(int32_t Handle, int32_t Index, int32_t Value) {
    guardedVoid([&] {
        bindParam(Handle, Index,
                  [&](Query& q) { return q.api->bind_int64(q.statement, Index, Value); });
    });
}

KR_EXPORT void Param_AsDouble(int32_t Handle, int32_t Index, double Value) {
    guardedVoid([&] {
        bindParam(Handle, Index,
                  [&](Query& q) { return q.api->bind_double(q.statement, Index, Value); });
    });
}
