// Arbitrary bytes as the remembered camera count: a record is taken only when it is exactly one
// whole, terminated record of a known transport, and then it says what it was made from.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/device_count.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    engine::DeviceCountRecord record{};
    if (!engine::ParseDeviceCount(data, size, record)) return 0;
    if (size != sizeof record || record.cameras < 0 ||
        std::memchr(record.devicePath, '\0', sizeof record.devicePath) == nullptr) {
        std::abort();
    }
    return 0;
}
