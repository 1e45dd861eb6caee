#include "atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <utility>

namespace platform {

namespace {

constexpr std::size_t kBufferSize = 1 << 16;
// Written data is handed to the disk in steps of this size while the file is still being
// written, so the sync at the commit finds little left to do.
constexpr long long kWritebackStep = 1LL << 21;
// A file grown by this much since its last sync is synced again on the step thread. Virtual
// disks commonly hold written data in the host's cache until a sync, which then costs time in
// proportion to everything since the last one; a sync per step keeps the last one short.
constexpr long long kSyncStep = 1LL << 23;
constexpr const char* kTempMarker = ".tmp-";
constexpr std::size_t kTempSuffixLength = 6;

std::string ParentFolder(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, const char* p, std::size_t left) {
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Asks the kernel to start writing what reached the file since the last step, without waiting
// for it. Only a head start: durability still comes from the sync at the commit.
void StartWriteback(int fd, WritebackMark& mark, std::size_t added) {
    mark.written += static_cast<long long>(added);
    if (mark.written - mark.started < kWritebackStep) return;
#ifdef __linux__
    sync_file_range(fd, mark.started, mark.written - mark.started, SYNC_FILE_RANGE_WRITE);
#endif
    mark.started = mark.written;
}

// Writes out and empties a writer's buffer; a failure is remembered in `failed`.
bool FlushBuffer(int fd, std::vector<char>& buffer, bool& failed, WritebackMark& mark) {
    if (!WriteAll(fd, buffer.data(), buffer.size())) {
        failed = true;
        return false;
    }
    StartWriteback(fd, mark, buffer.size());
    buffer.clear();
    return true;
}

bool IsTemporaryName(const char* name) {
    const std::size_t length = std::strlen(name);
    const std::size_t markerLength = std::strlen(kTempMarker);
    if (length <= markerLength + kTempSuffixLength) return false;
    const char* suffix = name + length - kTempSuffixLength;
    if (std::strncmp(suffix - markerLength, kTempMarker, markerLength) != 0) return false;
    for (const char* c = suffix; *c; ++c) {
        const bool alnum = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9');
        if (!alnum) return false;
    }
    return true;
}

}  // namespace

// Syncs a file on a thread of its own each time the writer has added a step. The writer never
// waits for it, except when stopping it, for the sync under way.
class StepSync {
public:
    explicit StepSync(int fd) : fd_(fd), thread_([this] { Run(); }) {}
    ~StepSync() { Stop(); }
    StepSync(const StepSync&) = delete;
    StepSync& operator=(const StepSync&) = delete;

    void Note(long long written) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            written_ = written;
        }
        wake_.notify_one();
    }
    // False, with errno set, when one of the syncs failed: the data it covered may be lost even
    // if a later sync succeeds.
    bool Stop() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
        if (error_ != 0) errno = error_;
        return error_ == 0;
    }

private:
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || written_ - synced_ >= kSyncStep; });
            if (stop_) return;
            const long long upTo = written_;
            lock.unlock();
            const bool synced = fdatasync(fd_) == 0;
            const int error = errno;
            lock.lock();
            if (!synced) {
                error_ = error;
                return;
            }
            synced_ = upTo;
        }
    }

    int fd_;
    std::mutex mutex_;
    std::condition_variable wake_;
    long long written_ = 0;
    long long synced_ = 0;
    bool stop_ = false;
    int error_ = 0;
    std::thread thread_;  // last: it starts once everything it reads is set
};

AtomicFile::AtomicFile() = default;
AtomicFile::~AtomicFile() { Abort(); }

bool AtomicFile::Open(const std::string& path, mode_t newFileMode) {
    Abort();
    path_ = path;
    std::string pattern = path + kTempMarker + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) {
        failed_ = true;
        return false;
    }
    temp_path_ = name.data();
    // Settings hold the user's name and serial: a replaced file must not become more readable.
    struct stat existing {};
    const mode_t mode = stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : newFileMode;
    if (fchmod(fd_, mode) != 0) {
        Abort();
        failed_ = true;
        return false;
    }
    failed_ = false;
    writeback_ = {};
    buffer_.clear();
    buffer_.reserve(kBufferSize);
    return true;
}

bool AtomicFile::Flush() {
    const bool flushed = FlushBuffer(fd_, buffer_, failed_, writeback_);
    if (flushed) NoteWritten();
    return flushed;
}

void AtomicFile::NoteWritten() {
    if (!stepSync_ && writeback_.written >= kSyncStep) stepSync_ = std::make_unique<StepSync>(fd_);
    if (stepSync_) stepSync_->Note(writeback_.written);
}

bool AtomicFile::StopStepSync() {
    if (!stepSync_) return true;
    const bool synced = stepSync_->Stop();
    stepSync_.reset();
    return synced;
}

bool AtomicFile::Write(const void* data, std::size_t size) {
    if (fd_ < 0 || failed_) return false;
    const char* bytes = static_cast<const char*>(data);
    if (buffer_.size() + size > kBufferSize && !Flush()) return false;
    if (size >= kBufferSize) {  // large blocks go straight from the caller's memory
        if (!WriteAll(fd_, bytes, size)) failed_ = true;
        if (!failed_) {
            StartWriteback(fd_, writeback_, size);
            NoteWritten();
        }
        return !failed_;
    }
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    return true;
}

bool AtomicFile::Sync() {
    if (fd_ < 0 || failed_) return false;
    if (!Flush() || !StopStepSync() || fdatasync(fd_) != 0) failed_ = true;
    return !failed_;
}

bool AtomicFile::Commit() {
    if (fd_ < 0) return false;
    // The data must be on the disk before the name points at it, or a power cut after the
    // rename leaves an empty file where the old one was.
    if (failed_ || !Flush() || !StopStepSync() || fdatasync(fd_) != 0) {
        const int error = errno;
        Abort();
        errno = error;
        failed_ = true;
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 || std::rename(temp_path_.c_str(), path_.c_str()) != 0) {
        unlink(temp_path_.c_str());
        temp_path_.clear();
        failed_ = true;
        return false;
    }
    temp_path_.clear();
    if (!SyncParentFolder(path_)) {
        // The new file is in place and complete; only its durability across a power cut is
        // in doubt, which the caller hears about.
        failed_ = true;
        return false;
    }
    return true;
}

void AtomicFile::Abort() {
    StopStepSync();  // before the descriptor closes: its number could be another file's next
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_path_.empty()) {
        unlink(temp_path_.c_str());
        temp_path_.clear();
    }
    buffer_.clear();
}

AppendingFile::~AppendingFile() { Abort(); }

bool AppendingFile::Open(const std::string& path, bool emptyFirst) {
    Abort();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (emptyFirst ? O_TRUNC : 0), 0644);
    if (fd_ < 0) return false;
    original_size_ = lseek(fd_, 0, SEEK_END);
    failed_ = original_size_ < 0;
    writeback_ = {original_size_, original_size_};
    buffer_.clear();
    return !failed_;
}

bool AppendingFile::Flush() { return FlushBuffer(fd_, buffer_, failed_, writeback_); }

bool AppendingFile::Write(const void* data, std::size_t size) {
    if (fd_ < 0 || failed_) return false;
    const char* bytes = static_cast<const char*>(data);
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    return buffer_.size() < kBufferSize || Flush();
}

bool AppendingFile::Commit() {
    if (fd_ < 0) return false;
    if (failed_ || !Flush()) {
        Abort();
        return false;
    }
    // The addition must be on the disk before the caller counts it as stored.
    const bool synced = fdatasync(fd_) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return synced && closed;
}

void AppendingFile::Abort() {
    if (fd_ < 0) return;
    buffer_.clear();
    if (ftruncate(fd_, original_size_) != 0) failed_ = true;
    ::close(fd_);
    fd_ = -1;
}

FileSnapshot::FileSnapshot(std::string path) : path_(std::move(path)), keep_(path_ + ".before") {
    unlink(keep_.c_str());
    struct stat st {};
    existed_ = stat(path_.c_str(), &st) == 0;
    if (!existed_) return;
    std::error_code ec;
    kept_ = link(path_.c_str(), keep_.c_str()) == 0 || std::filesystem::copy_file(path_, keep_, ec);
}

FileSnapshot::~FileSnapshot() { unlink(keep_.c_str()); }

bool FileSnapshot::Restore() {
    if (kept_) {
        kept_ = false;
        return std::rename(keep_.c_str(), path_.c_str()) == 0 && SyncParentFolder(path_);
    }
    if (!existed_) return unlink(path_.c_str()) == 0 || errno == ENOENT;
    return false;
}

bool SyncParentFolder(const std::string& path) {
    const int dir = ::open(ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return false;
    const bool synced = fsync(dir) == 0 || errno == EINVAL;  // some file systems cannot sync folders
    ::close(dir);
    return synced;
}

bool WriteMarkerFile(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return true;
    AtomicFile file;
    return file.Open(path) && file.Commit();
}

int RemoveLeftoverTemporaries(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return 0;
    int removed = 0;
    const int dirFd = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        if (!IsTemporaryName(entry->d_name)) continue;
        struct stat st {};
        if (fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
        if (unlinkat(dirFd, entry->d_name, 0) == 0) ++removed;
    }
    closedir(dir);
    return removed;
}

}  // namespace platform
