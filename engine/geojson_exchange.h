#pragma once
// GeoJSON (RFC 7946) for the camera export: one FeatureCollection, a Point feature per camera
// with its position as [longitude, latitude] and its values as properties. Inside the engine;
// engine/camera_exchange.h is the interface.
#include <cstddef>
#include <string>

#include "engine/exchange_fields.h"
#include "service/camera_record.h"

namespace engine::exchange {

void AppendGeoJsonStart(std::string& out);
void AppendGeoJsonEnd(std::string& out);
// index: the features written before this one (the first is not preceded by a comma).
void AppendGeoJsonFeature(std::string& out, const service::CameraRecord& r, std::size_t index);

}  // namespace engine::exchange
