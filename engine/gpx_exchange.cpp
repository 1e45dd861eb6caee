#include "engine/gpx_exchange.h"

#include <string.h>

#include <algorithm>
#include <string_view>

namespace engine::exchange {

namespace {

using service::CameraRecord;

// The texts of the child elements named direction, category and extra (any prefix), in one
// pass over the waypoint's tags; the first of each name counts.
void ChildTexts(std::string_view element, std::string_view& direction, std::string_view& category,
                std::string_view& extra) {
    for (std::size_t at = element.find('<'); at != std::string_view::npos; at = element.find('<', at + 1)) {
        std::size_t nameEnd = at + 1;
        while (nameEnd < element.size() && std::string_view("> \t\r\n/").find(element[nameEnd]) == std::string_view::npos) {
            ++nameEnd;
        }
        if (nameEnd >= element.size() || element[nameEnd] != '>') continue;
        std::string_view name = element.substr(at + 1, nameEnd - at - 1);
        if (const std::size_t colon = name.find(':'); colon != std::string_view::npos) name.remove_prefix(colon + 1);
        std::string_view* slot = name == "direction" ? &direction
                                 : name == "category" ? &category
                                 : name == "extra"    ? &extra
                                                      : nullptr;
        if (slot == nullptr || !slot->empty()) continue;
        const std::size_t end = element.find('<', nameEnd + 1);
        if (end == std::string_view::npos) return;
        *slot = element.substr(nameEnd + 1, end - nameEnd - 1);
        at = end - 1;
    }
}

// memmem: a two-way search, far faster than scanning for each "<" in turn.
std::size_t FindText(const std::string& text, std::string_view what, std::size_t from) {
    if (from >= text.size()) return std::string::npos;
    const void* hit = ::memmem(text.data() + from, text.size() - from, what.data(), what.size());
    return hit == nullptr ? std::string::npos : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
}

// An attribute of a start tag: name="value" or name='value'.
bool Attribute(std::string_view tag, std::string_view name, std::string_view& value) {
    for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        const char before = at > 0 ? tag[at - 1] : '<';
        if (before != ' ' && before != '\t' && before != '\r' && before != '\n') continue;
        std::size_t p = at + name.size();
        while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t')) ++p;
        if (p >= tag.size() || tag[p] != '=') continue;
        ++p;
        while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t')) ++p;
        if (p >= tag.size() || (tag[p] != '"' && tag[p] != '\'')) return false;
        const std::size_t close = tag.find(tag[p], p + 1);
        if (close == std::string_view::npos) return false;
        value = tag.substr(p + 1, close - p - 1);
        return true;
    }
    return false;
}

}  // namespace

void AppendGpxStart(std::string& out) {
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx version=\"1.1\" creator=\"zarnik-sync\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
           "xmlns:zarnik=\"";
    out += kGpxExtensionNamespace;
    out += "\">\n";
}

void AppendGpxEnd(std::string& out) { out += "</gpx>\n"; }

void AppendGpxWaypoint(std::string& out, const CameraRecord& r) {
    out += "<wpt lat=\"";
    AppendDegrees(out, r.latitude);
    out += "\" lon=\"";
    AppendDegrees(out, r.longitude);
    out += "\"><name>";
    AppendName(out, r, EscapeXml);
    // The category as the waypoint's type too, where map programs look to style by kind.
    out += "</name><type>";
    AppendInt(out, r.category);
    out += "</type><extensions><zarnik:direction>";
    AppendInt(out, r.direction);
    out += "</zarnik:direction><zarnik:category>";
    AppendInt(out, r.category);
    out += "</zarnik:category><zarnik:extra>";
    AppendInt(out, r.extra);
    out += "</zarnik:extra><zarnik:id>";
    AppendInt(out, r.identifier);
    out += "</zarnik:id><zarnik:personal>";
    out.push_back(r.flag == 0 ? '1' : '0');
    out += "</zarnik:personal></extensions></wpt>\n";
}

ImportResult ReadGpx(ChunkReader& reader, std::string& buffer, const RecordSink& add, ImportSummary& summary) {
    std::size_t line = 1;  // the line buffer[pos] is on
    std::size_t pos = 0;   // what lies before it is done with
    bool more = true;
    const auto advance = [&](std::size_t to) {
        line += CountLines(std::string_view(buffer).substr(pos, to - pos));
        pos = to;
    };
    for (;;) {
        const std::size_t start = FindText(buffer, "<wpt", pos);
        const bool isWaypoint = start != std::string::npos && start + 4 < buffer.size() &&
                                std::string_view(" \t\r\n/>").find(buffer[start + 4]) != std::string_view::npos;
        if (start != std::string::npos && !isWaypoint && start + 4 < buffer.size()) {
            advance(start + 4);  // "<wptx": not ours; look past it
            continue;
        }
        std::size_t end = std::string::npos;
        if (isWaypoint) {
            const std::size_t tagEnd = buffer.find('>', start);
            if (tagEnd != std::string::npos && buffer[tagEnd - 1] == '/') {
                end = tagEnd + 1;
            } else if (tagEnd != std::string::npos) {
                const std::size_t close = FindText(buffer, "</wpt>", tagEnd);
                if (close != std::string::npos) end = close + 6;
            }
        }
        if (end == std::string::npos) {
            if (isWaypoint && buffer.size() - start > kLongestItem) {
                advance(start);
                summary.line = line;
                summary.problem = "a waypoint longer than 64 KiB, or one that never ends";
                return ImportResult::kBadFile;
            }
            if (!more) {
                if (isWaypoint) {
                    advance(start);
                    summary.line = line;
                    summary.problem = "the file ends inside a waypoint";
                    return ImportResult::kBadFile;
                }
                return reader.error() != 0 ? ImportResult::kUnreadable : ImportResult::kAppended;
            }
            // Keep what could still begin a waypoint, drop the rest.
            advance(isWaypoint ? start : std::max(pos, buffer.size() > 4 ? buffer.size() - 4 : 0));
            buffer.erase(0, pos);
            pos = 0;
            more = reader.More(buffer);
            continue;
        }
        advance(start);
        const std::string_view element = std::string_view(buffer).substr(start, end - start);
        const std::string_view tag = element.substr(0, element.find('>'));
        std::string_view lat, lon, direction, category, extra;
        Camera camera;
        summary.line = line;
        if (!Attribute(tag, "lat", lat) || !Attribute(tag, "lon", lon)) {
            summary.problem = "a waypoint without lat and lon";
            return ImportResult::kBadFile;
        }
        ChildTexts(element, direction, category, extra);
        if (!FillCamera(lat, lon, direction, category, extra, camera, summary.problem)) return ImportResult::kBadFile;
        if (!add(AddRecord(camera))) return ImportResult::kWriteFailed;
        advance(end);
    }
}

}  // namespace engine::exchange
