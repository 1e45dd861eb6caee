#pragma once
// Straightforward front-to-back scans of the cache look-ups, kept as the reference that the
// indexed versions must match for every input.
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/cached_camera_index.h"
#include "engine/camera_geometry.h"
#include "engine/change_record.h"
#include "service/camera_record.h"

namespace literal {

inline std::optional<engine::CachedCamera> FindCachedCamera(const std::vector<service::CameraRecord>& cache,
                                                            std::int32_t latitude, std::int32_t longitude) {
    for (const service::CameraRecord& r : cache) {
        if (r.latitude / 10 == latitude / 10 && r.longitude / 10 == longitude / 10) {
            return engine::CachedCamera{r.latitude, r.longitude, r.category};
        }
    }
    return std::nullopt;
}

inline bool IsNearExistingCamera(const std::vector<service::CameraRecord>& cache, const engine::ChangeRecord& added) {
    bool duplicate = false;
    for (const service::CameraRecord& r : cache) {
        const double d = engine::DistanceKm(r.latitude / 1000000.0, r.longitude / 1000000.0,
                                            added.latitude / 1000000.0, added.longitude / 1000000.0);
        const auto a = static_cast<std::uint32_t>(added.category);
        const auto c = static_cast<std::uint32_t>(r.category);
        if (d < 0.05 && a > 27515 && c > 27515) {
            if (engine::DirectionMatches(added.direction, r.direction)) duplicate = true;
        } else if (d < 0.015 && a < 27515 && c < 27515) {
            if (engine::DirectionMatches(added.direction, r.direction)) duplicate = true;
        }
    }
    return duplicate;
}

}  // namespace literal

namespace sample {

inline service::CameraRecord Cached(std::int32_t latitude, std::int32_t longitude, std::int32_t category,
                           std::int32_t direction = 90) {
    service::CameraRecord r{};
    r.latitude = latitude;
    r.longitude = longitude;
    r.category = category;
    r.direction = direction;
    return r;
}

inline engine::ChangeRecord Change(std::int32_t action, std::int32_t latitude, std::int32_t longitude,
                           std::int32_t category, std::int32_t direction = 90, std::int32_t extra = 0) {
    engine::ChangeRecord r{};
    r.action = action;
    r.latitude = latitude;
    r.longitude = longitude;
    r.category = category;
    r.direction = direction;
    r.extra = extra;
    return r;
}

}  // namespace sample
