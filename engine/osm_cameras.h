#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "platform/pc_files.h"
#include "service/camera_record.h"

namespace platform {
class StringTable;
}

// The OpenStreetMap cameras of the working folder (".\osm.cache", 80-byte records sealed like
// ".\local.cache") and how they join the service's cameras in the camera file.
namespace engine {

// The local cache's cameras, then each OpenStreetMap camera that the duplicate test
// (IsDuplicatePair: the class radii and the direction windows) does not find among the local
// cache's cameras, in the order of osm. The inputs are not changed.
std::vector<service::CameraRecord> MergeOsmCameras(const std::vector<service::CameraRecord>& local,
                                                   const std::vector<service::CameraRecord>& osm);

// Reads ".\osm.cache": true with no records when there is none, false with the reason when it
// is there but cannot be used (unreadable, or not matching its seal).
bool ReadOsmCameras(const platform::WorkFolder& folder, std::vector<service::CameraRecord>& osm,
                    std::string& problem);

// The cameras a camera file is built from: local itself without ".\osm.cache" (nothing is
// copied), else the merged set, kept in storage. nullptr with the reason when ".\osm.cache" is
// there but cannot be used: no camera file is built then, so none silently loses the cameras
// the user imported.
const std::vector<service::CameraRecord>* CamerasForCameraFile(const platform::WorkFolder& folder,
                                                               const std::vector<service::CameraRecord>& local,
                                                               std::vector<service::CameraRecord>& storage,
                                                               std::string& problem);

// The cameras of ".\osm.cache" (whole records), or -1 when there is none.
long long CountOsmCameras(const platform::WorkFolder& folder);

// The line that tells how many OpenStreetMap cameras the PC holds (text 190), or "" when there
// is no ".\osm.cache".
std::string OsmCamerasLine(const platform::WorkFolder& folder, const platform::StringTable& texts);

}  // namespace engine
