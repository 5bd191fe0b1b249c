#include "sql_dataset.h"

#include "database.h"
#include "statement.h"
#include "text/cp1251.h"

namespace zentra::data {
namespace {

FieldKind kindOf(db::ColumnType t) {
    switch (t) {
        case db::ColumnType::Integer: return FieldKind::Integer;
        case db::ColumnType::Numeric:
        case db::ColumnType::Double: return FieldKind::Float;
        case db::ColumnType::Memo:
        case db::ColumnType::Blob: return FieldKind::Memo;
        case db::ColumnType::Date: return FieldKind::Date;
        case db::ColumnType::Time:
        case db::ColumnType::Timestamp: return FieldKind::DateTime;
        case db::ColumnType::Boolean: return FieldKind::Boolean;
        case db::ColumnType::Text: return FieldKind::Text;
    }
    return FieldKind::Text;
}

}  // namespace

SqlDataSet::SqlDataSet(db::Database& db, db::Transaction* tr) : db_(db), tr_(tr) {}

SqlDataSet::~SqlDataSet() {
    try {
        close();
    } catch (...) {
        // Closing only releases statements; nothing to report from a destructor.
    }
}

void SqlDataSet::setSelectSql(std::string sql) {
    if (sql != selectSql_) select_.reset();
    selectSql_ = std::move(sql);
}

void SqlDataSet::setParam(const std::string& name, Value v) {
    params_[text::upperUtf8(name)] = std::move(v);
}

db::Statement& SqlDataSet::cached(std::unique_ptr<db::Statement>& slot, const std::string& sql) {
    if (!slot || slot->sql() != sql) slot = std::make_unique<db::Statement>(db_, sql, tr_);
    return *slot;
}

void SqlDataSet::doOpen(std::vector<FieldDef>& fields) {
    if (selectSql_.empty()) throw DataError("Не задан текст запроса");
    db::Statement& st = cached(select_, selectSql_);
    for (const auto& [name, value] : params_) {
        if (st.hasParam(name)) st.setParam(name, value);
    }
    st.execute();
    cursorOpen_ = true;
    fields.clear();
    for (int i = 0; i < st.columnCount(); ++i) {
        const db::Column& c = st.column(i);
        FieldDef f;
        f.name = c.name;
        f.kind = kindOf(c.type);
        f.size = c.type == db::ColumnType::Text ? c.size : 0;
        f.decimals = c.type == db::ColumnType::Numeric ? c.scale : -1;
        fields.push_back(std::move(f));
    }
}

void SqlDataSet::doClose() {
    if (select_ && cursorOpen_) select_->close();
    cursorOpen_ = false;
}

bool SqlDataSet::doFetch(std::vector<std::vector<Value>>& out, int count) {
    if (!cursorOpen_) return false;
    while (count-- > 0) {
        if (!select_->fetch()) {
            cursorOpen_ = false;
            return false;
        }
        out.push_back(select_->row());
    }
    return true;
}

void SqlDataSet::bindRow(db::Statement& st, const std::vector<Value>& values,
                         const std::vector<Value>* oldValues) const {
    for (const std::string& name : st.paramNames()) {
        const bool old = name.rfind("OLD_", 0) == 0;
        const int f = fieldIndex(old ? std::string_view(name).substr(4) : std::string_view(name));
        if (f >= 0) {
            const auto& source = old && oldValues ? *oldValues : values;
            st.setParam(name, source[static_cast<size_t>(f)]);
        } else if (auto it = params_.find(name); it != params_.end()) {
            st.setParam(name, it->second);
        } else {
            throw DataError("Параметр " + name + " не найден среди полей набора данных");
        }
    }
}

void SqlDataSet::doPost(bool inserting, std::vector<Value>& values,
                        const std::vector<Value>& oldValues) {
    const std::string& sql = inserting ? insertSql_ : modifySql_;
    if (sql.empty()) {
        throw DataError(inserting ? "Добавление записей в этот список не предусмотрено"
                                  : "Изменение записей этого списка не предусмотрено");
    }
    db::Statement& st = cached(inserting ? insert_ : modify_, sql);
    bindRow(st, values, &oldValues);
    st.execute();
    // INSERT ... RETURNING hands back the keys the database assigned.
    if (st.columnCount() > 0 && st.fetch()) {
        for (int i = 0; i < st.columnCount(); ++i) {
            const int f = fieldIndex(st.column(i).name);
            if (f >= 0) values[static_cast<size_t>(f)] = st.value(i);
        }
    }
    if (!refreshSql_.empty()) {
        db::Statement& r = cached(refresh_, refreshSql_);
        bindRow(r, values, nullptr);
        r.execute();
        if (r.fetch()) {
            for (int i = 0; i < r.columnCount(); ++i) {
                const int f = fieldIndex(r.column(i).name);
                if (f >= 0) values[static_cast<size_t>(f)] = r.value(i);
            }
        }
        r.close();
    }
}

void SqlDataSet::doDelete(const std::vector<Value>& values) {
    if (deleteSql_.empty()) throw DataError("Удаление записей этого списка не предусмотрено");
    db::Statement& st = cached(delete_, deleteSql_);
    bindRow(st, values, &values);
    st.execute();
}

void SqlDataSet::refresh() {
    const int row = recNo();
    std::vector<Value> key;
    const int keyField = fieldIndex("FID");
    if (keyField >= 0 && row >= 0) key.push_back(value(keyField));
    disableControls();
    try {
        close();
        open();
        bool found = false;
        if (!key.empty()) {
            // Rows get new bookmarks on reopening; find the same record by its key.
            for (int i = 0;; ++i) {
                fetchTo(i);
                if (i >= fetchedCount()) break;
                if (valueAt(i, keyField) == key[0]) {
                    moveTo(i);
                    found = true;
                    break;
                }
            }
        }
        if (!found && row >= 0) moveBy(row);
    } catch (...) {
        enableControls();
        throw;
    }
    notifyChanged();
    enableControls();
}

}  // namespace zentra::data
