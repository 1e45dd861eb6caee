#include "engine/camera_geometry.h"

#include <cmath>

namespace engine {

namespace {

// Headings come from files written elsewhere and may hold any 32-bit value; the window sums wrap
// as 32-bit two's complement instead of overflowing.
std::int32_t Add(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
std::int32_t Sub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

double Radians(double degrees) { return (degrees / 180.0) * kPi; }

double Squared(double x) { return x * x; }

}  // namespace

double DistanceKm(double latitude1, double longitude1, double latitude2, double longitude2) {
    const double phi1 = Radians(latitude1);
    const double lambda1 = Radians(longitude1);
    const double phi2 = Radians(latitude2);
    const double lambda2 = Radians(longitude2);
    const double a = Squared(std::sin((phi1 - phi2) * 0.5)) +
                     std::cos(phi1) * std::cos(phi2) * Squared(std::sin((lambda1 - lambda2) * 0.5));
    const double c = 2.0 * std::asin(std::sqrt(a));
    const double degrees = c * 180.0 / kPi;
    const double nauticalMiles = degrees * 60.0;
    return nauticalMiles * 1.852;
}

bool AngleWithin(std::int32_t centre, std::int32_t tolerance, std::int32_t value) {
    std::int32_t upper = Add(centre, tolerance);
    std::int32_t lower = Sub(centre, tolerance);
    std::int32_t v = value;
    if (upper >= 360) {
        v = Add(Sub(v, upper), 360);
        if (v < 0) v = 360;
        lower = Add(lower, Sub(360, upper));
        upper = 360;
    }
    if (lower < 0) {
        v = Sub(v, lower);
        upper = Sub(upper, lower);
        lower = 0;
    }
    return lower <= v && v <= upper;
}

bool DirectionMatches(std::int32_t specification, std::int32_t heading) {
    if (specification == kNoDirection) return false;
    if (specification == kEveryDirection) return true;
    if (static_cast<std::uint32_t>(specification) > 360U) {
        const std::int32_t base = Sub(specification, 360);
        if (AngleWithin(base, kDirectionTolerance, heading)) return true;
        const std::int32_t opposite = base > 180 ? Sub(base, 180) : Add(base, 180);
        return AngleWithin(opposite, kDirectionTolerance, heading);
    }
    return AngleWithin(specification, kDirectionTolerance, heading);
}

bool IsDuplicatePair(const CameraPoint& added, const CameraPoint& known) {
    const double d = DistanceKm(known.latitude / kPositionScale, known.longitude / kPositionScale,
                                added.latitude / kPositionScale, added.longitude / kPositionScale);
    const auto addedClass = static_cast<std::uint32_t>(added.category);
    const auto knownClass = static_cast<std::uint32_t>(known.category);
    if (d < kWideRadiusKm && addedClass > kClassThreshold && knownClass > kClassThreshold) {
        return DirectionMatches(added.direction, known.direction);
    }
    if (d < kNarrowRadiusKm && addedClass < kClassThreshold && knownClass < kClassThreshold) {
        return DirectionMatches(added.direction, known.direction);
    }
    return false;
}

}  // namespace engine
