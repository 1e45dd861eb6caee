#include "service/change_merge.h"

#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

namespace service {

DownloadAction DownloadActionFromText(const char* text) {
    if (std::strcmp(text, "A") == 0) return DownloadAction::kAdd;
    if (std::strcmp(text, "U") == 0) return DownloadAction::kUpdate;
    if (std::strcmp(text, "D") == 0) return DownloadAction::kDelete;
    return DownloadAction::kUnknown;
}

ChangeMerge::ChangeMerge(std::vector<CameraRecord>& local, platform::WorkFolder folder)
    : local_(local), folder_(std::move(folder)) {}

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
    if (delta_.is_open() && !delta_.Add(change)) deltaFailed_ = true;
}

void ChangeMerge::MarkDeleted(std::uint32_t index) {
    if (deleted_.empty()) deleted_.assign(local_.size(), false);
    deleted_[index] = true;
    localChanged_ = true;
}

void ChangeMerge::Apply(const CameraRecord& change, DownloadAction action) {
    if (action != DownloadAction::kUnknown) pending_.push_back({change, action});
}

// A download names a few identifiers and positions of a large cache. Rather than index the
// whole cache, one pass finds, for exactly those, the first camera with each identifier and
// every camera at each position, in cache order; a lookup then gives what a front-to-back scan
// would. Neither changes during the merge: marking a camera deleted keeps it in place.
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

bool ChangeMerge::Finish(bool localIsTheFile) {
    ApplyPending();
    CloseDelta();
    if (deltaFailed_) return false;  // a new camera missing from the delta would be lost
    const std::string deltaPath = folder_.Path(platform::pcfile::kDeltaFile);
    std::vector<CameraRecord> added;
    if (platform::FileSizeOf(deltaPath) >= 0 && !ReadCacheFile(deltaPath, added)) return false;
    const bool written = localIsTheFile && !localChanged_ ? AppendToCache(added) : WriteCache(added);
    if (!written) return false;
    folder_.Delete(platform::pcfile::kDeltaFile);
    // The records in memory become what was written, so no one needs to read the file back.
    if (!deleted_.empty()) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < local_.size(); ++i) {
            if (!deleted_[i]) local_[kept++] = local_[i];
        }
        local_.resize(kept);
        deleted_.clear();
    }
    local_.insert(local_.end(), added.begin(), added.end());
    return true;
}

bool ChangeMerge::WriteCache(const std::vector<CameraRecord>& added) {
    CacheFileWriter cache;
    if (!cache.Open(folder_.Path(platform::pcfile::kLocalCache))) return false;
    // The surviving cameras go out in runs between deleted ones: a few large writes.
    for (std::size_t begin = 0; begin < local_.size();) {
        std::size_t end = begin;
        while (end < local_.size() && !IsDeleted(end)) ++end;
        if (end > begin && !cache.AddAll(&local_[begin], end - begin)) return false;
        begin = end + 1;
    }
    if (!added.empty() && !cache.AddAll(added.data(), added.size())) return false;
    return cache.Commit();
}

// Nothing cached changed: the new cache is the old file followed by the delta. Appending is cut
// back on failure, and a run killed midway leaves the unfinished-synchronisation marker, so the
// next run retrieves everything.
bool ChangeMerge::AppendToCache(const std::vector<CameraRecord>& added) {
    const std::string path = folder_.Path(platform::pcfile::kLocalCache);
    // Only onto whole records: a trailing partial one would shift every camera appended.
    const long long size = platform::FileSizeOf(path);
    if (static_cast<unsigned long long>(size < 0 ? 0 : size) != local_.size() * sizeof(CameraRecord)) {
        return WriteCache(added);
    }
    if (added.empty()) return true;
    CacheAppender cache;
    if (!cache.Open(path)) return false;
    for (const CameraRecord& r : added) {
        if (!cache.Add(r)) return false;
    }
    return cache.Commit();
}

void ChangeMerge::Abandon() {
    ApplyPending();
    CloseDelta();
}

}  // namespace service
