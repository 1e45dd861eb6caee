#include "engine/osm_cameras.h"

#include <cerrno>

#include "engine/cached_camera_index.h"
#include "engine/change_record.h"
#include "engine/text_ids.h"
#include "platform/string_table.h"
#include "service/cache_file.h"

namespace engine {

std::vector<service::CameraRecord> MergeOsmCameras(const std::vector<service::CameraRecord>& local,
                                                   const std::vector<service::CameraRecord>& osm) {
    // The duplicate test asks about added cameras as the device reports them.
    std::vector<ChangeRecord> asked(osm.size(), ChangeRecord{});
    for (std::size_t i = 0; i < osm.size(); ++i) {
        asked[i].latitude = osm[i].latitude;
        asked[i].longitude = osm[i].longitude;
        asked[i].category = osm[i].category;
        asked[i].direction = osm[i].direction;
        asked[i].action = ChangeAction::kAdd;
    }
    CachedCameraIndex index;
    index.BuildFor(local.data(), local.size(), asked);
    std::vector<service::CameraRecord> merged;
    merged.reserve(local.size() + osm.size());
    merged.assign(local.begin(), local.end());
    for (std::size_t i = 0; i < osm.size(); ++i) {
        if (!index.HasDuplicateOf(asked[i])) merged.push_back(osm[i]);
    }
    return merged;
}

bool ReadOsmCameras(const platform::WorkFolder& folder, std::vector<service::CameraRecord>& osm,
                    std::string& problem) {
    const std::string path = folder.Path(platform::pcfile::kOsmCache);
    const service::CacheRead read = service::ReadSealedCache(path, osm);
    if (read == service::CacheRead::kRead || read == service::CacheRead::kMissing) return true;
    problem = service::CacheReadProblem(path, read, errno) + "; import the OpenStreetMap files again";
    return false;
}

const std::vector<service::CameraRecord>* CamerasForCameraFile(const platform::WorkFolder& folder,
                                                               const std::vector<service::CameraRecord>& local,
                                                               std::vector<service::CameraRecord>& storage,
                                                               std::string& problem) {
    std::vector<service::CameraRecord> osm;
    if (!ReadOsmCameras(folder, osm, problem)) return nullptr;
    if (osm.empty()) return &local;
    storage = MergeOsmCameras(local, osm);
    return &storage;
}

long long CountOsmCameras(const platform::WorkFolder& folder) {
    const long long size = folder.SizeOf(platform::pcfile::kOsmCache);
    return size < 0 ? -1 : size / static_cast<long long>(sizeof(service::CameraRecord));
}

std::string OsmCamerasLine(const platform::WorkFolder& folder, const platform::StringTable& texts) {
    const long long count = CountOsmCameras(folder);
    return count < 0 ? std::string() : platform::FormatNumbers(texts.Text(text::kOsmCamerasOnPc), {count});
}

}  // namespace engine
