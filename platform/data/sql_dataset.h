// A data set over an SQL select, written back through modify, insert and delete statements
// whose ":NAME" parameters take the row's field values (":OLD_NAME" the values before the edit).
// An optional refresh statement re-reads a posted row, so values the database computes show.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "dataset.h"

namespace zentra::db {
class Database;
class Transaction;
class Statement;
}  // namespace zentra::db

namespace zentra::data {

class SqlDataSet : public DataSet {
public:
    // Runs in `tr`, or the database's default transaction when null.
    explicit SqlDataSet(db::Database& db, db::Transaction* tr = nullptr);
    ~SqlDataSet() override;

    void setSelectSql(std::string sql);
    void setModifySql(std::string sql) { modifySql_ = std::move(sql); }
    void setInsertSql(std::string sql) { insertSql_ = std::move(sql); }
    void setDeleteSql(std::string sql) { deleteSql_ = std::move(sql); }
    void setRefreshSql(std::string sql) { refreshSql_ = std::move(sql); }
    const std::string& selectSql() const { return selectSql_; }

    // Parameters of the select, kept across reopening.
    void setParam(const std::string& name, Value v);

    // Reopens and returns to the same row when it is still there.
    void refresh();

protected:
    void doOpen(std::vector<FieldDef>& fields) override;
    void doClose() override;
    bool doFetch(std::vector<std::vector<Value>>& out, int count) override;
    void doPost(bool inserting, std::vector<Value>& values,
                const std::vector<Value>& oldValues) override;
    void doDelete(const std::vector<Value>& values) override;

private:
    void bindRow(db::Statement& st, const std::vector<Value>& values,
                 const std::vector<Value>* oldValues) const;
    db::Statement& cached(std::unique_ptr<db::Statement>& slot, const std::string& sql);

    db::Database& db_;
    db::Transaction* tr_;
    std::string selectSql_, modifySql_, insertSql_, deleteSql_, refreshSql_;
    std::map<std::string, Value> params_;
    std::unique_ptr<db::Statement> select_, modify_, insert_, delete_, refresh_;
    bool cursorOpen_ = false;
};

}  // namespace zentra::data
