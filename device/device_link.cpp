#include "device/device_link.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "devicekit/klx/klx.h"
#include "devicekit/wire/status.h"
#include "devicekit/rapi/rapi.h"

#include "device/drive_detection.h"
#include "platform/atomic_file.h"
#include "platform/drives.h"
#include "platform/fixed_text.h"
#include "platform/resources.h"

CToolKlxpClient theKlxpClient;

namespace {

using device::TransportKind;

constexpr const char* kStopProgram = ".\\shutdown.exe";
constexpr const char* kStopProgramOnDevice = "\\shutdown.exe";
constexpr const char* kEmptyFile = ".\\temp.dat";
constexpr std::size_t kCopyBlock = 1024;

constexpr int kKlxConnectTries = 6;
constexpr int kKlxCopyRetries = 5;
// The library gives no reason of its own.
constexpr const char* kKlxRefused = "the library refused the copy 6 times, with a new connection before each retry";
constexpr int kRapiConnectWaitMs = 750;
constexpr int kRapiOpenTries = 11;
constexpr int kRapiOpenPauseMs = 700;
constexpr std::uint32_t kRapiChunk = 100000;
constexpr int kRapiUploadAttempts = 3;
constexpr std::size_t kRapiPathLimit = 255;
constexpr std::size_t kProbeSize = 200;
constexpr const char* kRapiPathTooLong = "the device path is longer than the remote API's 255 characters";
constexpr const char* kProbeText =
    "effe testen of het werkt naar het device schrijven, dit is inderdaad een goede test";

bool FlashDisk(TransportKind kind) { return kind == TransportKind::kKlx || kind == TransportKind::kKlxp; }

// Copies a whole file through the atomic writer: the target is replaced only by a complete copy.
// A missing source is no failure, as on the device's storage a missing file means "nothing yet";
// the target is then left as it is. On failure `why` names the file that failed and the reason.
int CopyLocalFile(const std::string& source, const std::string& target, std::string& why) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        if (errno == ENOENT) return 1;
        why = "cannot read " + source + ": " + std::strerror(errno);
        return 0;
    }
    platform::AtomicFile out;
    bool ok = out.Open(target);
    int error = ok ? 0 : errno;
    char block[kCopyBlock];
    while (ok) {
        const ssize_t n = ::read(in, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            if (!ok) {
                error = errno;
                why = "cannot read " + source + ": " + std::strerror(error);
            }
            break;
        }
        ok = out.Write(block, static_cast<std::size_t>(n));
        if (!ok) error = errno;
    }
    ::close(in);
    if (ok && out.Commit()) return 1;
    if (why.empty()) why = "cannot write " + target + (error != 0 ? std::string(": ") + std::strerror(error) : "");
    return 0;
}

// Reads until the buffer is full or the file ends; -1 on an error.
ssize_t ReadChunk(int fd, char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

// A device path the remote API's 256-character buffers can hold.
bool RapiPathFits(const char* devicePath) {
    return devicePath != nullptr && std::strlen(devicePath) <= kRapiPathLimit;
}

CeHandle RapiCreateForWriting(const char* devicePath) {
    return CeCreateFile(devicePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
}

CeHandle RapiOpenForReading(const char* devicePath) {
    return CeCreateFile(devicePath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool RapiWriteAll(CeHandle file, const char* data, std::uint32_t size) {
    std::uint32_t written = 0;
    return CeWriteFile(file, data, size, &written, nullptr) != 0 && written == size;
}

// Writes the probe record to the ".bak" name and reads it back: a device whose storage cannot
// be written fails here, before its present file is touched.
bool RapiProbe(const char* backupPath) {
    CeHandle probe = RapiCreateForWriting(backupPath);
    if (probe == nullptr) {
        CeDeleteFile(backupPath);
        return false;
    }
    char record[kProbeSize] = {};
    std::memcpy(record, kProbeText, std::strlen(kProbeText) + 1);
    const bool written = RapiWriteAll(probe, record, sizeof record);
    const bool closed = CeCloseHandle(probe) != 0;
    bool same = false;
    if (written && closed) {
        CeHandle back = RapiOpenForReading(backupPath);
        if (back != nullptr) {
            char readBack[kProbeSize + 1] = {};
            std::uint32_t got = 0;
            same = CeReadFile(back, readBack, kProbeSize, &got, nullptr) != 0 && std::strcmp(readBack, kProbeText) == 0;
            CeCloseHandle(back);
        }
    }
    CeDeleteFile(backupPath);
    return same;
}

// One upload attempt: the whole PC file written, and read back equal to it, byte for byte and
// length for length, so that a truncated or corrupted device file never counts as good.
bool RapiUploadAttempt(const char* devicePath, const std::string& pcPath, std::vector<char>& pcChunk,
                       std::vector<char>& deviceChunk) {
    CeHandle target = RapiCreateForWriting(devicePath);
    if (target == nullptr) return false;
    bool good = true;
    const int in = ::open(pcPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) good = false;
    while (good) {
        const ssize_t n = ReadChunk(in, pcChunk.data(), pcChunk.size());
        if (n <= 0) {
            good = n == 0;
            break;
        }
        good = RapiWriteAll(target, pcChunk.data(), static_cast<std::uint32_t>(n));
    }
    if (in >= 0) ::close(in);
    if (CeCloseHandle(target) == 0) good = false;
    if (!good) return false;

    CeHandle back = RapiOpenForReading(devicePath);
    if (back == nullptr) return false;
    const int again = ::open(pcPath.c_str(), O_RDONLY | O_CLOEXEC);
    bool same = again >= 0;
    while (same) {
        const ssize_t n = ReadChunk(again, pcChunk.data(), pcChunk.size());
        std::uint32_t got = 0;
        if (n < 0 || CeReadFile(back, deviceChunk.data(), kRapiChunk, &got, nullptr) == 0) {
            same = false;
            break;
        }
        if (static_cast<std::size_t>(n) != got) {
            same = false;
            break;
        }
        if (n == 0) break;
        same = std::memcmp(pcChunk.data(), deviceChunk.data(), got) == 0;
    }
    if (again >= 0) ::close(again);
    CeCloseHandle(back);
    return same;
}

}  // namespace

void CDeviceLink::Pause(int milliseconds) const {
    if (pause_) {
        pause_(milliseconds);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

int CDeviceLink::KlxCopyFromDevice(const char* devicePath, const std::string& pcPath) {
    int result = KLXCopyFileFromDevice(devicePath, pcPath.c_str());
    // A dropped USB connection shows as a failed copy; a new connection usually mends it.
    for (int retry = 0; result == 0 && retry < kKlxCopyRetries; ++retry) {
        KLXConnectDevice();
        result = KLXCopyFileFromDevice(devicePath, pcPath.c_str());
    }
    return result != 0 ? 1 : 0;
}

int CDeviceLink::KlxCopyToDevice(const std::string& pcPath, const char* devicePath) {
    int result = KLXCopyFileToDevice(pcPath.c_str(), devicePath);
    for (int retry = 0; result == 0 && retry < kKlxCopyRetries; ++retry) {
        KLXConnectDevice();
        result = KLXCopyFileToDevice(pcPath.c_str(), devicePath);
    }
    return result != 0 ? 1 : 0;
}

int CDeviceLink::RapiConnect() {
    RAPIINIT init;
    if (CeRapiInitEx(&init) < 0 || init.heRapiInit == nullptr) return 0;
    return init.heRapiInit->Wait(kRapiConnectWaitMs) ? 1 : 0;
}

int CDeviceLink::RapiCopyFromDevice(const char* devicePath, const std::string& pcPath, std::string& why) {
    if (!RapiPathFits(devicePath)) {
        why = kRapiPathTooLong;
        return 0;
    }
    // The device may still be busy with the file just after connecting, so the open is retried.
    CeHandle source = RapiOpenForReading(devicePath);
    for (int attempt = 1; source == nullptr && attempt < kRapiOpenTries; ++attempt) {
        Pause(kRapiOpenPauseMs);
        source = RapiOpenForReading(devicePath);
    }
    if (source == nullptr) {
        why = "the file could not be opened in " + std::to_string(kRapiOpenTries) +
              " tries (missing, or the device did not answer)";
        return 0;
    }
    // Success only with the whole file on the PC: a partial personal-updates file taken for a
    // whole one would later cost the user the reports it lacks.
    platform::AtomicFile out;
    bool ok = out.Open(pcPath);
    std::vector<char> chunk(kRapiChunk);
    while (ok) {
        std::uint32_t got = 0;
        if (CeReadFile(source, chunk.data(), kRapiChunk, &got, nullptr) == 0) {
            ok = false;
            break;
        }
        if (got == 0) break;
        ok = out.Write(chunk.data(), got);
    }
    CeCloseHandle(source);
    if (ok && out.Commit()) return 1;
    why = "the file could not be read whole, or " + pcPath + " could not be written";
    return 0;
}

int CDeviceLink::RapiCopyToDevice(const char* devicePath, const std::string& pcPath, std::string& why) {
    if (!RapiPathFits(devicePath)) {
        why = kRapiPathTooLong;
        return 0;
    }
    const std::string backup = std::string(devicePath) + ".bak";
    // A ".bak" that is already there was left by an upload that broke off before its copy was
    // verified: it holds the last good file, and the probe below would write over it.
    if (!RapiPutBackLeftBackup(devicePath, backup.c_str(), why)) return 0;
    if (!RapiProbe(backup.c_str())) {
        why = "the device's storage refuses writes: the probe file " + backup + " could not be written and read back";
        return 0;
    }
    const bool backedUp = CeMoveFile(devicePath, backup.c_str()) != 0;
    std::vector<char> pcChunk(kRapiChunk);
    std::vector<char> deviceChunk(kRapiChunk);
    for (int attempt = 0; attempt < kRapiUploadAttempts; ++attempt) {
        if (RapiUploadAttempt(devicePath, pcPath, pcChunk, deviceChunk)) {
            CeDeleteFile(backup.c_str());
            return 1;
        }
    }
    // The bad copy makes way for the earlier file, which would otherwise stay under the ".bak"
    // name where the navigation program does not look.
    if (backedUp) {
        CeDeleteFile(devicePath);
        CeMoveFile(backup.c_str(), devicePath);
    }
    why = "none of " + std::to_string(kRapiUploadAttempts) +
          " attempts left a copy on the device that reads back equal to the PC file" +
          (backedUp ? "; the earlier file was put back" : "");
    return 0;
}

// The device file of the path is the broken upload's unverified copy: an empty one (the remote
// API creates the file before it sends any data) or none makes way for the ".bak". One that
// holds data may also hold what the navigation program wrote since, so both are left alone and
// the upload is refused.
bool CDeviceLink::RapiPutBackLeftBackup(const char* devicePath, const char* backupPath, std::string& why) {
    CeHandle left = RapiOpenForReading(backupPath);
    if (left == nullptr) return true;
    CeCloseHandle(left);
    CeHandle present = RapiOpenForReading(devicePath);
    bool holdsData = false;
    if (present != nullptr) {
        char byte = 0;
        std::uint32_t got = 0;
        holdsData = CeReadFile(present, &byte, 1, &got, nullptr) == 0 || got != 0;
        CeCloseHandle(present);
        if (!holdsData) CeDeleteFile(devicePath);
    }
    if (!holdsData && CeMoveFile(backupPath, devicePath) != 0) return true;
    why = std::string(backupPath) + " is left from an earlier upload that broke off and may hold the only good copy" +
          (holdsData ? std::string(", while ") + devicePath + " holds other data" : ", and it could not be moved back") +
          "; both were kept and nothing was written";
    return false;
}

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

int CDeviceLink::Initialize(int flags) {
    switch (transport) {
        case TransportKind::kNone: return 0;
        case TransportKind::kKlx: return KLXInitialize(flags);
        default: return 1;
    }
}

int CDeviceLink::Failed(const std::string& step, const std::string& why) {
    failure_ = step + " (" + device::TransportName(transport) + "): " + why;
    return 0;
}

int CDeviceLink::Connect() {
    failure_.clear();
    switch (transport) {
        case TransportKind::kKlx: {
            int result = 0;
            for (int attempt = 0; attempt < kKlxConnectTries && result == 0; ++attempt) result = KLXConnectDevice();
            return result != 0 ? result : Failed("connecting", "no device answered " + std::to_string(kKlxConnectTries) + " tries");
        }
        case TransportKind::kKlxp:
            return theKlxpClient.Connect() ? 1 : Failed("connecting", theKlxpClient.GetStringResult());
        case TransportKind::kRapi:
            return RapiConnect() == 1 ? 1
                                      : Failed("connecting", "the connection did not come up within " +
                                                                 std::to_string(kRapiConnectWaitMs) + " ms");
        case TransportKind::kDrive:
            return device::FindDeviceDrive("VyoTrailwiser1") == 1 || device::FindDeviceDrive("TFAT") == 1
                       ? 1
                       : Failed("connecting", "no removable drive, nor fixed drive on USB, holds the navigation "
                                              "program's data file \\VyoMap\\Vyomap\\data.zip");
        default: return Failed("connecting", "no device model is loaded");  // or one this build cannot reach
    }
}

int CDeviceLink::CopyFromDevice(const char* devicePath, const char* pcPath) {
    failure_.clear();
    const std::string pc = PcPath(pcPath);
    const std::string step = std::string("copying ") + (devicePath != nullptr ? devicePath : "") + " from the device to " + pc;
    std::string why;
    switch (transport) {
        case TransportKind::kKlx: return KlxCopyFromDevice(devicePath, pc) == 1 ? 1 : Failed(step, kKlxRefused);
        case TransportKind::kKlxp:
            return theKlxpClient.Download(devicePath, pc.c_str(), 1) ? 1 : Failed(step, theKlxpClient.GetStringResult());
        case TransportKind::kRapi: return RapiCopyFromDevice(devicePath, pc, why) == 1 ? 1 : Failed(step, why);
        case TransportKind::kDrive: {
            const std::string device = DrivePath(devicePath);
            if (device.empty()) return Failed(step, "its folder is not on the drive " + device::deviceDrive);
            return CopyLocalFile(device, pc, why) == 1 ? 1 : Failed(step, why);
        }
        default: return Failed(step, "no device model is loaded");
    }
}

int CDeviceLink::CopyToDevice(const char* pcPath, const char* devicePath) {
    failure_.clear();
    const std::string pc = PcPath(pcPath);
    const std::string step = "copying " + pc + " to " + (devicePath != nullptr ? devicePath : "") + " on the device";
    std::string why;
    switch (transport) {
        case TransportKind::kKlx: return KlxCopyToDevice(pc, devicePath) == 1 ? 1 : Failed(step, kKlxRefused);
        case TransportKind::kKlxp:
            theKlxpClient.SetBlocking(true);
            return theKlxpClient.Upload(pc.c_str(), devicePath, 1) ? 1 : Failed(step, theKlxpClient.GetStringResult());
        case TransportKind::kRapi: return RapiCopyToDevice(devicePath, pc, why) == 1 ? 1 : Failed(step, why);
        case TransportKind::kDrive: {
            const std::string device = DrivePath(devicePath);
            if (device.empty()) return Failed(step, "its folder is not on the drive " + device::deviceDrive);
            return CopyLocalFile(pc, device, why) == 1 ? 1 : Failed(step, why);
        }
        default: return Failed(step, "no device model is loaded");
    }
}

int CDeviceLink::RunOnDevice(const char* program, const char* arguments) {
    switch (transport) {
        case TransportKind::kKlx: return KLXCreateProcess(program, arguments) != 0 ? 1 : 0;
        case TransportKind::kKlxp: return theKlxpClient.RemoteCreateProcess(program) ? 1 : 0;  // no arguments
        case TransportKind::kRapi: {
            if (!RapiPathFits(program) || !RapiPathFits(arguments)) return 0;
            CE_PROCESS_INFORMATION information;
            return CeCreateProcess(program, arguments, nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr,
                                   &information) != 0
                       ? 1
                       : 0;
        }
        case TransportKind::kDrive: return 1;
        default: return 0;
    }
}

int CDeviceLink::DeleteOnDevice(const char* devicePath) {
    switch (transport) {
        case TransportKind::kKlx: return KLXDeleteFile(devicePath) != 0 ? 1 : 0;
        case TransportKind::kRapi: return RapiPathFits(devicePath) && CeDeleteFile(devicePath) != 0 ? 1 : 0;
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

int CDeviceLink::FileMissingOnDevice(const char* devicePath) {
    switch (transport) {
        case TransportKind::kKlxp:
            theKlxpClient.SetBlocking(true);
            return !theKlxpClient.RemoteGetFileAttributesEx(devicePath, nullptr) &&
                           theKlxpClient.last_result() == static_cast<std::uint32_t>(klxpwire::Status::kNotFound)
                       ? 1
                       : 0;
        case TransportKind::kDrive: {
            const std::string device = DrivePath(devicePath);
            struct stat info {};
            return !device.empty() && ::stat(device.c_str(), &info) != 0 && errno == ENOENT ? 1 : 0;
        }
        default: return 0;
    }
}

int CDeviceLink::Disconnect() {
    switch (transport) {
        case TransportKind::kKlx: return 1;
        case TransportKind::kKlxp: return theKlxpClient.Disconnect() ? 1 : 0;
        case TransportKind::kRapi: return CeRapiUninit();  // 0 (S_OK) when it went well
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
