#pragma once
#include <cstdint>

// The duplicate test's geometry: great-circle distance, the heading windows and the class rule
// that decides whether an added camera repeats a known one.
namespace engine {

inline constexpr double kPi = 3.14159265358979;
inline constexpr double kPositionScale = 1000000.0;
inline constexpr std::uint32_t kClassThreshold = 27515;
inline constexpr double kWideRadiusKm = 0.05;
inline constexpr double kNarrowRadiusKm = 0.015;
inline constexpr std::int32_t kDirectionTolerance = 30;
inline constexpr std::int32_t kEveryDirection = -1;
inline constexpr std::int32_t kNoDirection = -2;

// Haversine distance on a sphere whose minute of arc is one nautical mile; degrees in, km out.
double DistanceKm(double latitude1, double longitude1, double latitude2, double longitude2);

// Whether value lies in centre +- tolerance on a 0..360 scale: a window reaching past 360 takes
// values just past north, one reaching below 0 is shifted up without wrapping.
bool AngleWithin(std::int32_t centre, std::int32_t tolerance, std::int32_t value);

// Whether a heading lies in the window of a direction specification (-1, -2, 0..360, 361..720).
bool DirectionMatches(std::int32_t specification, std::int32_t heading);

// One side of the pair test: a camera's position (micro-degrees), category and direction.
struct CameraPoint {
    std::int32_t latitude;
    std::int32_t longitude;
    std::int32_t category;
    std::int32_t direction;
};

// Whether the added camera duplicates the known one: same class (both categories above 27515
// within 50 m, or both below it within 15 m) and the known heading in the added one's window.
bool IsDuplicatePair(const CameraPoint& added, const CameraPoint& known);

}  // namespace engine
