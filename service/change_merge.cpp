#include "service/change_merge.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace service {

DownloadAction DownloadActionFromText(const char* text) {
    if (std::strcmp(text, "A") == 0) return DownloadAction::kAdd;
    if (std::strcmp(text, "U") == 0) return DownloadAction::kUpdate;
    if (std::strcmp(text, "D") == 0) return DownloadAction::kDelete;
    return DownloadAction::kUnknown;
}

ChangeMerge::ChangeMerge(std::vector<CameraRecord>& local, platform::WorkFolder folder)
    : local_(local), folder_(std::move(folder)) {
    byIdentifier_.Build(local.size(), [&](std::size_t i) { return platform::IdentifierKey(local[i].identifier); });
}

ChangeMerge::~ChangeMerge() { CloseDelta(); }

bool ChangeMerge::OpenDelta() {
    CloseDelta();
    deltaFailed_ = false;
    return delta_.Open(folder_.Path(platform::pcfile::kDeltaFile), true);
}

void ChangeMerge::CloseDelta() {
    if (delta_.is_open() && !delta_.Commit()) deltaFailed_ = true;
}

std::uint32_t ChangeMerge::FirstWithIdentifier(std::int32_t identifier) const {
    return byIdentifier_.First(platform::IdentifierKey(identifier));
}

void ChangeMerge::WriteDelta(const CameraRecord& change) {
    if (delta_.is_open() && !delta_.Add(change)) deltaFailed_ = true;
}

void ChangeMerge::UpdateAtPosition(const CameraRecord& change) {
    // Positions never change during a merge, so the index is built once, when first needed.
    if (byPosition_.empty() && !local_.empty()) {
        byPosition_.Build(local_.size(), [&](std::size_t i) { return PositionKey(local_[i]); });
    }
    for (std::uint32_t i = byPosition_.First(PositionKey(change)); i != platform::KeyChainIndex::kNone; i = byPosition_.Next(i)) {
        CameraRecord& r = local_[i];
        r.extra = change.extra;
        r.direction = change.direction;
        r.category = change.category;
        std::memcpy(r.name, change.name, sizeof r.name);
    }
}

void ChangeMerge::Apply(const CameraRecord& change, DownloadAction action) {
    if (action == DownloadAction::kUnknown) return;
    const std::uint32_t found = FirstWithIdentifier(change.identifier);
    if (action == DownloadAction::kAdd && delta_.is_open()) {
        if (found != platform::KeyChainIndex::kNone) local_[found].direction = kDeletedDirection;
        WriteDelta(change);
        return;
    }
    if (found == platform::KeyChainIndex::kNone) {
        if (action != DownloadAction::kDelete) WriteDelta(change);
        return;
    }
    if (action == DownloadAction::kDelete) {
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
    std::vector<CameraRecord> added;
    if (platform::FileSizeOf(deltaPath) >= 0 && !ReadCacheFile(deltaPath, added)) return false;
    for (const CameraRecord& r : added) {
        if (!cache.Add(r)) return false;
    }
    if (!cache.Commit()) return false;
    folder_.Delete(platform::pcfile::kDeltaFile);
    // The records in memory become what was written, so no one needs to read the file back.
    local_.erase(std::remove_if(local_.begin(), local_.end(),
                                [](const CameraRecord& r) { return r.direction == kDeletedDirection; }),
                 local_.end());
    local_.insert(local_.end(), added.begin(), added.end());
    return true;
}

void ChangeMerge::Abandon() { CloseDelta(); }

}  // namespace service
