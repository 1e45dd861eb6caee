#pragma once
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/poidb-server/sqlite_db.h"

namespace poidb {

class ConnectionPool;

// A connection borrowed from the pool; it goes back when the lease ends.
class Lease {
public:
    Lease(ConnectionPool* pool, std::unique_ptr<Database> db) : pool_(pool), db_(std::move(db)) {}
    ~Lease();
    Lease(Lease&& other) noexcept = default;
    Lease& operator=(Lease&&) = delete;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    explicit operator bool() const { return db_ != nullptr; }
    Database& operator*() const { return *db_; }
    Database* operator->() const { return db_.get(); }

private:
    ConnectionPool* pool_;
    std::unique_ptr<Database> db_;
};

// Connections to one database file, opened on demand up to a limit; a request waits for a free
// one rather than opening without bound.
class ConnectionPool {
public:
    ConnectionPool(std::string path, std::size_t limit) : path_(std::move(path)), limit_(limit) {}

    // An empty lease when no connection could be opened.
    Lease Acquire();
    void Release(std::unique_ptr<Database> db);

private:
    std::string path_;
    std::size_t limit_;
    std::size_t open_ = 0;
    std::vector<std::unique_ptr<Database>> idle_;
    std::mutex mutex_;
    std::condition_variable available_;
};

}  // namespace poidb
