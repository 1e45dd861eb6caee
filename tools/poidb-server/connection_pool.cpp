#include "tools/poidb-server/connection_pool.h"

namespace poidb {

Lease::~Lease() {
    if (db_ != nullptr && pool_ != nullptr) pool_->Release(std::move(db_));
}

Lease ConnectionPool::Acquire() {
    std::unique_lock lock(mutex_);
    available_.wait(lock, [this] { return !idle_.empty() || open_ < limit_; });
    if (!idle_.empty()) {
        auto db = std::move(idle_.back());
        idle_.pop_back();
        return Lease(this, std::move(db));
    }
    ++open_;
    lock.unlock();
    auto db = std::make_unique<Database>();
    std::string error;
    if (!db->Open(path_, false, error)) {
        lock.lock();
        --open_;
        available_.notify_one();
        return Lease(this, nullptr);
    }
    return Lease(this, std::move(db));
}

void ConnectionPool::Release(std::unique_ptr<Database> db) {
    {
        std::lock_guard lock(mutex_);
        idle_.push_back(std::move(db));
    }
    available_.notify_one();
}

}  // namespace poidb
