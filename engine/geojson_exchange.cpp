#include "engine/geojson_exchange.h"

namespace engine::exchange {

void AppendGeoJsonStart(std::string& out) { out += "{\"type\":\"FeatureCollection\",\"features\":[\n"; }

void AppendGeoJsonEnd(std::string& out) { out += "]}\n"; }

void AppendGeoJsonFeature(std::string& out, const service::CameraRecord& r, std::size_t index) {
    if (index > 0) out += ",\n";
    out += "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[";
    AppendDegrees(out, r.longitude);
    out.push_back(',');
    AppendDegrees(out, r.latitude);
    out += "]},\"properties\":{\"name\":\"";
    AppendName(out, r, EscapeJson);
    out += "\",\"direction\":";
    AppendInt(out, r.direction);
    out += ",\"category\":";
    AppendInt(out, r.category);
    out += ",\"extra\":";
    AppendInt(out, r.extra);
    out += ",\"id\":";
    AppendInt(out, r.identifier);
    out += r.flag == 0 ? ",\"personal\":true}}" : ",\"personal\":false}}";
}

}  // namespace engine::exchange
