#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "service/camera_file/format.h"
#include "service/camera_record.h"

namespace service {

// Results of BuildCameraFile; the synchronisation reports any but kWritten as 10000.
enum class CameraFileResult : int {
    kWritten = 0,      // also: nothing to write, no file touched
    kWriteFailed = 1,  // any earlier file is left as it was
    kTooLarge = 2,     // more cameras than the file's 32-bit fields hold
};

struct CellPosition {
    std::int32_t latitudeCell;
    std::int32_t longitudeCell;
    std::int32_t cellKey;
};

// The grid cell (about 2500 m on a side) of a position in micro-degrees.
CellPosition CellOf(std::int32_t latitude, std::int32_t longitude);

WorkRecord MakeWorkRecord(const CameraRecord& camera);
DeviceCameraRecord MakeDeviceRecord(const CameraRecord& camera);

struct CameraFileSummary {
    std::size_t cameras = 0;
    std::size_t cells = 0;
};

// Writes the device's speed-camera file for the cached cameras to outPath, replacing an
// earlier file only when the new one is complete. With no cameras nothing is written and the
// result is kWritten with a zero summary.
CameraFileResult BuildCameraFile(const std::vector<CameraRecord>& local, const std::string& outPath,
                    CameraFileSummary* summary = nullptr);

// A camera file written whole beside its target and made lasting there, so that replacing the
// target later (Commit) is only a rename and a folder sync. Until then, and when the object goes
// without Commit, any earlier file stays exactly as it was. Prepare and Commit give what
// BuildCameraFile gives; BuildCameraFile is the two in a row.
class PreparedCameraFile {
public:
    // cellKeys, when it holds one key per camera (CellOf's, in order), saves computing them.
    CameraFileResult Prepare(const std::vector<CameraRecord>& local, const std::string& outPath,
                             CameraFileSummary* summary = nullptr, std::span<const std::int32_t> cellKeys = {});
    // With no cameras Prepare gives kWritten but prepares nothing (prepared() stays false), and
    // the earlier file is the caller's to keep or delete.
    CameraFileResult Commit();
    // Drops what Prepare wrote; the target stays as it was.
    void Drop() {
        file_.Abort();
        prepared_ = false;
    }
    // Whether Prepare ran and succeeded; Commit then replaces the file.
    bool prepared() const { return prepared_; }

private:
    platform::AtomicFile file_;
    bool prepared_ = false;
};

// The same from a local cache file; a missing or empty cache writes nothing.
CameraFileResult BuildCameraFileFromCache(const std::string& cachePath, const std::string& outPath,
                             CameraFileSummary* summary = nullptr);

// Number of camera chunks in a speed-camera file: 0 when the file is missing, empty, shorter
// than its header says, or not a speed-camera file at all.
int CountCameraFileRecords(const std::string& path);

}  // namespace service
