#include "service/cache_writers.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "platform/pc_files.h"

namespace service {

bool CacheFileWriter::Open(const std::string& path) { return file_.Open(path); }

// ---- CacheAppender ---------------------------------------------------------------------------

namespace {
constexpr std::size_t kAppendBuffer = 1 << 16;
}

CacheAppender::~CacheAppender() { Abort(); }

bool CacheAppender::Open(const std::string& path) {
    Abort();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return false;
    original_size_ = lseek(fd_, 0, SEEK_END);
    failed_ = original_size_ < 0;
    buffer_.clear();
    return !failed_;
}

bool CacheAppender::Flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n <= 0) {
            failed_ = true;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
    return true;
}

bool CacheAppender::Add(const CameraRecord& record) {
    if (fd_ < 0 || failed_) return false;
    const char* bytes = reinterpret_cast<const char*>(&record);
    buffer_.insert(buffer_.end(), bytes, bytes + sizeof record);
    return buffer_.size() < kAppendBuffer || Flush();
}

bool CacheAppender::Commit() {
    if (fd_ < 0) return false;
    if (failed_ || !Flush()) {
        Abort();
        return false;
    }
    // The appended records must be on the disk before the caller counts the list as stored.
    const bool synced = fdatasync(fd_) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return synced && closed;
}

void CacheAppender::Abort() {
    if (fd_ < 0) return;
    buffer_.clear();
    if (ftruncate(fd_, original_size_) != 0) failed_ = true;
    ::close(fd_);
    fd_ = -1;
}

// ---- MutationFilter --------------------------------------------------------------------------

MutationFilter::MutationFilter(const std::vector<CameraRecord>& mutations) : mutations_(mutations) {
    byPosition_.Build(mutations.size(), [&](std::size_t i) { return PositionKey(mutations[i]); });
}

bool MutationFilter::Apply(CameraRecord& official) const {
    const std::uint32_t m = byPosition_.First(PositionKey(official));
    if (m == KeyChainIndex::kNone) return true;
    const CameraRecord& mutation = mutations_[m];
    if (mutation.flag != 1) return false;
    official.direction = mutation.direction;
    official.category = mutation.category;
    return true;
}

// ---- ChangeMerge -----------------------------------------------------------------------------

ChangeAction ChangeActionFromText(const char* text) {
    if (std::strcmp(text, "A") == 0) return ChangeAction::kAdd;
    if (std::strcmp(text, "U") == 0) return ChangeAction::kUpdate;
    if (std::strcmp(text, "D") == 0) return ChangeAction::kDelete;
    return ChangeAction::kUnknown;
}

ChangeMerge::ChangeMerge(std::vector<CameraRecord>& local, platform::WorkFolder folder)
    : local_(local), folder_(std::move(folder)) {
    byIdentifier_.Build(local.size(), [&](std::size_t i) { return IdentifierKey(local[i].identifier); });
}

ChangeMerge::~ChangeMerge() { CloseDelta(); }

bool ChangeMerge::OpenDelta() {
    CloseDelta();
    delta_ = std::fopen(folder_.Path(platform::pcfile::kDeltaFile).c_str(), "wb");
    deltaFailed_ = false;
    return delta_ != nullptr;
}

void ChangeMerge::CloseDelta() {
    if (delta_ && std::fclose(delta_) != 0) deltaFailed_ = true;
    delta_ = nullptr;
}

std::uint32_t ChangeMerge::FirstWithIdentifier(std::int32_t identifier) const {
    return byIdentifier_.First(IdentifierKey(identifier));
}

void ChangeMerge::WriteDelta(const CameraRecord& change) {
    if (delta_ && std::fwrite(&change, sizeof change, 1, delta_) != 1) deltaFailed_ = true;
}

void ChangeMerge::UpdateAtPosition(const CameraRecord& change) {
    // Positions never change during a merge, so the index is built once, when first needed.
    if (byPosition_.empty() && !local_.empty()) {
        byPosition_.Build(local_.size(), [&](std::size_t i) { return PositionKey(local_[i]); });
    }
    for (std::uint32_t i = byPosition_.First(PositionKey(change)); i != KeyChainIndex::kNone; i = byPosition_.Next(i)) {
        CameraRecord& r = local_[i];
        r.extra = change.extra;
        r.direction = change.direction;
        r.category = change.category;
        std::memcpy(r.name, change.name, sizeof r.name);
    }
}

void ChangeMerge::Apply(const CameraRecord& change, ChangeAction action) {
    if (action == ChangeAction::kUnknown) return;
    const std::uint32_t found = FirstWithIdentifier(change.identifier);
    if (action == ChangeAction::kAdd && delta_) {
        if (found != KeyChainIndex::kNone) local_[found].direction = kDeletedDirection;
        WriteDelta(change);
        return;
    }
    if (found == KeyChainIndex::kNone) {
        if (action != ChangeAction::kDelete) WriteDelta(change);
        return;
    }
    if (action == ChangeAction::kDelete) {
        local_[found].direction = kDeletedDirection;
    } else {
        UpdateAtPosition(change);
    }
}

bool ChangeMerge::Finish() {
    CloseDelta();
    if (deltaFailed_) return false;  // a new camera missing from the delta would be lost
    CacheFileWriter cache;
    if (!cache.Open(folder_.Path(platform::pcfile::kLocalCache))) return false;
    for (const CameraRecord& r : local_) {
        if (r.direction != kDeletedDirection && !cache.Add(r)) return false;
    }
    const std::string deltaPath = folder_.Path(platform::pcfile::kDeltaFile);
    if (std::FILE* delta = std::fopen(deltaPath.c_str(), "rb")) {
        CameraRecord r;
        bool ok = true;
        while (ok && std::fread(&r, sizeof r, 1, delta) == 1) ok = cache.Add(r);
        ok = ok && std::ferror(delta) == 0;
        std::fclose(delta);
        if (!ok) return false;
    } else if (!deltaFailed_ && platform::FileSizeOf(deltaPath) >= 0) {
        return false;
    }
    if (!cache.Commit()) return false;
    folder_.Delete(platform::pcfile::kDeltaFile);
    return true;
}

void ChangeMerge::Abandon() { CloseDelta(); }

}  // namespace service
