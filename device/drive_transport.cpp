// The device's storage mounted as a drive of the PC: "MA" devices.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "device/drive_detection.h"
#include "device/transport.h"
#include "platform/atomic_file.h"
#include "platform/drives.h"

namespace device {
namespace {

constexpr std::size_t kCopyBlock = 1024;

// Copies a whole file through the atomic writer: the target is replaced only by a complete copy.
// A missing source is no failure, as on the device's storage a missing file means "nothing yet";
// the target is then left as it is. On failure `why` names the file that failed and the reason.
int CopyLocalFile(const std::string& source, const std::string& target, const CopyProgress& progress,
                  std::string& why) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        if (errno == ENOENT) return 1;
        why = "cannot read " + source + ": " + std::strerror(errno);
        return 0;
    }
    struct stat info {};
    const std::uint64_t total = ::fstat(in, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    std::uint64_t done = 0;
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
        done += static_cast<std::uint64_t>(n);
        if (ok && progress) progress(done, std::max(done, total));
    }
    ::close(in);
    if (ok && out.Commit()) return 1;
    if (why.empty()) why = "cannot write " + target + (error != 0 ? std::string(": ") + std::strerror(error) : "");
    return 0;
}

// The host path of a device path on the found drive: existing folders and files matched
// without regard to letter case, a new file named as given; empty when it cannot be.
std::string DrivePath(const char* devicePath) {
    if (deviceDrive.empty() || devicePath == nullptr || devicePath[0] != '\\') return "";
    const std::string path = devicePath;
    if (path.find('/') != std::string::npos) return "";
    const std::size_t slash = path.rfind('\\');
    const std::string folder = platform::FindBelowIgnoringCase(deviceDrive, path.substr(0, slash));
    if (folder.empty()) return "";
    const std::string name = path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return "";
    const std::string existing = platform::FindBelowIgnoringCase(folder, name);
    return existing.empty() ? folder + "/" + name : existing;
}

// DrivePath for a copy, which tells why when there is none.
std::string DrivePathForCopy(const char* devicePath, std::string& why) {
    std::string path = DrivePath(devicePath);
    if (path.empty()) why = "its folder is not on the drive " + deviceDrive;
    return path;
}

class DriveTransport final : public Transport {
public:
    int Initialize(int /*flags*/) override { return 1; }

    // The search takes no notice of the identification texts, so the second search only
    // repeats the first; both are kept as the device models name them.
    int Connect(std::string& why) override {
        if (FindDeviceDrive("VyoTrailwiser1") == 1 || FindDeviceDrive("TFAT") == 1) return 1;
        why = "no removable drive, nor fixed drive on USB, holds the navigation program's data file "
              "\\VyoMap\\Vyomap\\data.zip";
        return 0;
    }

    int CopyToPc(const std::string& pcPath, const char* devicePath, std::string& why) override {
        const std::string device = DrivePathForCopy(devicePath, why);
        return !device.empty() && CopyLocalFile(device, pcPath, progress(), why) == 1 ? 1 : 0;
    }

    int CopyToDevice(const std::string& pcPath, const char* devicePath, std::string& why) override {
        const std::string device = DrivePathForCopy(devicePath, why);
        return !device.empty() && CopyLocalFile(pcPath, device, progress(), why) == 1 ? 1 : 0;
    }

    // Nothing runs on mounted storage; the navigation program is not running while it is.
    int RunOnDevice(const char* /*program*/, const char* /*arguments*/) override { return 1; }

    int DeleteOnDevice(const char* devicePath) override {
        const std::string device = DrivePath(devicePath);
        return !device.empty() && ::unlink(device.c_str()) == 0 ? 1 : 0;
    }

    FileFacts Examine(const char* devicePath) override {
        FileFacts facts;
        const std::string device = DrivePath(devicePath);
        struct stat info {};
        if (device.empty()) return facts;
        if (::stat(device.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            facts.state = FileFacts::State::kPresent;
            facts.size = static_cast<std::uint64_t>(info.st_size);
            facts.modified = static_cast<std::uint64_t>(info.st_mtim.tv_sec) * 1000000000U +
                             static_cast<std::uint64_t>(info.st_mtim.tv_nsec);
        } else if (errno == ENOENT) {
            facts.state = FileFacts::State::kMissing;
        }
        return facts;
    }

    int Disconnect() override { return 1; }
    bool StopsNavigator() const override { return false; }
};

}  // namespace

std::unique_ptr<Transport> MakeDriveTransport() { return std::make_unique<DriveTransport>(); }

}  // namespace device
