#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/pc_files.h"
#include "service/camera_record.h"
#include "service/record_index.h"

namespace service {

// Writes a camera cache anew. The old file stays whole until Commit has written every record.
class CacheFileWriter {
public:
    bool Open(const std::string& path);
    bool Add(const CameraRecord& record) { return file_.Write(&record, sizeof record); }
    bool Commit() { return file_.Commit(); }
    void Abort() { file_.Abort(); }
    bool is_open() const { return file_.is_open(); }

private:
    platform::AtomicFile file_;
};

// Appends records to a camera cache; Abort cuts the file back to what it held before, so a
// failure midway never leaves half a list behind.
class CacheAppender {
public:
    CacheAppender() = default;
    ~CacheAppender();
    CacheAppender(const CacheAppender&) = delete;
    CacheAppender& operator=(const CacheAppender&) = delete;

    bool Open(const std::string& path);
    bool Add(const CameraRecord& record);
    bool Commit();
    void Abort();
    bool is_open() const { return fd_ >= 0; }

private:
    bool Flush();
    int fd_ = -1;
    long long original_size_ = 0;
    bool failed_ = false;
    std::vector<char> buffer_;
};

// Applies the service's mutations of official cameras to the official list: the first mutation
// standing at a camera's position decides; flag 1 takes its direction and category, any other
// flag drops the camera.
class MutationFilter {
public:
    explicit MutationFilter(const std::vector<CameraRecord>& mutations);
    // False when the camera was deleted; otherwise the record is adjusted in place.
    bool Apply(CameraRecord& official) const;

private:
    const std::vector<CameraRecord>& mutations_;
    KeyChainIndex byPosition_;
};

enum class ChangeAction { kAdd, kUpdate, kDelete, kUnknown };
ChangeAction ChangeActionFromText(const char* text);

// Merges a change download into the loaded local cache. Cameras that are new go to the delta
// file "newconfig.dat"; Finish writes the surviving cached cameras, in their order, followed by
// the delta, as the new local cache.
class ChangeMerge {
public:
    ChangeMerge(std::vector<CameraRecord>& local, platform::WorkFolder folder);
    ~ChangeMerge();
    ChangeMerge(const ChangeMerge&) = delete;
    ChangeMerge& operator=(const ChangeMerge&) = delete;

    // Creates the delta file anew; false when it cannot be (new cameras are then lost, and an
    // add is handled like an update).
    bool OpenDelta();
    void Apply(const CameraRecord& change, ChangeAction action);
    // Writes the new local cache and deletes the delta file. False when the cache could not be
    // written: the old cache and the delta file then stay as they are.
    bool Finish();
    // Ends without touching the local cache; the delta file is closed and left on disk.
    void Abandon();

private:
    std::uint32_t FirstWithIdentifier(std::int32_t identifier) const;
    void UpdateAtPosition(const CameraRecord& change);
    void WriteDelta(const CameraRecord& change);
    void CloseDelta();

    std::vector<CameraRecord>& local_;
    platform::WorkFolder folder_;
    KeyChainIndex byIdentifier_;
    KeyChainIndex byPosition_;
    std::FILE* delta_ = nullptr;
    bool deltaFailed_ = false;
};

}  // namespace service
