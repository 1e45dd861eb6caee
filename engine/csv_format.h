#pragma once
// CSV for map programs: the cameras written as rows under kCsvHeader, and rows of any
// header naming latitude and longitude read back as reports. Inside the engine;
// engine/map_formats.h is the interface.
#include <string>

#include "engine/map_formats.h"
#include "engine/format_fields.h"
#include "service/camera_record.h"

namespace engine::formats {

// The header line, and one row per camera.
void AppendCsvStart(std::string& out, bool openStreetMap);
void AppendCsvRow(std::string& out, const service::CameraRecord& r);

// Hands each row of the file (buffer holds what was read of it so far) to add as an "add"
// record. kBadFile with line and problem at the first row that is not a camera, or for a file
// without a header.
ImportResult ReadCsv(ChunkReader& reader, std::string& buffer, const RecordSink& add, ImportSummary& summary);

}  // namespace engine::formats
