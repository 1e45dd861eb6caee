#pragma once
// CSV for the camera exchange: the cameras written as rows under kCsvHeader, and rows of any
// header naming latitude and longitude read back as reports. Inside the engine;
// engine/camera_exchange.h is the interface.
#include <string>

#include "engine/camera_exchange.h"
#include "engine/exchange_fields.h"
#include "service/camera_record.h"

namespace engine::exchange {

// The header line, and one row per camera.
void AppendCsvStart(std::string& out, bool openStreetMap);
void AppendCsvRow(std::string& out, const service::CameraRecord& r);

// Hands each row of the file (buffer holds what was read of it so far) to add as an "add"
// record. kBadFile with line and problem at the first row that is not a camera, or for a file
// without a header.
ImportResult ReadCsv(ChunkReader& reader, std::string& buffer, const RecordSink& add, ImportSummary& summary);

}  // namespace engine::exchange
