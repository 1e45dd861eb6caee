#include "engine/format_fields.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

namespace engine::formats {

namespace {

constexpr std::int32_t kMicro = 1000000;

bool ParseInt(std::string_view text, std::int32_t& value) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool KnownDirection(std::int32_t direction) { return direction == -1 || direction == -2 || (direction >= 0 && direction <= 720); }

}  // namespace

bool ParseDegrees(std::string_view text, std::int32_t limit, std::int32_t& micro) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    long long whole = 0;
    std::size_t i = 0;
    std::size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        whole = whole * 10 + (text[i] - '0');
        if (whole > 1000) return false;
    }
    long long fraction = 0;
    int places = 0;
    bool roundUp = false;
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
            if (places < 6) {
                fraction = fraction * 10 + (text[i] - '0');
                ++places;
            } else if (places == 6) {
                roundUp = text[i] >= '5';
                ++places;
            }
        }
    }
    if (digits == 0 || i != text.size()) return false;
    for (; places < 6; ++places) fraction *= 10;
    long long value = whole * kMicro + fraction + (roundUp ? 1 : 0);
    if (value > static_cast<long long>(limit) * kMicro) return false;
    micro = static_cast<std::int32_t>(negative ? -value : value);
    return true;
}

bool EscapeXml(std::string& out, char c) {
    switch (c) {
    case '&': out += "&amp;"; return true;
    case '<': out += "&lt;"; return true;
    case '>': out += "&gt;"; return true;
    case '"': out += "&quot;"; return true;
    default: return false;
    }
}

bool EscapeJson(std::string& out, char c) {
    if (c != '"' && c != '\\') return false;
    out.push_back('\\');
    out.push_back(c);
    return true;
}

void AppendInt(std::string& out, long long value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

void AppendDegrees(std::string& out, std::int32_t micro) {
    long long value = micro;
    if (value < 0) {
        out.push_back('-');
        value = -value;
    }
    AppendInt(out, value / kMicro);
    char fraction[7] = {'.', '0', '0', '0', '0', '0', '0'};
    long long rest = value % kMicro;
    for (int i = 6; i >= 1; --i, rest /= 10) fraction[i] = static_cast<char>('0' + rest % 10);
    out.append(fraction, sizeof fraction);
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

bool FillCamera(std::string_view lat, std::string_view lon, std::string_view direction, std::string_view category,
                std::string_view extra, Camera& camera, std::string& problem) {
    if (!ParseDegrees(lat, 90, camera.latitude)) {
        problem = "the latitude \"" + std::string(Trim(lat)) + "\" is no number of degrees from -90 to 90";
        return false;
    }
    if (!ParseDegrees(lon, 180, camera.longitude)) {
        problem = "the longitude \"" + std::string(Trim(lon)) + "\" is no number of degrees from -180 to 180";
        return false;
    }
    if (!Trim(direction).empty() && (!ParseInt(direction, camera.direction) || !KnownDirection(camera.direction))) {
        problem = "the direction \"" + std::string(Trim(direction)) +
                  "\" is none of -1 (every), -2 (none), 0 to 360 (a heading), 361 to 720 (both ways)";
        return false;
    }
    if (!Trim(category).empty() && !ParseInt(category, camera.category)) {
        problem = "the category \"" + std::string(Trim(category)) + "\" is no whole number";
        return false;
    }
    if (!Trim(extra).empty() && !ParseInt(extra, camera.extra)) {
        problem = "the extra value \"" + std::string(Trim(extra)) + "\" is no whole number";
        return false;
    }
    return true;
}

ChangeRecord AddRecord(const Camera& camera) {
    ChangeRecord record{};
    record.latitude = camera.latitude;
    record.longitude = camera.longitude;
    record.category = camera.category;
    record.extra = camera.extra;
    record.direction = camera.direction;
    record.action = ChangeAction::kAdd;
    return record;
}

bool ChunkReader::More(std::string& buffer) {
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd_, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error_ = errno;
        if (got <= 0) return false;
        buffer.append(chunk, static_cast<std::size_t>(got));
        return true;
    }
}

std::size_t CountLines(std::string_view text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

}  // namespace engine::formats
