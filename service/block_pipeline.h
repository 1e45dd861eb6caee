#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace service {

// Carries items (the bytes of a reply, or the records parsed from it), in the order they are
// added, from one thread to a worker thread that consumes them, so that the stages of reading a
// long list run on both cores. Items are added straight into the block being filled, and blocks
// go over whole: nothing is copied on the way. The consumer may change the items it is handed.
//
// At most kBlocks blocks are in flight; the adding thread waits beyond that, so memory stays
// bounded whatever the reply's length. When the consumer gives false it is handed nothing more
// and stopped() turns true: the adding side should stop. Finish, or the destructor, waits for
// the worker; every item added before is consumed unless the consumer stopped.
template <class T>
class BlockPipeline {
    static_assert(std::is_trivially_copyable_v<T>, "items are moved as bytes");

public:
    static constexpr std::size_t kBlocks = 4;

    using Consumer = std::function<bool(T* items, std::size_t count)>;
    // blockSize: items of a block before it is handed over; slack: the most items one Room
    // may be asked to hold beyond that.
    BlockPipeline(std::size_t blockSize, std::size_t slack, Consumer consume)
        : blockSize_(blockSize), slack_(slack), consume_(std::move(consume)), filling_(blockSize + slack) {
        worker_ = std::thread([this] { Work(); });
    }
    ~BlockPipeline() { Finish(); }
    BlockPipeline(const BlockPipeline&) = delete;
    BlockPipeline& operator=(const BlockPipeline&) = delete;

    // Room for `slack` items right after the items added so far.
    T* Room() { return filling_.data() + filled_; }
    // Adds n items that start at `from`, inside the room (items of the room before `from` are
    // dropped). False once the consumer is known to have stopped.
    bool Add(const T* from, std::size_t n) {
        T* room = Room();
        if (from != room) std::memmove(room, from, n * sizeof(T));
        filled_ += n;
        return filled_ < blockSize_ || HandOver();
    }
    bool Append(const T& item) {
        filling_[filled_++] = item;
        return filled_ < blockSize_ || HandOver();
    }
    bool stopped() const { return stopped_.load(std::memory_order_acquire); }
    // Hands over what is left and waits for the worker; false when the consumer stopped.
    bool Finish() {
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
        return !stopped();
    }

private:
    struct Block {
        std::vector<T> items;
        std::size_t count = 0;
    };

    bool HandOver() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return stopped() || full_.size() < kBlocks; });
        if (stopped()) {
            filled_ = 0;  // the consumer wants nothing more
            return false;
        }
        full_.push_back({std::move(filling_), filled_});
        filled_ = 0;
        if (spare_.empty()) {
            filling_.assign(blockSize_ + slack_, T{});
        } else {
            filling_ = std::move(spare_.back());
            spare_.pop_back();
        }
        changed_.notify_all();
        return true;
    }

    void Work() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return ending_ || !full_.empty(); });
            if (full_.empty()) return;
            Block block = std::move(full_.front());
            full_.pop_front();
            lock.unlock();
            const bool more = !stopped() && consume_(block.items.data(), block.count);
            lock.lock();
            spare_.push_back(std::move(block.items));
            if (!more) {
                stopped_.store(true, std::memory_order_release);
                full_.clear();
            }
            changed_.notify_all();
        }
    }

    std::size_t blockSize_;
    std::size_t slack_;
    Consumer consume_;
    std::vector<T> filling_;
    std::size_t filled_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Block> full_;
    std::vector<std::vector<T>> spare_;
    bool ending_ = false;
    std::atomic<bool> stopped_{false};
    bool finished_ = false;
    std::thread worker_;
};

}  // namespace service
