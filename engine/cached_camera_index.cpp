#include "engine/cached_camera_index.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace engine {

namespace {

// Kilometres per radian of the sphere that DistanceKm measures on.
constexpr double kEarthRadiusKm = 180.0 * 60.0 * 1.852 / kPi;
// A cell is this much wider than the straight-line distance of the class's radius, far beyond
// any rounding difference between the grid's coordinates and the distance formula.
constexpr double kCellMargin = 1.5;
constexpr std::int64_t kCellBits = 21;

struct UnitVector {
    double x, y, z;
};

// The distance formula is periodic in both angles and equals the chord between these points on
// the unit sphere (a = chord^2 / 4), so latitudes past the poles, longitudes past the date line
// and whole turns added to either land on the point the formula measures from.
UnitVector OnUnitSphere(std::int32_t latitude, std::int32_t longitude) {
    const double phi = (latitude / kPositionScale / 180.0) * kPi;
    const double lambda = (longitude / kPositionScale / 180.0) * kPi;
    return {std::cos(phi) * std::cos(lambda), std::cos(phi) * std::sin(lambda), std::sin(phi)};
}

std::int64_t CellOf(double coordinate, double cellSize) {
    return static_cast<std::int64_t>(std::floor((coordinate + 1.0) / cellSize));
}

std::uint64_t CellKey(std::int64_t x, std::int64_t y, std::int64_t z) {
    const std::int64_t mask = (std::int64_t{1} << kCellBits) - 1;
    return (static_cast<std::uint64_t>(x & mask) << (2 * kCellBits)) |
           (static_cast<std::uint64_t>(y & mask) << kCellBits) | static_cast<std::uint64_t>(z & mask);
}

std::uint64_t CellKeyOf(const UnitVector& p, double cellSize) {
    return CellKey(CellOf(p.x, cellSize), CellOf(p.y, cellSize), CellOf(p.z, cellSize));
}

bool IsWideClass(std::int32_t category) { return static_cast<std::uint32_t>(category) > kClassThreshold; }
bool IsNarrowClass(std::int32_t category) { return static_cast<std::uint32_t>(category) < kClassThreshold; }

std::uint64_t TruncatedPositionKey(std::int32_t latitude, std::int32_t longitude) {
    return platform::PositionKey(latitude / 10, longitude / 10);
}

// Points on the sphere are never further apart in latitude than along the great circle, so a
// camera whose latitude is far from every asked record's is in none of their cells and shares
// none of their truncated positions: it is passed over without the trigonometry. Latitudes past
// the poles land elsewhere on the sphere and are always looked at closely.
class LatitudeBands {
public:
    LatitudeBands(const std::vector<ChangeRecord>& asked, double widestCell) {
        // The 27 cells around a point's cell reach two cells along each axis: a chord of at most
        // 2 * sqrt(3) cells. The margin covers rounding and the truncation to ten units.
        const double chord = 2.0 * std::sqrt(3.0) * widestCell;
        if (chord >= 2.0) return;
        const double reach = 2.0 * std::asin(chord / 2.0) / kPi * 180.0 * kPositionScale * 1.01 + 100.0;
        bits_.assign(kBuckets / 64 + 1, 0);
        for (const ChangeRecord& r : asked) {
            if (!Proper(r.latitude)) {
                bits_.clear();
                return;
            }
            for (std::int64_t b = Bucket(r.latitude - reach); b <= Bucket(r.latitude + reach); ++b) {
                if (b >= 0 && b < kBuckets) bits_[static_cast<std::size_t>(b) / 64] |= std::uint64_t{1} << (b % 64);
            }
        }
    }
    // False only for a camera that can answer no question about the asked records.
    bool MayMatter(std::int32_t latitude) const {
        if (bits_.empty() || !Proper(latitude)) return true;
        const auto b = static_cast<std::size_t>(Bucket(latitude));
        return ((bits_[b / 64] >> (b % 64)) & 1U) != 0;
    }

private:
    static constexpr std::int64_t kPole = 90'000'000;
    static constexpr std::int64_t kBucketUnits = 4096;
    static constexpr std::int64_t kBuckets = 2 * kPole / kBucketUnits + 1;
    static bool Proper(std::int32_t latitude) { return latitude >= -kPole && latitude <= kPole; }
    static std::int64_t Bucket(double latitude) {
        return static_cast<std::int64_t>(std::floor((latitude + static_cast<double>(kPole)) / kBucketUnits));
    }
    std::vector<std::uint64_t> bits_;  // empty: every camera may matter
};

}  // namespace

void CachedCameraIndex::Build(const service::CameraRecord* records, std::size_t count) {
    cameras_.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const service::CameraRecord& r = records[i];
        cameras_[i] = CameraPoint{r.latitude, r.longitude, r.category, r.direction};
    }
    BuildIndexes();
}

// A camera can only be the answer to a question about a record when it shares the record's
// truncated position, or lies in one of the 27 grid cells around the record's cell in the
// record's class. Keeping just those cameras, in cache order, leaves every first match and
// every duplicate found exactly as before.
void CachedCameraIndex::BuildFor(const service::CameraRecord* records, std::size_t count,
                                 const std::vector<ChangeRecord>& asked) {
    std::unordered_set<std::uint64_t> positions;
    std::unordered_set<std::uint64_t> wideCells;
    std::unordered_set<std::uint64_t> narrowCells;
    const double wideSize = kWideRadiusKm / kEarthRadiusKm * kCellMargin;
    const double narrowSize = kNarrowRadiusKm / kEarthRadiusKm * kCellMargin;
    for (const ChangeRecord& r : asked) {
        positions.insert(TruncatedPositionKey(r.latitude, r.longitude));
        const bool wide = IsWideClass(r.category);
        if (!wide && !IsNarrowClass(r.category)) continue;
        const UnitVector p = OnUnitSphere(r.latitude, r.longitude);
        const double size = wide ? wideSize : narrowSize;
        const std::int64_t cx = CellOf(p.x, size), cy = CellOf(p.y, size), cz = CellOf(p.z, size);
        for (std::int64_t dx = -1; dx <= 1; ++dx) {
            for (std::int64_t dy = -1; dy <= 1; ++dy) {
                for (std::int64_t dz = -1; dz <= 1; ++dz) {
                    (wide ? wideCells : narrowCells).insert(CellKey(cx + dx, cy + dy, cz + dz));
                }
            }
        }
    }
    cameras_.clear();
    const LatitudeBands bands(asked, std::max(wideSize, narrowSize));
    for (std::size_t i = 0; i < count; ++i) {
        const service::CameraRecord& r = records[i];
        if (!bands.MayMatter(r.latitude)) continue;
        bool wanted = positions.count(TruncatedPositionKey(r.latitude, r.longitude)) != 0;
        if (!wanted && IsWideClass(r.category) && !wideCells.empty()) {
            wanted = wideCells.count(CellKeyOf(OnUnitSphere(r.latitude, r.longitude), wideSize)) != 0;
        } else if (!wanted && IsNarrowClass(r.category) && !narrowCells.empty()) {
            wanted = narrowCells.count(CellKeyOf(OnUnitSphere(r.latitude, r.longitude), narrowSize)) != 0;
        }
        if (wanted) cameras_.push_back(CameraPoint{r.latitude, r.longitude, r.category, r.direction});
    }
    BuildIndexes();
}

void CachedCameraIndex::BuildIndexes() {
    positions_.Build(cameras_.size(), [this](std::size_t i) {
        return TruncatedPositionKey(cameras_[i].latitude, cameras_[i].longitude);
    });
    BuildGrid(wide_, kWideRadiusKm, true);
    BuildGrid(narrow_, kNarrowRadiusKm, false);
}

void CachedCameraIndex::BuildGrid(ClassGrid& grid, double radiusKm, bool wide) {
    grid.cellSize = radiusKm / kEarthRadiusKm * kCellMargin;
    grid.members.clear();
    std::vector<std::uint64_t> keys;
    for (std::size_t i = 0; i < cameras_.size(); ++i) {
        const CameraPoint& c = cameras_[i];
        if (wide ? !IsWideClass(c.category) : !IsNarrowClass(c.category)) continue;
        grid.members.push_back(static_cast<std::uint32_t>(i));
        keys.push_back(CellKeyOf(OnUnitSphere(c.latitude, c.longitude), grid.cellSize));
    }
    grid.cells.Build(keys.size(), [&keys](std::size_t i) { return keys[i]; });
}

std::optional<CachedCamera> CachedCameraIndex::Find(std::int32_t latitude, std::int32_t longitude) const {
    const std::uint32_t first = positions_.First(TruncatedPositionKey(latitude, longitude));
    if (first == platform::KeyChainIndex::kNone) return std::nullopt;
    const CameraPoint& c = cameras_[first];
    return CachedCamera{c.latitude, c.longitude, c.category};
}

bool CachedCameraIndex::HasDuplicateOf(const ChangeRecord& added) const {
    const CameraPoint point{added.latitude, added.longitude, added.category, added.direction};
    if (IsWideClass(added.category)) return GridHasDuplicate(wide_, point);
    if (IsNarrowClass(added.category)) return GridHasDuplicate(narrow_, point);
    return false;
}

bool CachedCameraIndex::GridHasDuplicate(const ClassGrid& grid, const CameraPoint& added) const {
    if (grid.members.empty()) return false;
    const UnitVector p = OnUnitSphere(added.latitude, added.longitude);
    const std::int64_t cx = CellOf(p.x, grid.cellSize);
    const std::int64_t cy = CellOf(p.y, grid.cellSize);
    const std::int64_t cz = CellOf(p.z, grid.cellSize);
    for (std::int64_t dx = -1; dx <= 1; ++dx) {
        for (std::int64_t dy = -1; dy <= 1; ++dy) {
            for (std::int64_t dz = -1; dz <= 1; ++dz) {
                const std::uint64_t key = CellKey(cx + dx, cy + dy, cz + dz);
                for (std::uint32_t m = grid.cells.First(key); m != platform::KeyChainIndex::kNone;
                     m = grid.cells.Next(m)) {
                    if (IsDuplicatePair(added, cameras_[grid.members[m]])) return true;
                }
            }
        }
    }
    return false;
}

std::optional<CachedCamera> FindCachedCamera(const CachedCameraIndex& cache, std::int32_t latitude,
                                             std::int32_t longitude) {
    return cache.Find(latitude, longitude);
}

bool IsNearExistingCamera(const CachedCameraIndex& cache, const ChangeRecord& added) {
    return cache.HasDuplicateOf(added);
}

std::size_t MarkDuplicateAdditions(std::vector<ChangeRecord>& records, const CachedCameraIndex& cache) {
    std::size_t marked = 0;
    for (ChangeRecord& r : records) {
        if (r.action == ChangeAction::kAdd && IsNearExistingCamera(cache, r)) {
            r.action = ChangeAction::kSkip;
            ++marked;
        }
    }
    return marked;
}

}  // namespace engine
