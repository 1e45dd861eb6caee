#include "osm/camera_tags.h"

#include <array>
#include <cstdlib>

namespace osm {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

// A plain decimal number "123" or "123.45" (no sign, no exponent) in millionths, digits past
// the sixth decimal dropped, or -1. The integer part is bounded so that nothing overflows
// whatever the value's length.
std::int64_t DecimalMillionths(std::string_view text, std::int64_t maxWhole) {
    std::size_t i = 0;
    std::int64_t whole = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        whole = whole * 10 + (text[i] - '0');
        if (whole > maxWhole) return -1;
        ++i;
    }
    if (i == 0) return -1;
    std::int64_t fraction = 0;
    if (i < text.size()) {
        if (text[i] != '.' || i + 1 == text.size()) return -1;
        std::int64_t scale = 100000;
        for (++i; i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9') return -1;
            fraction += (text[i] - '0') * scale;
            scale /= 10;
        }
    }
    return whole * 1000000 + fraction;
}

// Degrees 0..360 rounded, or -1.
std::int32_t Heading(std::string_view text) {
    static constexpr std::array<const char*, 16> kPoints = {"N",  "NNE", "NE", "ENE", "E",  "ESE", "SE", "SSE",
                                                            "S",  "SSW", "SW", "WSW", "W",  "WNW", "NW", "NNW"};
    text = Trimmed(text);
    for (std::size_t i = 0; i < kPoints.size(); ++i) {
        // 22.5 degrees apart; the half degrees round up.
        if (EqualsIgnoringCase(text, kPoints[i])) return static_cast<std::int32_t>((i * 45 + 1) / 2);
    }
    const std::int64_t millionths = DecimalMillionths(text, 360);
    if (millionths < 0 || millionths > 360000000) return -1;
    return static_cast<std::int32_t>((millionths + 500000) / 1000000);
}

}  // namespace

CameraKind KindOfEnforcement(std::string_view enforcement) {
    if (enforcement == "maxspeed") return CameraKind::kFixedSpeed;
    if (enforcement == "traffic_signals") return CameraKind::kRedLight;
    if (enforcement == "average_speed") return CameraKind::kAverageSpeed;
    return CameraKind::kOther;
}

std::int32_t ParseDirection(std::string_view value) {
    const std::size_t semicolon = value.find(';');
    if (semicolon == std::string_view::npos) return Heading(value);
    const std::int32_t a = Heading(value.substr(0, semicolon));
    const std::int32_t b = Heading(value.substr(semicolon + 1));  // a second ';' makes it no heading
    if (a < 0 || b < 0 || std::abs(a - b) != 180) return -1;
    const std::int32_t smaller = a < b ? a : b;
    return (smaller == 0 ? 180 : smaller) + 360;
}

std::int32_t ParseMaxSpeedKmh(std::string_view value) {
    value = Trimmed(value);
    bool mph = false;
    for (const std::string_view unit : {std::string_view("mph"), std::string_view("km/h")}) {
        if (value.size() > unit.size() && EqualsIgnoringCase(value.substr(value.size() - unit.size()), unit)) {
            mph = unit == "mph";
            value = Trimmed(value.substr(0, value.size() - unit.size()));
            break;
        }
    }
    const std::int64_t millionths = DecimalMillionths(value, 9999);
    if (millionths <= 0) return 0;
    // 1 mile is 1.609344 km exactly, so the product is exact in 64 bits for up to 9999 mph.
    const std::int64_t kmh =
        mph ? (millionths * 1609344 + 500000000000) / 1000000000000 : (millionths + 500000) / 1000000;
    return kmh > 9999 ? 0 : static_cast<std::int32_t>(kmh);
}

std::string_view CutAtCharacter(std::string_view text, std::size_t maxBytes) {
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    if (text.size() <= maxBytes) return text;
    // Walk whole characters from the start, by the length their lead byte gives, rather than
    // backing off from the limit: in a value that is not valid UTF-8, stray continuation bytes
    // before the limit would otherwise take the whole characters before them along.
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t length = Utf8SequenceLength(static_cast<unsigned char>(text[end]));
        if (end + length > maxBytes) break;
        end += length;
    }
    return text.substr(0, end);
}

std::string DefaultName(CameraKind kind, std::int32_t speedKmh) {
    const char* what = kind == CameraKind::kRedLight       ? "Red light camera"
                       : kind == CameraKind::kAverageSpeed ? "Average speed camera"
                       : kind == CameraKind::kFixedSpeed   ? "Speed camera"
                                                           : "Enforcement camera";
    return speedKmh > 0 ? std::string(what) + " " + std::to_string(speedKmh) : std::string(what);
}

}  // namespace osm
