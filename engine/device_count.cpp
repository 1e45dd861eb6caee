#include "engine/device_count.h"

#include <cstdio>
#include <cstring>

#include "platform/atomic_file.h"
#include "platform/pc_files.h"

namespace engine {

namespace {

constexpr char kMagic[8] = {'Z', 'K', 'D', 'C', 'N', 'T', '0', '1'};

}  // namespace

bool ParseDeviceCount(const void* data, std::size_t size, DeviceCountRecord& record) {
    if (data == nullptr || size != sizeof record) return false;
    std::memcpy(&record, data, sizeof record);
    const bool terminated = std::memchr(record.devicePath, '\0', sizeof record.devicePath) != nullptr;
    const bool knownKind = record.transport >= static_cast<std::int32_t>(device::TransportKind::kKlx) &&
                           record.transport <= static_cast<std::int32_t>(device::TransportKind::kRapi);
    return std::memcmp(record.magic, kMagic, sizeof kMagic) == 0 && terminated && knownKind && record.cameras >= 0;
}

std::int32_t RememberedCameraCount(const platform::WorkFolder& folder, device::TransportKind transport,
                                   const std::string& devicePath, const device::FileFacts& facts) {
    if (facts.state != device::FileFacts::State::kPresent) return -1;
    std::FILE* file = std::fopen(folder.Path(kDeviceCountFile).c_str(), "rb");
    if (file == nullptr) return -1;
    char bytes[sizeof(DeviceCountRecord) + 1];  // one more, to tell a longer file
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    DeviceCountRecord record{};
    if (!ParseDeviceCount(bytes, got, record)) return -1;
    const bool same = record.transport == static_cast<std::int32_t>(transport) && record.size == facts.size &&
                      record.modified == facts.modified && devicePath == record.devicePath;
    return same ? record.cameras : -1;
}

void RememberCameraCount(const platform::WorkFolder& folder, device::TransportKind transport,
                         const std::string& devicePath, const device::FileFacts& facts, std::int32_t cameras) {
    DeviceCountRecord record{};
    if (facts.state != device::FileFacts::State::kPresent || cameras < 0 ||
        devicePath.size() >= sizeof record.devicePath) {
        folder.Delete(kDeviceCountFile);
        return;
    }
    std::memcpy(record.magic, kMagic, sizeof kMagic);
    record.size = facts.size;
    record.modified = facts.modified;
    record.transport = static_cast<std::int32_t>(transport);
    record.cameras = cameras;
    std::memcpy(record.devicePath, devicePath.c_str(), devicePath.size() + 1);
    platform::AtomicFile out;
    if (!out.Open(folder.Path(kDeviceCountFile)) || !out.Write(&record, sizeof record) || !out.Commit()) {
        folder.Delete(kDeviceCountFile);
    }
}

}  // namespace engine
