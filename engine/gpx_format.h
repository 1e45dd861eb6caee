#pragma once
// GPX 1.1 for map programs: the cameras written as waypoints, and waypoints read back as
// reports. Inside the engine; engine/map_formats.h is the interface.
#include <string>

#include "engine/map_formats.h"
#include "engine/format_fields.h"
#include "service/camera_record.h"

namespace engine::formats {

// The document up to its first waypoint, and its end.
void AppendGpxStart(std::string& out, bool openStreetMap);
void AppendGpxEnd(std::string& out);
void AppendGpxWaypoint(std::string& out, const service::CameraRecord& r);

// Hands each waypoint of the file (buffer holds what was read of it so far) to add as an "add"
// record. kBadFile with line and problem at the first waypoint that is not a camera.
ImportResult ReadGpx(ChunkReader& reader, std::string& buffer, const RecordSink& add, ImportSummary& summary);

}  // namespace engine::formats
