#include "device/device_link.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "device/drive_detection.h"
#include "platform/atomic_file.h"
#include "platform/drives.h"
#include "platform/fixed_text.h"
#include "platform/resources.h"

klxp::CKlxpXClient theKlxpClient;

namespace {

using device::TransportKind;

constexpr const char* kStopProgram = ".\\shutdown.exe";
constexpr const char* kStopProgramOnDevice = "\\shutdown.exe";
constexpr const char* kEmptyFile = ".\\temp.dat";
constexpr std::size_t kCopyBlock = 1024;

bool FlashDisk(TransportKind kind) { return kind == TransportKind::kKlx || kind == TransportKind::kKlxp; }

// Copies a whole file through the atomic writer: the target is replaced only by a complete copy.
// A missing source is no failure, as on the device's storage a missing file means "nothing yet";
// the target is then left as it is.
int CopyLocalFile(const std::string& source, const std::string& target) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return errno == ENOENT ? 1 : 0;
    platform::AtomicFile out;
    bool ok = out.Open(target);
    char block[kCopyBlock];
    while (ok) {
        const ssize_t n = ::read(in, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = out.Write(block, static_cast<std::size_t>(n));
    }
    ::close(in);
    return ok && out.Commit() ? 1 : 0;
}

}  // namespace

int CDeviceLink::LoadProfile(std::uint32_t index) {
    device::DeviceProfile profile;
    profile.transport = transport;
    profile.cameraFilePath = cameraFilePath;
    profile.personalUpdatesPath = personalUpdatesPath;
    profile.restartNavigator = restartNavigator;
    if (device::LoadProfile(device::DevicesIniPath(folder_), index, profile) != 1) return 0;
    SetProfile(profile);
    return 1;
}

void CDeviceLink::SetProfile(const device::DeviceProfile& profile) {
    transport = profile.transport;
    restartNavigator = profile.restartNavigator;
    platform::CopyToField(cameraFilePath, profile.cameraFilePath.c_str());
    platform::CopyToField(personalUpdatesPath, profile.personalUpdatesPath.c_str());
}

std::string CDeviceLink::PcPath(const char* pcPath) const {
    std::string text = pcPath != nullptr ? pcPath : "";
    if (text.rfind(".\\", 0) != 0) return text;
    if (text == kStopProgram && folder_.SizeOf(text) < 0) return platform::ResourceFolder() + "/shutdown.exe";
    return folder_.Path(text);
}

std::string CDeviceLink::DrivePath(const char* devicePath) const {
    if (device::deviceDrive.empty() || devicePath == nullptr || devicePath[0] != '\\') return "";
    const std::string path = devicePath;
    if (path.find('/') != std::string::npos) return "";
    const std::size_t slash = path.rfind('\\');
    const std::string folder = platform::FindBelowIgnoringCase(device::deviceDrive, path.substr(0, slash));
    if (folder.empty()) return "";
    const std::string name = path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return "";
    const std::string existing = platform::FindBelowIgnoringCase(folder, name);
    return existing.empty() ? folder + "/" + name : existing;
}

int CDeviceLink::Initialize(int /*flags*/) { return transport == TransportKind::kNone ? 0 : 1; }

int CDeviceLink::Connect() {
    switch (transport) {
        case TransportKind::kKlxp: return theKlxpClient.Connect() ? 1 : 0;
        case TransportKind::kDrive:
            return device::FindDeviceDrive("VyoTrailwiser1") == 1 || device::FindDeviceDrive("TFAT") == 1 ? 1 : 0;
        default: return 0;  // no profile, or a transport this build cannot reach
    }
}

int CDeviceLink::CopyFromDevice(const char* devicePath, const char* pcPath) {
    const std::string pc = PcPath(pcPath);
    switch (transport) {
        case TransportKind::kKlxp: return theKlxpClient.Download(devicePath, pc.c_str(), 1) ? 1 : 0;
        case TransportKind::kDrive: {
            const std::string device = DrivePath(devicePath);
            return device.empty() ? 0 : CopyLocalFile(device, pc);
        }
        default: return 0;
    }
}

int CDeviceLink::CopyToDevice(const char* pcPath, const char* devicePath) {
    const std::string pc = PcPath(pcPath);
    switch (transport) {
        case TransportKind::kKlxp:
            theKlxpClient.SetBlocking(true);
            return theKlxpClient.Upload(pc.c_str(), devicePath, 1) ? 1 : 0;
        case TransportKind::kDrive: {
            const std::string device = DrivePath(devicePath);
            return device.empty() ? 0 : CopyLocalFile(pc, device);
        }
        default: return 0;
    }
}

int CDeviceLink::RunOnDevice(const char* program, const char* /*arguments*/) {
    switch (transport) {
        case TransportKind::kKlxp: return theKlxpClient.RemoteCreateProcess(program) ? 1 : 0;  // no arguments
        case TransportKind::kDrive: return 1;
        default: return 0;
    }
}

int CDeviceLink::DeleteOnDevice(const char* devicePath) {
    switch (transport) {
        case TransportKind::kKlxp:
            theKlxpClient.SetBlocking(true);
            return theKlxpClient.RemoteDeleteFile(devicePath) ? 1 : 0;
        case TransportKind::kDrive: {
            const std::string device = DrivePath(devicePath);
            return !device.empty() && ::unlink(device.c_str()) == 0 ? 1 : 0;
        }
        default: return 0;
    }
}

int CDeviceLink::Disconnect() {
    switch (transport) {
        case TransportKind::kKlxp: return theKlxpClient.Disconnect() ? 1 : 0;
        case TransportKind::kDrive: return 1;
        default: return 0;
    }
}

void CDeviceLink::StopNavigator() {
    if (transport == TransportKind::kNone || transport == TransportKind::kDrive) return;
    CopyToDevice(kStopProgram, kStopProgramOnDevice);
    RunOnDevice(kStopProgramOnDevice, "");
}

void CDeviceLink::StartNavigator() {
    if (restartNavigator == 1 && FlashDisk(transport)) RunOnDevice(device::kNavigatorProgram, "");
}

int CDeviceLink::ClearDeviceFile(const char* devicePath) {
    platform::AtomicFile empty;
    if (!empty.Open(folder_.Path(kEmptyFile)) || !empty.Commit()) return 0;
    const int copied = CopyToDevice(kEmptyFile, devicePath);
    folder_.Delete(kEmptyFile);
    return copied;
}
