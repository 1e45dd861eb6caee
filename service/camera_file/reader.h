#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "service/camera_file/format.h"

namespace service {

struct CameraFileContents {
    std::vector<CellGroup> cells;
    std::vector<DeviceCameraRecord> cameras;
};

// Reads a speed-camera file back and checks everything the device relies on: the header
// chunk and its tag, a cell index in strictly ascending key order whose groups cover the
// cameras one after another, and camera chunks of type 200 and length 73 with terminated
// names up to the very end. False, with the reason in `problem`, on anything else.
bool ParseCameraFile(const std::uint8_t* data, std::size_t size, CameraFileContents& out, std::string* problem = nullptr);

bool ReadCameraFileBack(const std::string& path, CameraFileContents& out, std::string* problem = nullptr);

}  // namespace service
