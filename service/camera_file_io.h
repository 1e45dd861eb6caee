#pragma once
#include <string>
#include <vector>

#include "service/camera_record.h"

namespace service {

// Reads every whole 80-byte record of a camera cache file; a trailing partial record is
// ignored. False when the file cannot be opened or read (out is then empty).
bool ReadCameraFile(const std::string& path, std::vector<CameraRecord>& out, std::size_t extra_capacity = 0);

// Writes the records to the file atomically: the old file stays whole unless all succeeded.
bool WriteCameraFile(const std::string& path, const CameraRecord* records, std::size_t count);

}  // namespace service
