#include "engine/kml_exchange.h"

namespace engine::exchange {

namespace {

void AppendData(std::string& out, const char* name, long long value) {
    out += "<Data name=\"";
    out += name;
    out += "\"><value>";
    AppendInt(out, value);
    out += "</value></Data>";
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

}  // namespace engine::exchange
