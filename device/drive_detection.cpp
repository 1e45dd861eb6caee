#include "device/drive_detection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace device {

std::string deviceDrive;

namespace {
constexpr const char* kNavigatorData = "\\VyoMap\\Vyomap\\data.zip";
constexpr std::uint32_t kBusTypeOther = 0;
}  // namespace

bool HasNavigatorData(const std::string& drive) {
    const std::string path = platform::FindBelowIgnoringCase(drive, kNavigatorData);
    if (path.empty()) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    // A folder of that name opens for reading as well, and is no navigator's data.
    struct stat st {};
    const bool file = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return file;
}

bool QueryStorageBus(const platform::Drive& drive, std::uint32_t& busType) {
    if (drive.kind == platform::DriveKind::kOther) return false;
    busType = drive.usb ? kBusTypeUsb : kBusTypeOther;
    return true;
}

int FindDeviceDrive(const char* /*identification*/) {
    deviceDrive.clear();
    for (const platform::Drive& drive : platform::ListDrives()) {
        std::uint32_t bus = kBusTypeOther;
        const bool candidate = drive.kind == platform::DriveKind::kRemovable ||
                               (drive.kind == platform::DriveKind::kFixed && QueryStorageBus(drive, bus) &&
                                bus == kBusTypeUsb);
        if (!candidate) continue;
        deviceDrive = drive.root;
        if (HasNavigatorData(deviceDrive)) return 1;
        deviceDrive.clear();
    }
    return 0;
}

}  // namespace device
