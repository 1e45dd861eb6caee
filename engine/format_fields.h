#pragma once
// What the GPX and CSV exchanges share, inside the engine (engine/map_formats.h is the
// interface): numbers and names written as text, a camera's values read back from text and
// checked, and the import's reading of a file in pieces.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "engine/change_record.h"
#include "platform/text_encoding.h"
#include "service/camera_record.h"

namespace engine::formats {

// The attribution OpenStreetMap's licence asks of whatever shows or passes on its data.
inline constexpr const char* kOsmAttribution = "\xC2\xA9 OpenStreetMap contributors, ODbL";
inline constexpr const char* kOsmCopyrightUrl = "https://www.openstreetmap.org/copyright";


// No line or waypoint of an imported file may be longer: it is bad, not a reason to grow.
inline constexpr std::size_t kLongestItem = std::size_t{64} * 1024;

void AppendInt(std::string& out, long long value);

// Millionths of a degree as decimal degrees with all six places, exactly: no rounding by a
// floating-point format, so an import reads back the very same number.
void AppendDegrees(std::string& out, std::int32_t micro);

// The escapes of a name's characters for XML (GPX, KML) and JSON; false for a character that
// stands as it is.
bool EscapeXml(std::string& out, char c);
bool EscapeJson(std::string& out, char c);

// Names arrive as the service wrote them, UTF-8 or an 8-bit code page; map programs read UTF-8,
// so every name goes through the one rule for outside texts. Control bytes, which XML cannot
// carry at all, become blanks in every format.
template <class Escape>
void AppendName(std::string& out, const service::CameraRecord& r, Escape&& escape) {
    const std::string name = platform::ReadableUtf8(std::string_view(r.name, strnlen(r.name, sizeof r.name)));
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            out.push_back(' ');
        } else if (!escape(out, c)) {
            out.push_back(c);
        }
    }
}

std::string_view Trim(std::string_view text);

// Decimal degrees into millionths, rounded half away from zero at the seventh place; no
// exponent, no "inf", nothing a locale could change. False beyond -limit to limit degrees.
bool ParseDegrees(std::string_view text, std::int32_t limit, std::int32_t& micro);

struct Camera {
    std::int32_t latitude = 0;
    std::int32_t longitude = 0;
    std::int32_t direction = -1;
    std::int32_t category = 0;
    std::int32_t extra = 0;
};

// Checks the values read as text; an empty optional value keeps its start value. On false,
// problem says which value is wrong and why.
bool FillCamera(std::string_view lat, std::string_view lon, std::string_view direction, std::string_view category,
                std::string_view extra, Camera& camera, std::string& problem);

// The "add" record of an imported camera.
ChangeRecord AddRecord(const Camera& camera);

// Reads a file in pieces, keeping lines counted.
class ChunkReader {
public:
    explicit ChunkReader(int fd) : fd_(fd) {}
    // Appends the next piece to buffer; false at the end; error set when the read failed.
    bool More(std::string& buffer);
    int error() const { return error_; }

private:
    int fd_;
    int error_ = 0;
};

std::size_t CountLines(std::string_view text);

// Takes each imported record; false when it could not be written, which ends the import.
using RecordSink = std::function<bool(const ChangeRecord&)>;

}  // namespace engine::formats
