#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace poidb {

// One prepared statement. Reset and unbound each time it is taken from the cache, so a
// caller always starts from a clean statement.
class Statement {
public:
    explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, std::int64_t value);
    Statement& Bind(int index, std::string_view text);
    Statement& BindNull(int index);
    Statement& BindOptional(int index, const std::optional<std::int64_t>& value);

    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    // Runs a statement that gives no rows; true when it finished.
    bool Run();
    void Reset();

    std::int64_t Int(int column) const;
    bool IsNull(int column) const;
    std::string Text(int column) const;
    std::string_view TextView(int column) const;

private:
    sqlite3_stmt* stmt_;
};

// One SQLite connection with a cache of its prepared statements. Not shared between threads:
// the pool hands each request its own.
class Database {
public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens (creating when asked) the file, in WAL mode with a busy timeout.
    bool Open(const std::string& path, bool create, std::string& error);
    bool Exec(const char* sql);
    // The cached statement for this SQL text, reset; nullptr (and an error message) if it
    // does not compile.
    Statement* Prepare(const char* sql);
    std::int64_t LastInsertId() const;
    int Changes() const;
    std::string LastError() const;

private:
    sqlite3* db_ = nullptr;
    std::map<const char*, std::unique_ptr<Statement>> cache_;
};

// BEGIN IMMEDIATE ... COMMIT, rolled back when the guard goes without Commit.
class WriteTransaction {
public:
    explicit WriteTransaction(Database& db);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    bool ok() const { return began_; }
    bool Commit();

private:
    Database& db_;
    bool began_ = false;
    bool done_ = false;
};

// BEGIN ... COMMIT around reads, so that they all see one state of the database.
class ReadTransaction {
public:
    explicit ReadTransaction(Database& db) : db_(db) { began_ = db_.Exec("BEGIN"); }
    ~ReadTransaction() {
        if (began_) db_.Exec("COMMIT");
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;
    bool ok() const { return began_; }

private:
    Database& db_;
    bool began_ = false;
};

}  // namespace poidb
