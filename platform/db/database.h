// A connection to a Firebird database and its transactions. A plain file path opens the file
// through the embedded engine (no server); "host:path" reaches a Firebird server.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace zentra::db {

struct ConnectParams {
    std::string database;            // file path, or host:path
    std::string user = "SYSDBA";     // embedded connections do not check it
    std::string password = "masterkey";
    std::string charset = "UTF8";    // texts on this connection are in this character set
};

class Transaction;

class Database {
public:
    Database();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void open(const ConnectParams& params);
    // Creates a new database file (dialect 3, WIN1251 by default) and leaves it open.
    void create(const ConnectParams& params, std::string_view defaultCharset = "WIN1251");
    // Rolls back what is not committed and detaches. Safe to call when closed.
    void close();
    bool isOpen() const { return handle_ != 0; }

    const ConnectParams& params() const { return params_; }
    // Firebird's number of the connection character set (4 UTF8, 52 WIN1251, 0 NONE).
    int charsetId() const { return charsetId_; }

    // The connection's default transaction, in which statements run unless given another.
    Transaction& defaultTransaction();

    // Runs one statement without parameters or results (DDL, SET GENERATOR...) in `tr` or,
    // when null, in the default transaction.
    void executeImmediate(std::string_view sql, Transaction* tr = nullptr);

    unsigned int* handlePtr() { return &handle_; }

private:
    unsigned int handle_ = 0;
    int charsetId_ = 0;
    ConnectParams params_;
    std::unique_ptr<Transaction> default_;
};

// READ COMMITTED with record versions and NOWAIT: a transaction sees what others committed,
// readers never block, and a write conflict fails at once instead of freezing the window.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void start();
    void commit();
    void commitRetaining();  // durable now, context (and open cursors) kept
    void rollback();
    void rollbackRetaining();
    bool active() const { return handle_ != 0; }
    // Starts the transaction when it is not active; statements call this before they run.
    void ensureStarted() {
        if (!active()) start();
    }

    Database& database() { return db_; }
    unsigned int* handlePtr() { return &handle_; }

private:
    Database& db_;
    unsigned int handle_ = 0;
};

}  // namespace zentra::db
