#include "service/change_merge.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>

namespace service {

DownloadAction DownloadActionFromText(const char* text) {
    if (std::strcmp(text, "A") == 0) return DownloadAction::kAdd;
    if (std::strcmp(text, "U") == 0) return DownloadAction::kUpdate;
    if (std::strcmp(text, "D") == 0) return DownloadAction::kDelete;
    return DownloadAction::kUnknown;
}

namespace {

// A batch is matched against the cache in one pass. Its size follows the cache so that the
// passes over a large cache stay few, and their maps (about twice a record each) stay below a
// third of the cache's own memory.
constexpr std::size_t kMinBatch = 1U << 16U;
std::size_t BatchSizeFor(std::size_t cached) { return cached / 4 > kMinBatch ? cached / 4 : kMinBatch; }

}  // namespace

ChangeMerge::ChangeMerge(std::vector<CameraRecord>& local, platform::WorkFolder folder, std::size_t addedLimit,
                         std::size_t batchSize)
    : local_(local),
      folder_(std::move(folder)),
      batchSize_(batchSize != 0 ? batchSize : BatchSizeFor(local.size())),
      addedLimit_(addedLimit) {}

ChangeMerge::~ChangeMerge() { CloseDelta(); }

bool ChangeMerge::OpenDelta() {
    CloseDelta();
    deltaFailed_ = false;
    return delta_.Open(folder_.Path(platform::pcfile::kDeltaFile), true);
}

void ChangeMerge::CloseDelta() {
    if (delta_.is_open() && !delta_.Commit()) deltaFailed_ = true;
}

void ChangeMerge::WriteDelta(const CameraRecord& change) {
    if (!delta_.is_open()) return;
    ++addedCount_;
    if (over_limit()) return;  // refused whole: no need to write what will be dropped
    if (!delta_.Add(change)) deltaFailed_ = true;
}

void ChangeMerge::MarkDeleted(std::uint32_t index) {
    if (deleted_.empty()) deleted_.assign(local_.size(), false);
    deleted_[index] = true;
    localChanged_ = true;
}

bool ChangeMerge::Apply(const CameraRecord& change, DownloadAction action) {
    if (action != DownloadAction::kUnknown) pending_.push_back({change, action});
    if (pending_.size() >= batchSize_) ApplyPending();
    return !over_limit();
}

// A download names a few identifiers and positions of a large cache. Rather than index the
// whole cache, one pass per batch finds, for exactly those, the first camera with each
// identifier and every camera at each position, in cache order; a lookup then gives what a
// front-to-back scan would. Neither changes during the merge (marking a camera deleted keeps it
// in place, an update keeps identifier and position), so batches give what one pass would.
void ChangeMerge::ApplyPending() {
    std::unordered_map<std::int32_t, std::uint32_t> firstWithIdentifier;
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> atPosition;
    for (const Pending& p : pending_) {
        firstWithIdentifier.emplace(p.change.identifier, kNotFound);
        if (p.action == DownloadAction::kUpdate || (p.action == DownloadAction::kAdd && !delta_.is_open())) {
            atPosition.emplace(PositionKey(p.change), std::vector<std::uint32_t>{});
        }
    }
    for (std::uint32_t i = 0; i < local_.size(); ++i) {
        const auto id = firstWithIdentifier.find(local_[i].identifier);
        if (id != firstWithIdentifier.end() && id->second == kNotFound) id->second = i;
        if (atPosition.empty()) continue;
        const auto at = atPosition.find(PositionKey(local_[i]));
        if (at != atPosition.end()) at->second.push_back(i);
    }
    for (const Pending& p : pending_) {
        const CameraRecord& change = p.change;
        const std::uint32_t found = firstWithIdentifier[change.identifier];
        if (p.action == DownloadAction::kAdd && delta_.is_open()) {
            if (found != kNotFound) MarkDeleted(found);
            WriteDelta(change);
        } else if (found == kNotFound) {
            if (p.action != DownloadAction::kDelete) WriteDelta(change);
        } else if (p.action == DownloadAction::kDelete) {
            MarkDeleted(found);
        } else {
            for (const std::uint32_t i : atPosition[PositionKey(change)]) {
                localChanged_ = true;
                CameraRecord& r = local_[i];
                r.extra = change.extra;
                r.direction = change.direction;
                r.category = change.category;
                std::memcpy(r.name, change.name, sizeof r.name);
            }
        }
    }
    pending_.clear();
}

bool ChangeMerge::Finish(bool localIsTheFile, const RecordsVisitor& alongside, CacheCommit commit) {
    ApplyPending();
    CloseDelta();
    const std::string deltaPath = folder_.Path(platform::pcfile::kDeltaFile);
    if (over_limit()) {
        folder_.Delete(platform::pcfile::kDeltaFile);
        return false;
    }
    if (deltaFailed_) return false;  // a new camera missing from the delta would be lost
    const long long deltaSize = platform::FileSizeOf(deltaPath);
    const std::size_t added = deltaSize > 0 ? static_cast<std::size_t>(deltaSize) / sizeof(CameraRecord) : 0;
    const bool append = localIsTheFile && !localChanged_;
    if (commit == CacheCommit::kWithNextDownload && append && added == 0) {
        wroteFile_ = true;  // the file already holds the merged cache
        folder_.Delete(platform::pcfile::kDeltaFile);
        return true;
    }
    if (commit == CacheCommit::kWithNextDownload && RoomFor(added)) {
        // The file still holds the earlier cache: it must not stand in for a delta not read.
        CloseUpSurvivors();
        if (!AppendDelta(added)) return false;
        folder_.Delete(platform::pcfile::kDeltaFile);
        return true;
    }
    wroteFile_ = true;
    if (alongside && RoomFor(added)) {
        // The new records are made in memory first; the file is written from them and made
        // lasting on a second thread while alongside works on them on this one.
        if (!TakeIntoMemory(added)) return false;
        bool written = false;
        int error = 0;
        std::thread writer([&] {
            written = WriteFromMemory(append, added);
            error = errno;
        });
        alongside(local_);
        writer.join();
        errno = error;
        if (!written) return false;
        folder_.Delete(platform::pcfile::kDeltaFile);
        return true;
    }
    const bool written = append ? AppendToCache(added) : WriteCache(added);
    if (!written) return false;
    const bool inMemory = TakeIntoMemory(added);
    folder_.Delete(platform::pcfile::kDeltaFile);
    return inMemory;
}

// The records in memory become what was written, so that no one needs to read the file back:
// the survivors close up in place and the delta follows them when there is room; otherwise the
// old array goes first and the new cache is read, so that the two are never held at once.
bool ChangeMerge::TakeIntoMemory(std::size_t added) {
    CloseUpSurvivors();
    if (AppendDelta(added)) return true;
    std::vector<CameraRecord>().swap(local_);
    // With the room a loaded cache has, so the second download of the run merges in place.
    constexpr std::size_t kSpareRecords = 500;
    return ReadSealedCache(folder_.Path(platform::pcfile::kLocalCache), local_, kSpareRecords) == CacheRead::kRead;
}

void ChangeMerge::CloseUpSurvivors() {
    if (deleted_.empty()) return;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < local_.size(); ++i) {
        if (!deleted_[i]) local_[kept++] = local_[i];
    }
    local_.resize(kept);
    deleted_.clear();
}

bool ChangeMerge::AppendDelta(std::size_t added) {
    if (local_.capacity() - local_.size() < added) return false;
    if (added == 0) return true;
    const std::size_t at = local_.size();
    local_.resize(at + added);
    std::FILE* f = std::fopen(folder_.Path(platform::pcfile::kDeltaFile).c_str(), "rb");
    const bool read = f != nullptr && std::fread(&local_[at], sizeof(CameraRecord), added, f) == added;
    if (f != nullptr) std::fclose(f);
    if (!read) local_.resize(at);
    return read;
}

bool ChangeMerge::RoomFor(std::size_t added) const {
    std::size_t kept = local_.size();
    for (const bool gone : deleted_) kept -= gone ? 1 : 0;
    return local_.capacity() - kept >= added;
}

// The records in memory are the new cache: the added ones are appended when nothing cached
// changed and the file holds the rest, as AppendToCache does; otherwise all are written anew.
bool ChangeMerge::WriteFromMemory(bool append, std::size_t added) {
    const std::string path = folder_.Path(platform::pcfile::kLocalCache);
    const long long size = platform::FileSizeOf(path);
    if (append && size >= 0 && static_cast<std::size_t>(size) == (local_.size() - added) * sizeof(CameraRecord)) {
        if (added == 0) return true;
        CacheAppender cache;
        if (cache.Open(path, false, Sealing::kSealed)) {
            return cache.AddAll(&local_[local_.size() - added], added) && cache.Commit();
        }
    }
    CacheFileWriter cache;
    return cache.Open(path, Sealing::kSealed) && cache.AddAll(local_.data(), local_.size()) && cache.Commit();
}

bool ChangeMerge::WriteCache(std::size_t added) {
    CacheFileWriter cache;
    if (!cache.Open(folder_.Path(platform::pcfile::kLocalCache), Sealing::kSealed)) return false;
    // The surviving cameras go out in runs between deleted ones: a few large writes.
    for (std::size_t begin = 0; begin < local_.size();) {
        std::size_t end = begin;
        while (end < local_.size() && !IsDeleted(end)) ++end;
        if (end > begin && !cache.AddAll(&local_[begin], end - begin)) return false;
        begin = end + 1;
    }
    if (!cache.AddFromFile(folder_.Path(platform::pcfile::kDeltaFile), added)) return false;
    return cache.Commit();
}

// Nothing cached changed: the new cache is the old file followed by the delta. Appending is cut
// back on failure, and a run killed midway leaves the cache longer than its seal says, which
// the next load treats as damaged.
bool ChangeMerge::AppendToCache(std::size_t added) {
    const std::string path = folder_.Path(platform::pcfile::kLocalCache);
    // Only onto whole records: a trailing partial one would shift every camera appended.
    const long long size = platform::FileSizeOf(path);
    if (static_cast<unsigned long long>(size < 0 ? 0 : size) != local_.size() * sizeof(CameraRecord)) {
        return WriteCache(added);
    }
    if (added == 0) return true;
    CacheAppender cache;
    // A cache that does not match its seal is written anew from the records in memory.
    if (!cache.Open(path, false, Sealing::kSealed)) return WriteCache(added);
    return cache.AddFromFile(folder_.Path(platform::pcfile::kDeltaFile), added) && cache.Commit();
}

void ChangeMerge::Abandon() {
    ApplyPending();
    CloseDelta();
}

}  // namespace service
