// Arbitrary tag values through the direction and speed parsers and the name cut: the results
// stay in their ranges, and a cut name is a prefix that ends on a character boundary.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "osm/camera_tags.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view value(reinterpret_cast<const char*>(data), size);
    const std::int32_t direction = osm::ParseDirection(value);
    const bool plain = direction >= -1 && direction <= 360;
    const bool bothWays = direction >= 361 && direction <= 540;  // the smaller heading + 360, or 540 for 0;180
    if (!plain && !bothWays) std::abort();
    const std::int32_t speed = osm::ParseMaxSpeedKmh(value);
    if (speed < 0 || speed > 9999) std::abort();
    const std::string_view cut = osm::CutAtCharacter(value, 51);
    if (cut.size() > 51 || value.substr(0, cut.size()) != cut || cut.find('\0') != std::string_view::npos) std::abort();
    if (cut.size() < value.size() && value[cut.size()] != '\0' &&
        cut.size() + osm::Utf8SequenceLength(static_cast<unsigned char>(value[cut.size()])) <= 51) {
        std::abort();  // cut short of the limit only before a NUL or a character that does not fit
    }
    return 0;
}
