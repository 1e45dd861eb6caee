#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// How the tags of an OpenStreetMap camera become the fields of an 80-byte camera record. Tag
// values are outside input: every parser here reads at most the bytes it is given, allocates
// nothing, and answers "unknown" (-1 direction, 0 speed) for anything it does not recognise.
namespace osm {

// The category codes of OpenStreetMap cameras. All lie above the duplicate test's class
// threshold (27515), so that test treats them as one class with the service's fixed cameras.
// Stored in the cache files and the camera file: the numbers never change.
enum class CameraKind : std::int32_t {
    kFixedSpeed = 31001,    // highway=speed_camera, or enforcement=maxspeed
    kRedLight = 31002,      // enforcement=traffic_signals
    kAverageSpeed = 31003,  // enforcement=average_speed
    kOther = 31004,         // any other enforcement (mindistance, ...)
};
inline constexpr std::int32_t kCategoryThreshold = 27515;
static_assert(static_cast<std::int32_t>(CameraKind::kFixedSpeed) > kCategoryThreshold &&
                  static_cast<std::int32_t>(CameraKind::kOther) > kCategoryThreshold,
              "OpenStreetMap categories are in the duplicate test's wide class");

// The flag of an OpenStreetMap camera's record: not 0, which would make it a personal camera.
inline constexpr std::int32_t kOsmFlag = 2;

// The kind of an enforcement relation from its "enforcement" value.
CameraKind KindOfEnforcement(std::string_view enforcement);

// The direction field from a "direction" (or "camera:direction") value:
//   - degrees 0 to 360, a decimal one rounded to nearest (half away from zero): "90", "22.5" -> 23;
//   - a compass point of 16 (N, NNE, NE, ... NNW; letter case ignored): NE 45, NNE 23, W 270;
//   - two headings 180 degrees apart, "A;B" (each a number or a compass point): both ways, the
//     smaller plus 360 ("90;270" is 450). A pair holding north ("0;180") gives 540, since 360
//     would mean north alone;
//   - anything else (forward, backward, an empty value, blanks around a number are allowed): -1.
std::int32_t ParseDirection(std::string_view value);

// The maximum speed in km/h from a "maxspeed" value: a number (km/h, "km/h" may follow), or a
// number followed by "mph" (converted, rounded to nearest); at most 9999 km/h. Anything else
// (none, signals, RU:urban, "50;30"): 0.
std::int32_t ParseMaxSpeedKmh(std::string_view value);

// The bytes of the character a byte leads: 2 to 4 for a UTF-8 lead byte, 1 for anything else
// (ASCII, or a byte that cannot start a character, which then stands alone).
constexpr std::size_t Utf8SequenceLength(unsigned char lead) {
    return lead < 0xC0U ? 1 : lead < 0xE0U ? 2 : lead < 0xF0U ? 3 : lead < 0xF8U ? 4 : 1;
}

// The longest prefix of text of at most maxBytes bytes that ends on a UTF-8 character boundary
// and holds no NUL: never half a character.
std::string_view CutAtCharacter(std::string_view text, std::size_t maxBytes);

// The name of a camera without a name tag, from its kind and speed: "Speed camera 50".
std::string DefaultName(CameraKind kind, std::int32_t speedKmh);

// A position in the 1e-7 degrees of OpenStreetMap, in micro-degrees, rounded to nearest (half
// away from zero).
constexpr std::int32_t MicroDegrees(std::int32_t tenthMicroDegrees) {
    const std::int64_t x = tenthMicroDegrees;
    return static_cast<std::int32_t>(x >= 0 ? (x + 5) / 10 : -((-x + 5) / 10));
}

// The identifier of an OpenStreetMap camera's record: never positive, so it never meets the
// service's identifiers (OpenStreetMap ids pass 2^31: the low 31 bits, negated).
constexpr std::int32_t RecordIdentifier(std::int64_t nodeId) {
    return -static_cast<std::int32_t>(static_cast<std::uint64_t>(nodeId) & 0x7fffffffU);
}

}  // namespace osm
