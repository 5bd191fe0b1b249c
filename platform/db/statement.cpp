#include "statement.h"

#include <cassert>
#include <cmath>
#include <cstring>

#include "database.h"
#include "param_scanner.h"
#include "status.h"
#include "text/cp1251.h"

namespace zentra::db {

using detail::check;

namespace {

constexpr int kIscDateOffset = 15018;  // ISC_DATE of 30.12.1899 (day numbers count from 17.11.1858)
constexpr int64_t kPow10[] = {1,          10,          100,          1000,         10000,
                              100000,     1000000,     10000000,     100000000,    1000000000,
                              10000000000, 100000000000, 1000000000000, 10000000000000,
                              100000000000000, 1000000000000000, 10000000000000000,
                              100000000000000000, 1000000000000000000};

struct XsqldaDeleter {
    void operator()(XSQLDA* p) const { std::free(p); }
};
using XsqldaPtr = std::unique_ptr<XSQLDA, XsqldaDeleter>;

XsqldaPtr allocSqlda(int n) {
    if (n < 1) n = 1;
    auto* p = static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(n)));
    if (!p) throw std::bad_alloc();
    p->version = SQLDA_VERSION1;
    p->sqln = static_cast<ISC_SHORT>(n);
    return XsqldaPtr(p);
}

std::string upper(std::string_view s) { return text::upperCp1251(s); }

ColumnType columnTypeOf(const XSQLVAR& v) {
    switch (v.sqltype & ~1) {
        case SQL_SHORT:
        case SQL_LONG:
        case SQL_INT64: return v.sqlscale < 0 ? ColumnType::Numeric : ColumnType::Integer;
        case SQL_FLOAT:
        case SQL_DOUBLE:
        case SQL_D_FLOAT: return ColumnType::Double;
        case SQL_TEXT:
        case SQL_VARYING: return ColumnType::Text;
        case SQL_BLOB: return v.sqlsubtype == 1 ? ColumnType::Memo : ColumnType::Blob;
        case SQL_TYPE_DATE: return ColumnType::Date;
        case SQL_TYPE_TIME: return ColumnType::Time;
        case SQL_TIMESTAMP: return ColumnType::Timestamp;
        case SQL_BOOLEAN: return ColumnType::Boolean;
        default: return ColumnType::Text;
    }
}

int bytesPerChar(int charsetId) {
    switch (charsetId) {
        case 4: return 4;  // UTF8
        case 3: return 3;  // UNICODE_FSS
        default: return 1;
    }
}

}  // namespace

struct Statement::Impl {
    Database& db;
    Transaction* tr;
    isc_stmt_handle handle = 0;
    bool isPrepared = false;
    int stmtType = 0;
    bool cursorOpen = false;
    bool singletonPending = false;  // EXECUTE PROCEDURE / RETURNING row waiting for fetch()

    std::vector<std::string> paramSlots;  // name of each "?", in order
    std::vector<Value> paramValues;       // one per slot
    std::vector<bool> paramBound;
    XsqldaPtr in;
    XsqldaPtr out;
    std::vector<char> outBuffer;
    std::vector<ISC_SHORT> outNull;
    std::vector<Column> columns;
    std::vector<Value> row;
    long long affected = -1;

    Impl(Database& d, Transaction* t) : db(d), tr(t) {}

    Transaction& transaction() { return tr ? *tr : db.defaultTransaction(); }

    void free() {
        if (handle) {
            ISC_STATUS_ARRAY st;
            isc_dsql_free_statement(st, &handle, DSQL_drop);
            handle = 0;
        }
        isPrepared = false;
        cursorOpen = false;
        singletonPending = false;
    }

    void closeCursor() {
        if (cursorOpen) {
            ISC_STATUS_ARRAY st;
            isc_dsql_free_statement(st, &handle, DSQL_close);
            cursorOpen = false;
            // A cursor whose transaction ended is already closed by the engine; nothing to do.
        }
        singletonPending = false;
    }

    void describeOutput(const std::string& sql) {
        ISC_STATUS_ARRAY st;
        out = allocSqlda(20);
        isc_dsql_describe(st, &handle, SQL_DIALECT_V6, out.get());
        check(st, sql);
        if (out->sqld > out->sqln) {
            const int n = out->sqld;
            out = allocSqlda(n);
            isc_dsql_describe(st, &handle, SQL_DIALECT_V6, out.get());
            check(st, sql);
        }
        const int n = out->sqld;
        columns.assign(n, Column{});
        size_t total = 0;
        std::vector<size_t> offsets(n);
        for (int i = 0; i < n; ++i) {
            XSQLVAR& v = out->sqlvar[i];
            Column& c = columns[i];
            c.name.assign(v.aliasname, v.aliasname_length);
            c.relation.assign(v.relname, v.relname_length);
            c.type = columnTypeOf(v);
            c.scale = -v.sqlscale;
            c.nullable = (v.sqltype & 1) != 0;
            switch (c.type) {
                case ColumnType::Text:
                    c.size = v.sqllen / bytesPerChar(v.sqlsubtype & 0xFF);
                    break;
                case ColumnType::Numeric:
                    c.size = (v.sqltype & ~1) == SQL_SHORT ? 4 : (v.sqltype & ~1) == SQL_LONG ? 9 : 18;
                    break;
                default:
                    c.size = v.sqllen;
            }
            size_t len = v.sqllen + ((v.sqltype & ~1) == SQL_VARYING ? 2 : 0);
            total = (total + 7) & ~size_t{7};
            offsets[i] = total;
            total += len;
        }
        outBuffer.assign(total + 8, 0);
        outNull.assign(n, 0);
        for (int i = 0; i < n; ++i) {
            out->sqlvar[i].sqldata = outBuffer.data() + offsets[i];
            out->sqlvar[i].sqlind = &outNull[i];
            // Every column gets an indicator, nullable or not, so reading is uniform.
            out->sqlvar[i].sqltype |= 1;
        }
        row.assign(n, Value());
    }

    void describeInput(const std::string& sql) {
        ISC_STATUS_ARRAY st;
        const int n = static_cast<int>(paramSlots.size());
        in = allocSqlda(n);
        isc_dsql_describe_bind(st, &handle, SQL_DIALECT_V6, in.get());
        check(st, sql);
        if (in->sqld != n) {
            throw DbError("Число параметров запроса не совпадает с разметкой (" +
                              std::to_string(in->sqld) + " и " + std::to_string(n) + ")",
                          0, 0, sql);
        }
    }

    int queryStatementType(const std::string& sql) {
        ISC_STATUS_ARRAY st;
        const char items[] = {isc_info_sql_stmt_type};
        char buf[16];
        isc_dsql_sql_info(st, &handle, sizeof items, items, sizeof buf, buf);
        check(st, sql);
        if (buf[0] != isc_info_sql_stmt_type) return 0;
        const int len = isc_vax_integer(buf + 1, 2);
        return isc_vax_integer(buf + 3, static_cast<short>(len));
    }

    long long queryAffected() {
        ISC_STATUS_ARRAY st;
        const char items[] = {isc_info_sql_records};
        char buf[64];
        isc_dsql_sql_info(st, &handle, sizeof items, items, sizeof buf, buf);
        if (st[0] == 1 && st[1] != 0) return -1;
        if (buf[0] != isc_info_sql_records) return -1;
        long long total = 0;
        const char* p = buf + 3;
        while (p < buf + sizeof buf && *p != isc_info_end) {
            const char item = *p++;
            const int len = isc_vax_integer(p, 2);
            p += 2;
            const long long count = isc_vax_integer(p, static_cast<short>(len));
            p += len;
            if (item == isc_info_req_insert_count || item == isc_info_req_update_count ||
                item == isc_info_req_delete_count) {
                total += count;
            }
        }
        return total;
    }

    // Writes text or bytes into a new BLOB and returns its id.
    ISC_QUAD writeBlob(const std::string& data) {
        ISC_STATUS_ARRAY st;
        isc_blob_handle blob = 0;
        ISC_QUAD id{};
        isc_create_blob2(st, db.handlePtr(), transaction().handlePtr(), &blob, &id, 0, nullptr);
        check(st);
        size_t pos = 0;
        while (pos < data.size()) {
            const auto chunk = static_cast<unsigned short>(std::min<size_t>(32768, data.size() - pos));
            isc_put_segment(st, &blob, chunk, data.data() + pos);
            if (st[0] == 1 && st[1] != 0) {
                ISC_STATUS_ARRAY st2;
                isc_cancel_blob(st2, &blob);
                detail::throwStatus(st);
            }
            pos += chunk;
        }
        isc_close_blob(st, &blob);
        check(st);
        return id;
    }

    std::string readBlob(ISC_QUAD id) {
        ISC_STATUS_ARRAY st;
        isc_blob_handle blob = 0;
        isc_open_blob2(st, db.handlePtr(), transaction().handlePtr(), &blob, &id, 0, nullptr);
        check(st);
        std::string data;
        char buf[32768];
        for (;;) {
            unsigned short got = 0;
            const ISC_STATUS rc = isc_get_segment(st, &blob, &got, sizeof buf, buf);
            if (rc == 0 || rc == isc_segment) {
                data.append(buf, got);
                continue;
            }
            if (rc == isc_segstr_eof) break;
            ISC_STATUS_ARRAY st2;
            isc_close_blob(st2, &blob);
            detail::throwStatus(st);
        }
        isc_close_blob(st, &blob);
        return data;
    }

    // Fills the input descriptors from the bound values. Each value is described by its own
    // type and the engine converts it to the parameter's type, so a double bound to a
    // NUMERIC(15,2) parameter is rounded by the engine, not truncated here.
    void bindInput(std::vector<std::vector<char>>& storage, std::vector<ISC_SHORT>& nulls) {
        const int n = in ? in->sqld : 0;
        storage.assign(n, {});
        nulls.assign(n, 0);
        for (int i = 0; i < n; ++i) {
            XSQLVAR& v = in->sqlvar[i];
            const Value& val = paramValues[i];
            auto& buf = storage[i];
            const int declared = v.sqltype & ~1;
            v.sqlind = &nulls[i];
            v.sqlscale = 0;
            switch (val.kind()) {
                case Value::Kind::Null:
                    nulls[i] = -1;
                    v.sqltype = static_cast<ISC_SHORT>(declared | 1);
                    buf.assign(std::max<int>(v.sqllen, 8) + 2, 0);
                    break;
                case Value::Kind::Integer: {
                    const int64_t x = val.toInt();
                    buf.resize(8);
                    std::memcpy(buf.data(), &x, 8);
                    v.sqltype = SQL_INT64 | 1;
                    v.sqllen = 8;
                    break;
                }
                case Value::Kind::Boolean: {
                    if (declared == SQL_BOOLEAN) {
                        buf.assign(1, val.toBool() ? 1 : 0);
                        v.sqltype = SQL_BOOLEAN | 1;
                        v.sqllen = 1;
                    } else {
                        const int64_t x = val.toBool() ? 1 : 0;
                        buf.resize(8);
                        std::memcpy(buf.data(), &x, 8);
                        v.sqltype = SQL_INT64 | 1;
                        v.sqllen = 8;
                    }
                    break;
                }
                case Value::Kind::Double: {
                    const double x = val.toDouble();
                    if (!std::isfinite(x)) {
                        throw DbError("Недопустимое число в параметре " + paramSlots[i]);
                    }
                    buf.resize(8);
                    std::memcpy(buf.data(), &x, 8);
                    v.sqltype = SQL_DOUBLE | 1;
                    v.sqllen = 8;
                    break;
                }
                case Value::Kind::Text: {
                    const std::string& s = *val.textIf();
                    if (declared == SQL_BLOB) {
                        const ISC_QUAD id = writeBlob(s);
                        buf.resize(sizeof id);
                        std::memcpy(buf.data(), &id, sizeof id);
                        v.sqltype = SQL_BLOB | 1;
                        v.sqllen = sizeof id;
                    } else {
                        if (s.size() > 32765) {
                            throw DbError("Слишком длинный текст в параметре " + paramSlots[i]);
                        }
                        buf.assign(s.begin(), s.end());
                        if (buf.empty()) buf.push_back(0);
                        v.sqltype = SQL_TEXT | 1;
                        v.sqllen = static_cast<ISC_SHORT>(s.size());
                        v.sqlsubtype = static_cast<ISC_SHORT>(db.charsetId());
                    }
                    break;
                }
                case Value::Kind::Date: {
                    const Date d = val.toDate();
                    if (!d.isValid()) {
                        nulls[i] = -1;
                        buf.assign(8, 0);
                        v.sqltype = SQL_TYPE_DATE | 1;
                        v.sqllen = 4;
                        break;
                    }
                    const ISC_DATE x = d.serial() + kIscDateOffset;
                    buf.resize(sizeof x);
                    std::memcpy(buf.data(), &x, sizeof x);
                    v.sqltype = SQL_TYPE_DATE | 1;
                    v.sqllen = sizeof x;
                    break;
                }
                case Value::Kind::DateTime: {
                    const DateTime dt = val.toDateTime();
                    ISC_TIMESTAMP x{};
                    x.timestamp_date = dt.date.serial() + kIscDateOffset;
                    x.timestamp_time = static_cast<ISC_TIME>(dt.msecs) * 10;
                    buf.resize(sizeof x);
                    std::memcpy(buf.data(), &x, sizeof x);
                    v.sqltype = SQL_TIMESTAMP | 1;
                    v.sqllen = sizeof x;
                    break;
                }
            }
            v.sqldata = buf.data();
        }
    }

    void decodeRow() {
        const int n = out->sqld;
        for (int i = 0; i < n; ++i) {
            const XSQLVAR& v = out->sqlvar[i];
            Value& val = row[i];
            if (outNull[i] < 0) {
                val = Value();
                continue;
            }
            const char* p = v.sqldata;
            switch (v.sqltype & ~1) {
                case SQL_SHORT:
                case SQL_LONG:
                case SQL_INT64: {
                    int64_t x;
                    if ((v.sqltype & ~1) == SQL_SHORT) {
                        int16_t s;
                        std::memcpy(&s, p, 2);
                        x = s;
                    } else if ((v.sqltype & ~1) == SQL_LONG) {
                        int32_t s;
                        std::memcpy(&s, p, 4);
                        x = s;
                    } else {
                        std::memcpy(&x, p, 8);
                    }
                    if (v.sqlscale < 0) {
                        const int sc = -v.sqlscale;
                        val = Value(sc < 19 ? static_cast<double>(x) / kPow10[sc]
                                            : static_cast<double>(x) * std::pow(10.0, v.sqlscale));
                    } else {
                        val = Value(x);
                    }
                    break;
                }
                case SQL_FLOAT: {
                    float f;
                    std::memcpy(&f, p, 4);
                    val = Value(static_cast<double>(f));
                    break;
                }
                case SQL_DOUBLE:
                case SQL_D_FLOAT: {
                    double d;
                    std::memcpy(&d, p, 8);
                    val = Value(d);
                    break;
                }
                case SQL_TEXT: {
                    size_t len = static_cast<size_t>(v.sqllen);
                    while (len > 0 && p[len - 1] == ' ') --len;  // CHAR pads with blanks
                    val = Value(std::string(p, len));
                    break;
                }
                case SQL_VARYING: {
                    uint16_t len;
                    std::memcpy(&len, p, 2);
                    if (len > static_cast<uint16_t>(v.sqllen)) len = static_cast<uint16_t>(v.sqllen);
                    val = Value(std::string(p + 2, len));
                    break;
                }
                case SQL_BLOB: {
                    ISC_QUAD id;
                    std::memcpy(&id, p, sizeof id);
                    val = Value(readBlob(id));
                    break;
                }
                case SQL_TYPE_DATE: {
                    ISC_DATE d;
                    std::memcpy(&d, p, sizeof d);
                    val = Value(Date(d - kIscDateOffset));
                    break;
                }
                case SQL_TYPE_TIME: {
                    ISC_TIME t;
                    std::memcpy(&t, p, sizeof t);
                    val = Value(DateTime{Date(0), static_cast<int32_t>(t / 10)});
                    break;
                }
                case SQL_TIMESTAMP: {
                    ISC_TIMESTAMP ts;
                    std::memcpy(&ts, p, sizeof ts);
                    val = Value(DateTime{Date(ts.timestamp_date - kIscDateOffset),
                                         static_cast<int32_t>(ts.timestamp_time / 10)});
                    break;
                }
                case SQL_BOOLEAN:
                    val = Value(*p != 0);
                    break;
                default:
                    throw DbError("Неподдерживаемый тип столбца " + columns[i].name);
            }
        }
    }
};

Statement::Statement(Database& db, Transaction* tr) : d_(std::make_unique<Impl>(db, tr)) {}

Statement::Statement(Database& db, std::string_view sql, Transaction* tr) : Statement(db, tr) {
    prepare(sql);
}

Statement::~Statement() {
    if (d_->db.isOpen()) d_->free();
}

void Statement::prepare(std::string_view sql) {
    d_->free();
    if (!d_->db.isOpen()) throw DbError("База данных не открыта", 0, 0, std::string(sql));
    sql_ = std::string(sql);
    ScannedSql scanned = scanNamedParameters(sql);
    d_->paramSlots = std::move(scanned.names);
    d_->paramValues.assign(d_->paramSlots.size(), Value());
    d_->paramBound.assign(d_->paramSlots.size(), false);

    Transaction& tr = d_->transaction();
    tr.ensureStarted();
    ISC_STATUS_ARRAY st;
    isc_dsql_allocate_statement(st, d_->db.handlePtr(), &d_->handle);
    check(st, sql_);
    isc_dsql_prepare(st, tr.handlePtr(), &d_->handle, 0, scanned.sql.c_str(), SQL_DIALECT_V6,
                     nullptr);
    if (st[0] == 1 && st[1] != 0) {
        ISC_STATUS_ARRAY st2;
        isc_dsql_free_statement(st2, &d_->handle, DSQL_drop);
        d_->handle = 0;
        detail::throwStatus(st, sql_);
    }
    d_->stmtType = d_->queryStatementType(sql_);
    d_->describeOutput(sql_);
    d_->describeInput(sql_);
    d_->isPrepared = true;
}

bool Statement::prepared() const { return d_->isPrepared; }

std::vector<std::string> Statement::paramNames() const {
    std::vector<std::string> names;
    for (const auto& n : d_->paramSlots) {
        bool seen = false;
        for (const auto& m : names) seen = seen || m == n;
        if (!seen) names.push_back(n);
    }
    return names;
}

bool Statement::hasParam(std::string_view name) const {
    const std::string up = upper(name);
    for (const auto& n : d_->paramSlots) {
        if (n == up) return true;
    }
    return false;
}

void Statement::setParam(std::string_view name, Value value) {
    const std::string up = upper(name);
    bool found = false;
    for (size_t i = 0; i < d_->paramSlots.size(); ++i) {
        if (d_->paramSlots[i] == up) {
            d_->paramValues[i] = value;
            d_->paramBound[i] = true;
            found = true;
        }
    }
    if (!found) {
        throw DbError("Параметр " + std::string(name) + " не найден в запросе", 0, 0, sql_);
    }
}

void Statement::clearParams() {
    for (auto& v : d_->paramValues) v = Value();
    d_->paramBound.assign(d_->paramBound.size(), false);
}

void Statement::execute() {
    if (!d_->isPrepared) throw DbError("Запрос не подготовлен");
    d_->closeCursor();
    Transaction& tr = d_->transaction();
    tr.ensureStarted();
    std::vector<std::vector<char>> storage;
    std::vector<ISC_SHORT> nulls;
    d_->bindInput(storage, nulls);
    XSQLDA* in = d_->in->sqld > 0 ? d_->in.get() : nullptr;
    ISC_STATUS_ARRAY st;
    const bool select = isSelect();
    const bool singleton = !select && d_->out->sqld > 0;
    if (singleton) {
        isc_dsql_execute2(st, tr.handlePtr(), &d_->handle, SQL_DIALECT_V6, in, d_->out.get());
    } else {
        isc_dsql_execute(st, tr.handlePtr(), &d_->handle, SQL_DIALECT_V6, in);
    }
    check(st, sql_);
    d_->cursorOpen = select;
    d_->singletonPending = singleton;
    d_->affected = select ? -1 : d_->queryAffected();
}

bool Statement::fetch() {
    if (d_->singletonPending) {
        d_->singletonPending = false;
        d_->decodeRow();
        return true;
    }
    if (!d_->cursorOpen) return false;
    ISC_STATUS_ARRAY st;
    const ISC_STATUS rc = isc_dsql_fetch(st, &d_->handle, SQL_DIALECT_V6, d_->out.get());
    if (rc == 100) {
        d_->closeCursor();
        return false;
    }
    check(st, sql_);
    d_->decodeRow();
    return true;
}

void Statement::close() { d_->closeCursor(); }

int Statement::columnCount() const { return static_cast<int>(d_->columns.size()); }

const Column& Statement::column(int index) const {
    assert(index >= 0 && index < columnCount());
    return d_->columns[index];
}

int Statement::columnIndex(std::string_view name) const {
    const std::string up = upper(name);
    for (int i = 0; i < columnCount(); ++i) {
        if (upper(d_->columns[i].name) == up) return i;
    }
    return -1;
}

const Value& Statement::value(int index) const {
    assert(index >= 0 && index < columnCount());
    return d_->row[index];
}

const Value& Statement::value(std::string_view name) const {
    const int i = columnIndex(name);
    if (i < 0) throw DbError("Столбец " + std::string(name) + " не найден", 0, 0, sql_);
    return d_->row[i];
}

const std::vector<Value>& Statement::row() const { return d_->row; }

bool Statement::isSelect() const {
    return d_->stmtType == isc_info_sql_stmt_select ||
           d_->stmtType == isc_info_sql_stmt_select_for_upd;
}

long long Statement::rowsAffected() const { return d_->affected; }

Value Statement::executeScalar() {
    execute();
    Value result;
    if (columnCount() > 0 && fetch()) result = value(0);
    close();
    return result;
}

}  // namespace zentra::db
