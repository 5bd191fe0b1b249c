#include "database.h"

#include <langinfo.h>

#include <cassert>
#include <clocale>
#include <string>

#include "status.h"
#include "text/cp1251.h"

namespace zentra::db {

namespace detail {

void throwStatus(const ISC_STATUS* status, std::string_view sql) {
    const int sqlCode = static_cast<int>(isc_sqlcode(status));
    const long engineCode = static_cast<long>(status[1]);
    std::string message;
    const ISC_STATUS* p = status;
    char buf[1024];
    while (fb_interpret(buf, sizeof buf, &p) > 0) {
        if (!message.empty()) message += '\n';
        message += buf;
    }
    if (message.empty()) message = "Ошибка базы данных " + std::to_string(engineCode);
    // Engine texts may quote data in the connection character set; keep the message UTF-8
    // when it is not already, so that it prints and shows as it should.
    if (!text::isValidUtf8(message)) message = text::cp1251ToUtf8(message);
    throw DbError(message, sqlCode, engineCode, std::string(sql));
}

}  // namespace detail

namespace {

using detail::check;

int charsetIdOf(std::string_view name) {
    const std::string up = text::upperCp1251(name);
    if (up == "UTF8") return 4;
    if (up == "WIN1251") return 52;
    if (up == "NONE") return 0;
    if (up == "ASCII") return 2;
    throw DbError("Неподдерживаемая кодировка соединения: " + std::string(name));
}

void addDpbString(std::string& dpb, char tag, const std::string& value) {
    if (value.size() > 255) throw DbError("Слишком длинный параметр соединения");
    dpb += tag;
    dpb += static_cast<char>(value.size());
    dpb += value;
}

// The client library turns file names into the system character set through the C library,
// which follows LC_CTYPE. Under the "C" locale (services, tests, a bare environment) every
// Cyrillic folder would be refused; file names are UTF-8 everywhere in this program, so the
// character classification is made UTF-8 once, before the first attachment. Numbers and
// messages are not touched (LC_CTYPE only).
void ensureUtf8FileNames() {
    static const bool done = [] {
        const char* codeset = nl_langinfo(CODESET);
        if (codeset && std::string_view(codeset) == "UTF-8") return true;
        return setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    }();
    (void)done;
}

std::string makeDpb(const ConnectParams& p) {
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    // File names are UTF-8 here, whatever the process locale says; without this tag the
    // engine reads them in the system character set and refuses Cyrillic folders.
    dpb += static_cast<char>(isc_dpb_utf8_filename);
    dpb += '\0';
    addDpbString(dpb, isc_dpb_user_name, p.user);
    addDpbString(dpb, isc_dpb_password, p.password);
    addDpbString(dpb, isc_dpb_lc_ctype, p.charset);
    return dpb;
}

}  // namespace

Database::Database() = default;

Database::~Database() {
    try {
        close();
    } catch (...) {
        // A destructor must not throw; the engine drops what was not committed.
    }
}

void Database::open(const ConnectParams& params) {
    close();
    ensureUtf8FileNames();
    charsetId_ = charsetIdOf(params.charset);
    const std::string dpb = makeDpb(params);
    ISC_STATUS_ARRAY st;
    isc_attach_database(st, 0, params.database.c_str(), &handle_,
                        static_cast<short>(dpb.size()), dpb.data());
    if (st[0] == 1 && st[1] != 0) {
        handle_ = 0;
        detail::throwStatus(st);
    }
    params_ = params;
    default_ = std::make_unique<Transaction>(*this);
}

void Database::create(const ConnectParams& params, std::string_view defaultCharset) {
    close();
    ensureUtf8FileNames();
    charsetId_ = charsetIdOf(params.charset);
    std::string path = params.database;
    std::string quoted;
    for (char c : path) {
        if (c == '\'') quoted += '\'';
        quoted += c;
    }
    const std::string sql = "CREATE DATABASE '" + quoted + "' USER '" + params.user +
                            "' PASSWORD '" + params.password + "' PAGE_SIZE 8192" +
                            " DEFAULT CHARACTER SET " + std::string(defaultCharset);
    ISC_STATUS_ARRAY st;
    isc_tr_handle tr = 0;
    isc_dsql_execute_immediate(st, &handle_, &tr, 0, sql.c_str(), SQL_DIALECT_V6, nullptr);
    if (st[0] == 1 && st[1] != 0) {
        handle_ = 0;
        detail::throwStatus(st, sql);
    }
    // Reattach so that the connection uses the requested character set.
    isc_detach_database(st, &handle_);
    handle_ = 0;
    open(params);
}

void Database::close() {
    if (!handle_) return;
    if (default_ && default_->active()) {
        try {
            default_->rollback();
        } catch (...) {
        }
    }
    default_.reset();
    ISC_STATUS_ARRAY st;
    isc_detach_database(st, &handle_);
    handle_ = 0;
    check(st);
}

Transaction& Database::defaultTransaction() {
    if (!default_) throw DbError("База данных не открыта");
    return *default_;
}

void Database::executeImmediate(std::string_view sql, Transaction* tr) {
    if (!isOpen()) throw DbError("База данных не открыта");
    Transaction& t = tr ? *tr : defaultTransaction();
    t.ensureStarted();
    const std::string text(sql);
    ISC_STATUS_ARRAY st;
    isc_dsql_execute_immediate(st, &handle_, t.handlePtr(), static_cast<unsigned short>(0),
                               text.c_str(), SQL_DIALECT_V6, nullptr);
    check(st, text);
}

Transaction::Transaction(Database& db) : db_(db) {}

Transaction::~Transaction() {
    if (active()) {
        ISC_STATUS_ARRAY st;
        isc_rollback_transaction(st, &handle_);
    }
}

void Transaction::start() {
    if (active()) return;
    if (!db_.isOpen()) throw DbError("База данных не открыта");
    static const char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                               isc_tpb_rec_version, isc_tpb_nowait};
    ISC_STATUS_ARRAY st;
    isc_start_transaction(st, &handle_, 1, db_.handlePtr(), static_cast<unsigned short>(sizeof tpb),
                          tpb);
    if (st[0] == 1 && st[1] != 0) {
        handle_ = 0;
        detail::throwStatus(st);
    }
}

void Transaction::commit() {
    if (!active()) return;
    ISC_STATUS_ARRAY st;
    isc_commit_transaction(st, &handle_);
    check(st);
    handle_ = 0;
}

void Transaction::commitRetaining() {
    if (!active()) return;
    ISC_STATUS_ARRAY st;
    isc_commit_retaining(st, &handle_);
    check(st);
}

void Transaction::rollback() {
    if (!active()) return;
    ISC_STATUS_ARRAY st;
    isc_rollback_transaction(st, &handle_);
    handle_ = 0;
    check(st);
}

void Transaction::rollbackRetaining() {
    if (!active()) return;
    ISC_STATUS_ARRAY st;
    isc_rollback_retaining(st, &handle_);
    check(st);
}

}  // namespace zentra::db
