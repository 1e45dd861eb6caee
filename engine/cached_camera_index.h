#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/camera_geometry.h"
#include "engine/change_record.h"
#include "service/camera_record.h"
#include "platform/key_chain_index.h"

namespace engine {

// What a change line takes from the known camera at a reported position.
struct CachedCamera {
    std::int32_t latitude;
    std::int32_t longitude;
    std::int32_t category;
};

// The local cache as the change list and the duplicate test look it up, indexed once per loaded
// cache: a hash on the position truncated to ten micro-degrees, and per category class a grid
// of points on the unit sphere. It copies what it needs, so the cache may be released after.
// Every answer equals that of a front-to-back scan of the records.
class CachedCameraIndex {
public:
    CachedCameraIndex() = default;
    explicit CachedCameraIndex(const std::vector<service::CameraRecord>& cache) { Build(cache.data(), cache.size()); }
    void Build(const service::CameraRecord* records, std::size_t count);
    // Indexes only the cameras that can answer questions about these records (the same
    // truncated position, or a neighbouring grid cell of their class): every answer about them
    // is still that of a scan of the whole cache, at a fraction of the cost and memory when
    // a few reports meet a large cache.
    void BuildFor(const service::CameraRecord* records, std::size_t count, const std::vector<ChangeRecord>& asked);

    // The first camera whose position divided by 10 (toward zero) equals the given one's.
    std::optional<CachedCamera> Find(std::int32_t latitude, std::int32_t longitude) const;
    // Whether any camera is a duplicate of the added one (IsDuplicatePair).
    bool HasDuplicateOf(const ChangeRecord& added) const;

    std::size_t size() const { return cameras_.size(); }

private:
    // The cameras of one category class, bucketed by cells of the unit sphere's cube that are
    // wider than the class's radius, so a duplicate always lies in a neighbouring cell.
    struct ClassGrid {
        double cellSize = 0;
        std::vector<std::uint32_t> members;  // indices into cameras_, in cache order
        platform::KeyChainIndex cells;
    };
    void BuildGrid(ClassGrid& grid, double radiusKm, bool wide);
    void BuildIndexes();
    bool GridHasDuplicate(const ClassGrid& grid, const CameraPoint& added) const;

    std::vector<CameraPoint> cameras_;
    platform::KeyChainIndex positions_;
    ClassGrid wide_;
    ClassGrid narrow_;
};

// The first cached camera at the position, compared at ten micro-degrees; nothing if none.
std::optional<CachedCamera> FindCachedCamera(const CachedCameraIndex& cache, std::int32_t latitude,
                                             std::int32_t longitude);

// Whether the added camera duplicates a cached one; false for an empty cache.
bool IsNearExistingCamera(const CachedCameraIndex& cache, const ChangeRecord& added);

// Gives every added camera that duplicates a cached one the action skip, in file order; returns
// how many were marked.
std::size_t MarkDuplicateAdditions(std::vector<ChangeRecord>& records, const CachedCameraIndex& cache);

}  // namespace engine
