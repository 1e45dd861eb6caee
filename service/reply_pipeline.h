#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace service {

// Carries the bytes of a reply, in the order they are read, from the thread that reads them to
// a worker thread that consumes them, so that receiving and parsing a long list run on two
// cores. Pieces are read straight into the batch being filled, and batches go over whole: no
// byte is copied on the way. The consumer may change the bytes of a batch it is handed (to end
// fields in place).
//
// At most kBatches batches are in flight (about 1 MiB); the reader waits beyond that, so memory
// stays bounded whatever the reply's length. When the consumer gives false it is handed nothing
// more and stopped() turns true: the reader should stop reading. Finish, or the destructor,
// waits for the worker; every byte added before is consumed unless the consumer stopped.
class ReplyPipeline {
public:
    // Bytes of one batch before it is handed over; a batch holds one piece more.
    static constexpr std::size_t kBatchSize = std::size_t{1} << 18;
    static constexpr std::size_t kBatches = 4;

    using Consumer = std::function<bool(char* data, std::size_t size)>;
    // pieceRoom: the most bytes one piece may add, its terminating NUL included.
    ReplyPipeline(std::size_t pieceRoom, Consumer consume);
    ~ReplyPipeline();
    ReplyPipeline(const ReplyPipeline&) = delete;
    ReplyPipeline& operator=(const ReplyPipeline&) = delete;

    // Room for the next piece (pieceRoom bytes), right after the bytes added so far.
    char* Room() { return filling_.data() + filled_; }
    // Adds n bytes that start at `from`, inside the room; bytes of the room before `from` are
    // dropped.
    void Add(const char* from, std::size_t n);
    bool stopped();
    // Hands over what is left and waits for the worker; false when the consumer stopped.
    bool Finish();

private:
    struct Batch {
        std::vector<char> bytes;
        std::size_t size = 0;
    };
    void HandOver();
    void Work();

    std::size_t pieceRoom_;
    Consumer consume_;
    std::vector<char> filling_;
    std::size_t filled_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> full_;
    std::vector<std::vector<char>> spare_;
    bool ending_ = false;
    bool stopped_ = false;
    bool finished_ = false;
    std::thread worker_;
};

}  // namespace service
