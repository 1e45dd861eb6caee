#pragma once
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "service/camera_record.h"

// The camera caches of the PC (".\local.cache", ".\mut.cache", "newconfig.dat"): plain sequences
// of 80-byte records, read whole and written through the platform's safe writers.
namespace service {

// Reads every whole record of a cache file; a trailing partial record is ignored. False when
// the file cannot be opened or read (out is then empty).
bool ReadCacheFile(const std::string& path, std::vector<CameraRecord>& out, std::size_t extra_capacity = 0);

// Writes the records to the file atomically: the old file stays whole unless all succeeded.
bool WriteCacheFile(const std::string& path, const CameraRecord* records, std::size_t count);

// Writes a cache anew. The old file stays whole until Commit has written every record.
class CacheFileWriter {
public:
    bool Open(const std::string& path) { return file_.Open(path); }
    bool Add(const CameraRecord& record) { return file_.Write(&record, sizeof record); }
    bool AddAll(const CameraRecord* records, std::size_t count) {
        return file_.Write(records, count * sizeof(CameraRecord));
    }
    bool Commit() { return file_.Commit(); }

private:
    platform::AtomicFile file_;
};

// Appends records to a cache (or, with emptyFirst, writes one anew in place, as the delta file
// is). A failure midway, or going without Commit, cuts the file back to what it held before.
class CacheAppender {
public:
    bool Open(const std::string& path, bool emptyFirst = false) { return file_.Open(path, emptyFirst); }
    bool Add(const CameraRecord& record) { return file_.Write(&record, sizeof record); }
    bool Commit() { return file_.Commit(); }
    void Abort() { file_.Abort(); }
    bool is_open() const { return file_.is_open(); }

private:
    platform::AppendingFile file_;
};

}  // namespace service
