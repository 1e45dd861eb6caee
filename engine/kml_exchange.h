#pragma once
// KML 2.2 for the camera export: a Document of Placemarks, each a Point with the camera's
// values as ExtendedData. Inside the engine; engine/camera_exchange.h is the interface.
#include <string>

#include "engine/exchange_fields.h"
#include "service/camera_record.h"

namespace engine::exchange {

void AppendKmlStart(std::string& out);
void AppendKmlEnd(std::string& out);
void AppendKmlPlacemark(std::string& out, const service::CameraRecord& r);

}  // namespace engine::exchange
