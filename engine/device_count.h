#pragma once
#include <cstdint>
#include <string>

#include "device/transport.h"

namespace platform {
class WorkFolder;
}

// The number of cameras in the device's camera file, remembered with the file's size and time
// so that a refresh copies the whole file (tens of megabytes over a slow link) only when it has
// changed. It lives in ".\device.count" of the working folder, replaced whole on every change:
//
//   offset  size  field
//        0     8  magic "ZKDCNT01"
//        8     8  size of the device file, bytes (little-endian, as every field)
//       16     8  the device's time stamp of the file (compared for equality only)
//       24     4  transport kind (device::TransportKind)
//       28     4  number of cameras
//       32   256  device path, zero-terminated
//
// A file of any other length, magic, kind or without the terminator is not used; nothing is
// ever taken from it then, and the next refresh copies the device file again.
namespace engine {

inline constexpr const char* kDeviceCountFile = ".\\device.count";

struct DeviceCountRecord {
    char magic[8];
    std::uint64_t size;
    std::uint64_t modified;
    std::int32_t transport;
    std::int32_t cameras;
    char devicePath[256];
};
static_assert(sizeof(DeviceCountRecord) == 288, "the record is 288 bytes on disk");

// Fills the record from raw bytes; false unless they are exactly one valid record.
bool ParseDeviceCount(const void* data, std::size_t size, DeviceCountRecord& record);

// The remembered count for that file of that transport with those facts; -1 when none matches
// (no file, a damaged one, or a file whose size or time changed).
std::int32_t RememberedCameraCount(const platform::WorkFolder& folder, device::TransportKind transport,
                                   const std::string& devicePath, const device::FileFacts& facts);

// Remembers the count; a failure to write only costs a copy next time, so it is not reported.
// Facts the transport could not give are not remembered (the old file is removed instead).
void RememberCameraCount(const platform::WorkFolder& folder, device::TransportKind transport,
                         const std::string& devicePath, const device::FileFacts& facts, std::int32_t cameras);

}  // namespace engine
