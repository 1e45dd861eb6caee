#include "engine/kml_exchange.h"

#include <string_view>

#include "engine/xml_elements.h"

namespace engine::exchange {

namespace {

void AppendData(std::string& out, const char* name, long long value) {
    out += "<Data name=\"";
    out += name;
    out += "\"><value>";
    AppendInt(out, value);
    out += "</value></Data>";
}

constexpr std::string_view kBlanks = " \t\r\n";

std::string_view TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The text of the child element `<name>` (any prefix) that follows `from`, up to the next tag.
bool ChildText(std::string_view element, std::string_view name, std::size_t from, std::string_view& text) {
    for (std::size_t at = element.find(name, from); at != std::string_view::npos; at = element.find(name, at + 1)) {
        const char before = element[at - 1];
        const std::size_t end = at + name.size();
        if ((before != '<' && before != ':') || end >= element.size()) continue;
        if (element[end] == '/') return false;  // empty
        if (element[end] != '>' && kBlanks.find(element[end]) == std::string_view::npos) continue;
        const std::size_t open = element.find('>', end);
        if (open == std::string_view::npos) return false;
        text = element.substr(open + 1, element.find('<', open) - open - 1);
        return true;
    }
    return false;
}

// The value KML gives a name in ExtendedData: <Data name="n"><value>v</value></Data> or
// <SimpleData name="n">v</SimpleData> (as GDAL writes it); the first of either counts.
std::string_view DataValue(std::string_view element, std::string_view name) {
    for (std::size_t at = element.find("Data"); at != std::string_view::npos; at = element.find("Data", at + 1)) {
        const std::size_t tagStart = element.rfind('<', at);
        const std::string_view kind = element.substr(tagStart + 1, at + 4 - tagStart - 1);
        const bool simple = kind.ends_with("SimpleData");
        if (!simple && kind != "Data" && !kind.ends_with(":Data")) continue;
        const std::string_view tag = element.substr(tagStart, element.find('>', at) - tagStart);
        std::string_view given;
        if (!Attribute(tag, "name", given) || given != name) continue;
        std::string_view text;
        if (simple) {
            const std::size_t open = tagStart + tag.size();
            if (open < element.size()) text = element.substr(open + 1, element.find('<', open) - open - 1);
        } else {
            (void)ChildText(element, "value", tagStart + tag.size(), text);
        }
        return TrimBlanks(text);
    }
    return {};
}

// The Point's one position, as KML writes it: "longitude,latitude[,altitude]".
ImportResult ReadPlacemark(std::string_view element, const RecordSink& add, ImportSummary& summary) {
    std::size_t point = element.find("Point");
    const auto isTag = [&](std::size_t at) {
        const bool named = element[at - 1] == '<' || element[at - 1] == ':';
        return named && at + 5 < element.size() && std::string_view(" \t\r\n/>").find(element[at + 5]) != std::string_view::npos;
    };
    while (point != std::string_view::npos && !isTag(point)) point = element.find("Point", point + 1);
    if (point == std::string_view::npos) return ImportResult::kAppended;  // a line or an area: no camera
    std::string_view coordinates;
    if (!ChildText(element, "coordinates", point, coordinates)) {
        summary.problem = "a Point without coordinates";
        return ImportResult::kBadFile;
    }
    coordinates = TrimBlanks(coordinates);
    const std::size_t comma = coordinates.find(',');
    const std::size_t second = comma == std::string_view::npos ? comma : coordinates.find(',', comma + 1);
    if (comma == std::string_view::npos || coordinates.find_first_of(kBlanks) != std::string_view::npos ||
        (second != std::string_view::npos && coordinates.find(',', second + 1) != std::string_view::npos)) {
        summary.problem = "the Point's coordinates \"" + std::string(coordinates.substr(0, 80)) +
                          "\" are not one longitude,latitude[,altitude]";
        return ImportResult::kBadFile;
    }
    const std::string_view lon = coordinates.substr(0, comma);
    const std::string_view lat = coordinates.substr(comma + 1, second == std::string_view::npos ? second : second - comma - 1);
    Camera camera;
    if (!FillCamera(lat, lon, DataValue(element, "direction"), DataValue(element, "category"),
                    DataValue(element, "extra"), camera, summary.problem)) {
        return ImportResult::kBadFile;
    }
    return add(AddRecord(camera)) ? ImportResult::kAppended : ImportResult::kWriteFailed;
}

}  // namespace

void AppendKmlStart(std::string& out) {
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document><name>Speed cameras</name>\n";
}

void AppendKmlEnd(std::string& out) { out += "</Document></kml>\n"; }

void AppendKmlPlacemark(std::string& out, const service::CameraRecord& r) {
    out += "<Placemark><name>";
    AppendName(out, r, EscapeXml);
    out += "</name><ExtendedData>";
    AppendData(out, "direction", r.direction);
    AppendData(out, "category", r.category);
    AppendData(out, "extra", r.extra);
    AppendData(out, "id", r.identifier);
    AppendData(out, "personal", r.flag == 0 ? 1 : 0);
    out += "</ExtendedData><Point><coordinates>";
    AppendDegrees(out, r.longitude);
    out.push_back(',');
    AppendDegrees(out, r.latitude);
    out += "</coordinates></Point></Placemark>\n";
}

ImportResult ReadKml(ChunkReader& reader, std::string& buffer, const RecordSink& add, ImportSummary& summary) {
    return ForEachElement(
        reader, buffer, "Placemark", "placemark",
        [&](std::string_view element, std::size_t) { return ReadPlacemark(element, add, summary); }, summary);
}

}  // namespace engine::exchange
