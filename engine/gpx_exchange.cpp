#include "engine/gpx_exchange.h"

#include <string_view>

#include "engine/xml_elements.h"

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
    return ForEachElement(reader, buffer, "wpt", "waypoint", [&](std::string_view element, std::size_t) {
        const std::string_view tag = element.substr(0, element.find('>'));
        std::string_view lat, lon, direction, category, extra;
        Camera camera;
        if (!Attribute(tag, "lat", lat) || !Attribute(tag, "lon", lon)) {
            summary.problem = "a waypoint without lat and lon";
            return ImportResult::kBadFile;
        }
        ChildTexts(element, direction, category, extra);
        if (!FillCamera(lat, lon, direction, category, extra, camera, summary.problem)) return ImportResult::kBadFile;
        return add(AddRecord(camera)) ? ImportResult::kAppended : ImportResult::kWriteFailed;
    }, summary);
}

}  // namespace engine::exchange
