#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace poidb {

inline constexpr std::string_view kChangeListHeader = "VyoSync Updates";

// Positions are in millionths of a degree.
inline constexpr std::int32_t kMaxLatitude = 90'000'000;
inline constexpr std::int32_t kMaxLongitude = 180'000'000;
// -1 every direction, -2 none, 0..360 one heading, 361..720 both ways. Clients use -3 in memory
// to mark a deleted camera, so a camera carrying it would vanish from every cache.
inline constexpr std::int32_t kMinDirection = -2;
inline constexpr std::int32_t kMaxDirection = 720;

bool OnTheGlobe(std::int32_t latitude, std::int32_t longitude);
bool KnownDirection(std::int32_t direction);

// One line of an uploaded change list: "A;lat;lon;text;direction;category;extra".
struct ChangeLine {
    char action = 'A';  // 'A' add, 'U' update, 'D' delete
    std::int32_t latitude = 0;
    std::int32_t longitude = 0;
    std::string text;
    std::int32_t direction = 0;
    std::int32_t category = 0;
    std::int32_t extra = 0;
};

struct ParsedChangeList {
    bool has_header = false;
    std::vector<ChangeLine> lines;   // the good lines, in order
    std::size_t rejected = 0;        // lines that were not well formed
};

// Reads a change list. Lines end with a line feed (a carriage return before it is tolerated);
// empty lines are skipped. A line is rejected, and the others kept, when its letter is not A, U
// or D, a number is not a plain 32-bit decimal, a position lies outside the globe, the
// direction lies outside -2..720, or it holds a NUL.
ParsedChangeList ParseChangeList(std::string_view body);

// Parses one line without its line end; false when it is not well formed.
bool ParseChangeLine(std::string_view line, ChangeLine& out);

}  // namespace poidb
