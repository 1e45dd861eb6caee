#pragma once
#include <cstddef>
#include <functional>
#include <vector>

#include "platform/pc_files.h"
#include "service/cache_file.h"
#include "service/camera_record.h"

namespace service {

// Far beyond any camera database (one million is a large one), well short of what a PC holds:
// a cache of 20 million cameras is 1.6 GB. A change download adding more is refused.
inline constexpr std::size_t kMaxAddedCameras = 20'000'000;

// Whether a change download's merge is written to the local cache at once, or kept in memory
// for the run's next download, whose commit then writes both. A run that ends before that
// commit leaves the earlier cache whole, and its unfinished marker has the next run retrieve
// everything, so nothing the service handed over is lost.
enum class CacheCommit : int { kNow = 0, kWithNextDownload = 1 };

// The action of a record of the change download (its field 7: "A", "U" or "D").
enum class DownloadAction { kAdd = 0, kUpdate = 1, kDelete = 2, kUnknown = 3 };
DownloadAction DownloadActionFromText(const char* text);

// Merges a change download into the loaded local cache. Cameras that are new go to the delta
// file "newconfig.dat"; Finish writes the surviving cached cameras, in their order, followed by
// the delta, as the new local cache. The changes are applied in the order received, in batches
// as the download streams in, with the same first-match results as front-to-back scans: memory
// stays near the size of the cache, however long the download.
class ChangeMerge {
public:
    // addedLimit: the most cameras the download may add to the cache (delta records);
    // batchSize: changes matched per pass over the cache, 0 to follow the cache's size.
    ChangeMerge(std::vector<CameraRecord>& local, platform::WorkFolder folder,
                std::size_t addedLimit = kMaxAddedCameras, std::size_t batchSize = 0);
    ~ChangeMerge();
    ChangeMerge(const ChangeMerge&) = delete;
    ChangeMerge& operator=(const ChangeMerge&) = delete;

    // Creates the delta file anew; false when it cannot be (the download must then not run:
    // its new cameras would be lost).
    bool OpenDelta();
    // False once the download has added more cameras than the limit: stop reading it.
    bool Apply(const CameraRecord& change, DownloadAction action);
    // Writes the new local cache (with its seal) and deletes the delta file; the records in
    // memory are then exactly what was written. False when the cache could not be written or
    // read back, or the download added more cameras than the limit (over_limit; the delta file
    // is then deleted): the old cache then stays as it was, the delta file too after a write
    // failure, and the records in memory are no longer the cache. With localIsTheFile (the
    // records in memory are the file's content) a download that only adds new cameras is
    // appended to the file, which gives the same bytes as writing it anew.
    //
    // With alongside, when the records in memory have room for the added cameras, the records
    // are made first and alongside runs with them (on this thread) while the file is written
    // and made lasting on another; the results are the same.
    //
    // With kWithNextDownload, when the records in memory have room for the added cameras, the
    // file is not written: the records become the new cache in memory alone and wrote_file()
    // is false.
    using RecordsVisitor = std::function<void(const std::vector<CameraRecord>&)>;
    bool Finish(bool localIsTheFile = false, const RecordsVisitor& alongside = {}, CacheCommit commit = CacheCommit::kNow);
    bool wrote_file() const { return wroteFile_; }
    // Ends without touching the local cache; the delta file is closed and left on disk.
    void Abandon();
    bool over_limit() const { return addedCount_ > addedLimit_; }
    std::size_t added_limit() const { return addedLimit_; }

private:
    struct Pending {
        CameraRecord change;
        DownloadAction action;
    };
    static constexpr std::uint32_t kNotFound = 0xffffffffU;

    void ApplyPending();
    void MarkDeleted(std::uint32_t index);
    bool IsDeleted(std::size_t index) const { return !deleted_.empty() && deleted_[index]; }
    bool WriteCache(std::size_t added);
    bool AppendToCache(std::size_t added);
    bool TakeIntoMemory(std::size_t added);
    void CloseUpSurvivors();
    // The delta file's records after those in memory, when they fit in its capacity.
    bool AppendDelta(std::size_t added);
    bool RoomFor(std::size_t added) const;
    bool WriteFromMemory(bool append, std::size_t added);
    void WriteDelta(const CameraRecord& change);
    void CloseDelta();

    std::vector<CameraRecord>& local_;
    platform::WorkFolder folder_;
    std::vector<Pending> pending_;  // applied in order of arrival, a batch at a time
    std::size_t batchSize_;
    std::size_t addedCount_ = 0;  // cameras written to the delta file
    std::size_t addedLimit_;
    bool localChanged_ = false;      // a cached camera was marked deleted or updated
    // Cached cameras a delete or a replacing add removed, by index (empty while none). Kept
    // apart from the records: a direction of -3 from the service is a camera like any other.
    std::vector<bool> deleted_;
    CacheAppender delta_;
    bool deltaFailed_ = false;
    bool wroteFile_ = false;
};

}  // namespace service
