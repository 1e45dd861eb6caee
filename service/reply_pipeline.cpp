#include "service/reply_pipeline.h"

#include <cstring>
#include <utility>

namespace service {

ReplyPipeline::ReplyPipeline(std::size_t pieceRoom, Consumer consume)
    : pieceRoom_(pieceRoom), consume_(std::move(consume)), filling_(kBatchSize + pieceRoom) {
    worker_ = std::thread([this] { Work(); });
}

ReplyPipeline::~ReplyPipeline() { Finish(); }

void ReplyPipeline::Add(const char* from, std::size_t n) {
    char* room = Room();
    if (from != room) std::memmove(room, from, n);
    filled_ += n;
    if (filled_ >= kBatchSize) HandOver();
}

bool ReplyPipeline::stopped() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
}

void ReplyPipeline::HandOver() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return stopped_ || full_.size() < kBatches; });
    if (stopped_) {
        filled_ = 0;  // the consumer wants nothing more
        return;
    }
    full_.push_back({std::move(filling_), filled_});
    filled_ = 0;
    if (spare_.empty()) {
        filling_.assign(kBatchSize + pieceRoom_, '\0');
    } else {
        filling_ = std::move(spare_.back());
        spare_.pop_back();
    }
    changed_.notify_all();
}

bool ReplyPipeline::Finish() {
    if (!finished_) {
        finished_ = true;
        if (filled_ > 0) HandOver();
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            ending_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }
    return !stopped_;
}

void ReplyPipeline::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return ending_ || !full_.empty(); });
        if (full_.empty()) return;
        Batch batch = std::move(full_.front());
        full_.pop_front();
        lock.unlock();
        const bool more = consume_(batch.bytes.data(), batch.size);
        lock.lock();
        spare_.push_back(std::move(batch.bytes));
        if (!more) {
            stopped_ = true;
            full_.clear();
        }
        changed_.notify_all();
    }
}

}  // namespace service
