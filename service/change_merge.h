#pragma once
#include <vector>

#include "platform/pc_files.h"
#include "service/cache_file.h"
#include "service/camera_record.h"

namespace service {

// The action of a record of the change download (its field 7: "A", "U" or "D").
enum class DownloadAction { kAdd = 0, kUpdate = 1, kDelete = 2, kUnknown = 3 };
DownloadAction DownloadActionFromText(const char* text);

// Merges a change download into the loaded local cache. Cameras that are new go to the delta
// file "newconfig.dat"; Finish writes the surviving cached cameras, in their order, followed by
// the delta, as the new local cache. The changes are applied, in the order received, when the
// download ends (Finish or Abandon), with the same first-match results as front-to-back scans.
class ChangeMerge {
public:
    ChangeMerge(std::vector<CameraRecord>& local, platform::WorkFolder folder);
    ~ChangeMerge();
    ChangeMerge(const ChangeMerge&) = delete;
    ChangeMerge& operator=(const ChangeMerge&) = delete;

    // Creates the delta file anew; false when it cannot be (the download must then not run:
    // its new cameras would be lost).
    bool OpenDelta();
    void Apply(const CameraRecord& change, DownloadAction action);
    // Writes the new local cache and deletes the delta file; the records in memory are then
    // exactly what was written. False when the cache could not be written: the old cache and
    // the delta file then stay as they are. With localIsTheFile (the records in memory are
    // the file's content) a download that only adds new cameras is appended to the file, which
    // gives the same bytes as writing it anew.
    bool Finish(bool localIsTheFile = false);
    // Ends without touching the local cache; the delta file is closed and left on disk.
    void Abandon();

private:
    struct Pending {
        CameraRecord change;
        DownloadAction action;
    };
    static constexpr std::uint32_t kNotFound = 0xffffffffU;

    void ApplyPending();
    void MarkDeleted(std::uint32_t index);
    bool IsDeleted(std::size_t index) const { return !deleted_.empty() && deleted_[index]; }
    bool WriteCache(const std::vector<CameraRecord>& added);
    bool AppendToCache(const std::vector<CameraRecord>& added);
    void WriteDelta(const CameraRecord& change);
    void CloseDelta();

    std::vector<CameraRecord>& local_;
    platform::WorkFolder folder_;
    std::vector<Pending> pending_;  // applied in order of arrival when the download ends
    bool localChanged_ = false;      // a cached camera was marked deleted or updated
    // Cached cameras a delete or a replacing add removed, by index (empty while none). Kept
    // apart from the records: a direction of -3 from the service is a camera like any other.
    std::vector<bool> deleted_;
    CacheAppender delta_;
    bool deltaFailed_ = false;
};

}  // namespace service
