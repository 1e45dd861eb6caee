#include "tools/poidb-server/text_rules.h"

#include <array>
#include <charconv>
#include <limits>

namespace poidb {

namespace {

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0U) == 0x80U; }

std::size_t CutAt(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    std::size_t cut = limit;
    while (cut > 0 && IsUtf8Continuation(text[cut])) --cut;
    return cut;
}

// A reply marker starting a piece of a streamed reply is read as the end or failure of the
// reply, so a text never carries one: its colon becomes a full stop ("NONE" is a marker even
// without colon and becomes "None").
void BreakMarkers(std::string& text) {
    constexpr std::array<std::string_view, 2> kColonMarkers{"OK:", "ERROR:"};
    for (const auto marker : kColonMarkers) {
        for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
            text[at + marker.size() - 1] = '.';
        }
    }
    for (std::size_t at = text.find("NONE"); at != std::string::npos; at = text.find("NONE", at + 1)) {
        text.replace(at + 1, 3, "one");
    }
}

}  // namespace

std::string CleanText(std::string_view raw, std::size_t limit, bool keep_line_feeds) {
    std::string out(raw.substr(0, CutAt(raw, limit)));
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '|' || c == '#') {
            c = '/';
        } else if (c == '\n' && keep_line_feeds) {
            continue;
        } else if (u < 0x20 || u == 0x7F) {
            c = ' ';
        }
    }
    BreakMarkers(out);
    return out;
}

std::string CleanName(std::string_view raw) { return CleanText(raw, kMaxNameBytes, false); }

bool ParseInt32(std::string_view text, std::int32_t& value) {
    if (text.empty()) return false;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (*first == '+') ++first;
    if (first == last || *first == '+' || (first != text.data() && *first == '-')) return false;
    const auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last;
}

std::int64_t LeadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kCap = std::numeric_limits<std::int32_t>::max();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kCap) value = kCap + 1;
    }
    return negative ? -value : value;
}

std::string DateText(std::time_t moment) {
    std::tm parts{};
    gmtime_r(&moment, &parts);
    std::array<char, 16> buffer{};
    std::strftime(buffer.data(), buffer.size(), "%Y-%m-%d", &parts);
    return buffer.data();
}

std::int32_t DateNumber(std::time_t moment) {
    std::tm parts{};
    gmtime_r(&moment, &parts);
    return (parts.tm_year + 1900) * 10000 + (parts.tm_mon + 1) * 100 + parts.tm_mday;
}

}  // namespace poidb
