#pragma once
// KML 2.2 for the camera exchange: the cameras written as a Document of Placemarks, each a Point
// with the camera's values as ExtendedData, and the Point placemarks of any KML file read back
// as reports. Inside the engine; engine/camera_exchange.h is the interface.
#include <string>

#include "engine/camera_exchange.h"
#include "engine/exchange_fields.h"
#include "service/camera_record.h"

namespace engine::exchange {

void AppendKmlStart(std::string& out);
void AppendKmlEnd(std::string& out);
void AppendKmlPlacemark(std::string& out, const service::CameraRecord& r);

// Hands each Placemark holding a Point (buffer holds what was read of the file so far) to add
// as an "add" record; placemarks of lines and areas are passed over. The direction, category
// and extra value come from ExtendedData (Data/value or SimpleData) of those names when
// present. kBadFile with line and problem at the first Point that is no camera.
ImportResult ReadKml(ChunkReader& reader, std::string& buffer, const RecordSink& add, ImportSummary& summary);

}  // namespace engine::exchange
