#include "tools/poidb-server/change_list.h"

#include <array>

#include "tools/poidb-server/text_rules.h"

namespace poidb {

namespace {

constexpr std::size_t kMaxLineBytes = 4096;

// The text field sits between three numbers on each side, so a ";" inside it does not shift
// the numbers: the first three fields are cut from the left, the last three from the right.
bool SplitFields(std::string_view line, std::array<std::string_view, 7>& fields) {
    std::string_view rest = line;
    for (std::size_t i = 0; i < 3; ++i) {
        const auto at = rest.find(';');
        if (at == std::string_view::npos) return false;
        fields[i] = rest.substr(0, at);
        rest = rest.substr(at + 1);
    }
    for (std::size_t i = 6; i > 3; --i) {
        const auto at = rest.rfind(';');
        if (at == std::string_view::npos) return false;
        fields[i] = rest.substr(at + 1);
        rest = rest.substr(0, at);
    }
    fields[3] = rest;
    return true;
}

}  // namespace

bool OnTheGlobe(std::int32_t latitude, std::int32_t longitude) {
    return latitude >= -kMaxLatitude && latitude <= kMaxLatitude && longitude >= -kMaxLongitude &&
           longitude <= kMaxLongitude;
}

bool KnownDirection(std::int32_t direction) { return direction >= kMinDirection && direction <= kMaxDirection; }

bool ParseChangeLine(std::string_view line, ChangeLine& out) {
    if (line.size() > kMaxLineBytes || line.find('\0') != std::string_view::npos) return false;
    std::array<std::string_view, 7> fields;
    if (!SplitFields(line, fields)) return false;
    if (fields[0] != "A" && fields[0] != "U" && fields[0] != "D") return false;
    ChangeLine parsed;
    parsed.action = fields[0][0];
    if (!ParseInt32(fields[1], parsed.latitude) || !ParseInt32(fields[2], parsed.longitude) ||
        !ParseInt32(fields[4], parsed.direction) || !ParseInt32(fields[5], parsed.category) ||
        !ParseInt32(fields[6], parsed.extra)) {
        return false;
    }
    if (!OnTheGlobe(parsed.latitude, parsed.longitude) || !KnownDirection(parsed.direction)) return false;
    parsed.text = CleanName(fields[3]);
    out = std::move(parsed);
    return true;
}

ParsedChangeList ParseChangeList(std::string_view body) {
    ParsedChangeList result;
    bool first = true;
    while (!body.empty()) {
        const auto end = body.find('\n');
        std::string_view line = body.substr(0, end);
        body = end == std::string_view::npos ? std::string_view{} : body.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (first) {
            first = false;
            if (line == kChangeListHeader) {
                result.has_header = true;
                continue;
            }
        }
        if (line.empty()) continue;
        ChangeLine parsed;
        if (ParseChangeLine(line, parsed)) {
            result.lines.push_back(std::move(parsed));
        } else {
            ++result.rejected;
        }
    }
    return result;
}

}  // namespace poidb
