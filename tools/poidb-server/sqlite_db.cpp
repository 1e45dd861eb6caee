#include "tools/poidb-server/sqlite_db.h"

namespace poidb {

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::BindNull(int index) {
    sqlite3_bind_null(stmt_, index);
    return *this;
}

Statement& Statement::BindOptional(int index, const std::optional<std::int64_t>& value) {
    return value ? Bind(index, *value) : BindNull(index);
}

int Statement::Step() { return sqlite3_step(stmt_); }

bool Statement::Run() {
    const int rc = sqlite3_step(stmt_);
    sqlite3_reset(stmt_);
    return rc == SQLITE_DONE || rc == SQLITE_ROW;
}

void Statement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

bool Statement::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

std::string Statement::Text(int column) const { return std::string(TextView(column)); }

std::string_view Statement::TextView(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    if (text == nullptr) return {};
    return {text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
}

Database::~Database() {
    cache_.clear();
    if (db_ != nullptr) sqlite3_close(db_);
}

bool Database::Open(const std::string& path, bool create, std::string& error) {
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (create) flags |= SQLITE_OPEN_CREATE;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        error = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
        return false;
    }
    sqlite3_busy_timeout(db_, 10000);
    if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=NORMAL") ||
        !Exec("PRAGMA foreign_keys=ON")) {
        error = LastError();
        return false;
    }
    return true;
}

bool Database::Exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

Statement* Database::Prepare(const char* sql) {
    auto it = cache_.find(sql);
    if (it == cache_.end()) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &raw, nullptr) != SQLITE_OK) {
            sqlite3_finalize(raw);
            return nullptr;
        }
        it = cache_.emplace(sql, std::make_unique<Statement>(raw)).first;
    }
    it->second->Reset();
    return it->second.get();
}

std::int64_t Database::LastInsertId() const { return sqlite3_last_insert_rowid(db_); }

int Database::Changes() const { return sqlite3_changes(db_); }

std::string Database::LastError() const { return db_ != nullptr ? sqlite3_errmsg(db_) : "no database"; }

WriteTransaction::WriteTransaction(Database& db) : db_(db) { began_ = db_.Exec("BEGIN IMMEDIATE"); }

WriteTransaction::~WriteTransaction() {
    if (began_ && !done_) db_.Exec("ROLLBACK");
}

bool WriteTransaction::Commit() {
    if (!began_ || done_) return false;
    done_ = db_.Exec("COMMIT");
    return done_;
}

}  // namespace poidb
