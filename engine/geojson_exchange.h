#pragma once
// GeoJSON (RFC 7946) for the camera exchange: the cameras written as one FeatureCollection, a
// Point feature per camera with its position as [longitude, latitude] and its values as
// properties; and the Points of a GeoJSON file read back as reports. Inside the engine;
// engine/camera_exchange.h is the interface.
#include <cstddef>
#include <string>

#include "engine/camera_exchange.h"
#include "engine/exchange_fields.h"
#include "service/camera_record.h"

namespace engine::exchange {

void AppendGeoJsonStart(std::string& out);
void AppendGeoJsonEnd(std::string& out);
// index: the features written before this one (the first is not preceded by a comma).
void AppendGeoJsonFeature(std::string& out, const service::CameraRecord& r, std::size_t index);

// Reads the JSON document of the file (buffer holds what was read of it so far) as it streams
// by, and hands each Point to add as an "add" record: a FeatureCollection's Point features, a
// single Point feature, or a bare Point geometry. Features of other geometries (or none) are
// passed over. The direction, category and extra value come from the feature's properties of
// those names (numbers, or texts holding numbers) when present. kBadFile with line and problem
// for a document that is not JSON, nested deeper than 64 levels, holding a text or number
// longer than 64 KiB, or a Point that is no camera.
ImportResult ReadGeoJson(ChunkReader& reader, std::string& buffer, const RecordSink& add, ImportSummary& summary);

}  // namespace engine::exchange
