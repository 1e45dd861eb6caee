// ActiveSync's remote API: devices of any other transport code.
//
// An upload keeps the device's file as "<path>.bak" until the new copy reads back equal. A
// ".bak" found before an upload was left by one that broke off and may be the only good copy:
// it is moved back first, never written over; when the file of the path holds data as well,
// both are kept and the upload fails.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "device/transport.h"
#include "devicekit/rapi/rapi.h"
#include "platform/atomic_file.h"

namespace device {
namespace {

constexpr int kConnectWaitMs = 750;
constexpr int kOpenTries = 11;
constexpr int kOpenPauseMs = 700;
constexpr std::uint32_t kChunk = 100000;
constexpr int kUploadAttempts = 3;
constexpr std::size_t kPathLimit = 255;
constexpr std::size_t kProbeSize = 200;
constexpr const char* kPathTooLong = "the device path is longer than the remote API's 255 characters";
constexpr char kProbeText[] = "effe testen of het werkt naar het device schrijven, dit is inderdaad een goede test";
static_assert(sizeof kProbeText <= kProbeSize, "the probe text and its terminator fit the probe record");

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
bool PathFits(const char* devicePath) { return devicePath != nullptr && std::strlen(devicePath) <= kPathLimit; }

CeHandle CreateForWriting(const char* devicePath) {
    return CeCreateFile(devicePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
}

CeHandle OpenForReading(const char* devicePath) {
    return CeCreateFile(devicePath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool WriteAll(CeHandle file, const char* data, std::uint32_t size) {
    std::uint32_t written = 0;
    return CeWriteFile(file, data, size, &written, nullptr) != 0 && written == size;
}

// Writes the probe record to the ".bak" name and reads it back: a device whose storage cannot
// be written fails here, before its present file is touched.
bool Probe(const char* backupPath) {
    CeHandle probe = CreateForWriting(backupPath);
    if (probe == nullptr) {
        CeDeleteFile(backupPath);
        return false;
    }
    char record[kProbeSize] = {};
    std::memcpy(record, kProbeText, std::strlen(kProbeText) + 1);
    const bool written = WriteAll(probe, record, sizeof record);
    const bool closed = CeCloseHandle(probe) != 0;
    bool same = false;
    if (written && closed) {
        CeHandle back = OpenForReading(backupPath);
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
bool UploadAttempt(const std::string& pcPath, const char* devicePath, std::vector<char>& pcChunk,
                   std::vector<char>& deviceChunk) {
    CeHandle target = CreateForWriting(devicePath);
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
        good = WriteAll(target, pcChunk.data(), static_cast<std::uint32_t>(n));
    }
    if (in >= 0) ::close(in);
    if (CeCloseHandle(target) == 0) good = false;
    if (!good) return false;

    CeHandle back = OpenForReading(devicePath);
    if (back == nullptr) return false;
    const int again = ::open(pcPath.c_str(), O_RDONLY | O_CLOEXEC);
    bool same = again >= 0;
    while (same) {
        const ssize_t n = ReadChunk(again, pcChunk.data(), pcChunk.size());
        std::uint32_t got = 0;
        if (n < 0 || CeReadFile(back, deviceChunk.data(), kChunk, &got, nullptr) == 0) {
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

// The device file of the path is the broken upload's unverified copy: an empty one (the remote
// API creates the file before it sends any data) or none makes way for the ".bak". One that
// holds data may also hold what the navigation program wrote since, so both are left alone and
// the upload is refused.
bool PutBackLeftBackup(const char* devicePath, const char* backupPath, std::string& why) {
    CeHandle left = OpenForReading(backupPath);
    if (left == nullptr) return true;
    CeCloseHandle(left);
    CeHandle present = OpenForReading(devicePath);
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

// The library's transfers report to the transport's observer for the length of one copy.
class Reporting {
public:
    explicit Reporting(const CopyProgress& progress) { CeRapiSetProgress(progress); }
    ~Reporting() { CeRapiSetProgress({}); }
    Reporting(const Reporting&) = delete;
    Reporting& operator=(const Reporting&) = delete;
};

class RapiTransport final : public Transport {
public:
    int Initialize(int /*flags*/) override { return 1; }

    // A failed connection is not uninitialised: the library keeps trying on its own.
    int Connect(std::string& why) override {
        RAPIINIT init;
        if (CeRapiInitEx(&init) >= 0 && init.heRapiInit != nullptr && init.heRapiInit->Wait(kConnectWaitMs)) return 1;
        why = "the connection did not come up within " + std::to_string(kConnectWaitMs) + " ms: " + CeRapiLastFailure();
        return 0;
    }

    int CopyToPc(const std::string& pcPath, const char* devicePath, std::string& why) override {
        if (!PathFits(devicePath)) {
            why = kPathTooLong;
            return 0;
        }
        const Reporting reporting(progress());
        // The device may still be busy with the file just after connecting, so the open is retried.
        CeHandle source = OpenForReading(devicePath);
        for (int attempt = 1; source == nullptr && attempt < kOpenTries; ++attempt) {
            Pause(kOpenPauseMs);
            source = OpenForReading(devicePath);
        }
        if (source == nullptr) {
            why = "the file could not be opened in " + std::to_string(kOpenTries) + " tries: " + CeRapiLastFailure();
            return 0;
        }
        // Success only with the whole file on the PC: a partial personal-updates file taken for a
        // whole one would later cost the user the reports it lacks.
        platform::AtomicFile out;
        bool ok = out.Open(pcPath);
        std::vector<char> chunk(kChunk);
        while (ok) {
            std::uint32_t got = 0;
            if (CeReadFile(source, chunk.data(), kChunk, &got, nullptr) == 0) {
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

    int CopyToDevice(const std::string& pcPath, const char* devicePath, std::string& why) override {
        if (!PathFits(devicePath)) {
            why = kPathTooLong;
            return 0;
        }
        const std::string backup = std::string(devicePath) + ".bak";
        // A ".bak" that is already there was left by an upload that broke off before its copy was
        // verified: it holds the last good file, and the probe below would write over it.
        if (!PutBackLeftBackup(devicePath, backup.c_str(), why)) return 0;
        if (!Probe(backup.c_str())) {
            why = "the device's storage refuses writes: the probe file " + backup + " could not be written and read back";
            return 0;
        }
        const bool backedUp = CeMoveFile(devicePath, backup.c_str()) != 0;
        const Reporting reporting(progress());
        std::vector<char> pcChunk(kChunk);
        std::vector<char> deviceChunk(kChunk);
        for (int attempt = 0; attempt < kUploadAttempts; ++attempt) {
            if (UploadAttempt(pcPath, devicePath, pcChunk, deviceChunk)) {
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
        why = "none of " + std::to_string(kUploadAttempts) +
              " attempts left a copy on the device that reads back equal to the PC file" +
              (backedUp ? "; the earlier file was put back" : "");
        return 0;
    }

    int RunOnDevice(const char* program, const char* arguments) override {
        if (!PathFits(program) || !PathFits(arguments)) return 0;
        CE_PROCESS_INFORMATION information;
        return CeCreateProcess(program, arguments, nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr, &information) != 0
                   ? 1
                   : 0;
    }

    int DeleteOnDevice(const char* devicePath) override {
        return PathFits(devicePath) && CeDeleteFile(devicePath) != 0 ? 1 : 0;
    }

    // The library gives S_OK (0) when it went well; here, as for every transport, that is 1.
    int Disconnect() override { return CeRapiUninit() == S_OK ? 1 : 0; }
    std::string LastFailure() const override { return CeRapiLastFailure(); }

    // The library keeps one connection per process, so only a named agent is passed on.
    void SetAddress(const std::string& address) override {
        if (!address.empty()) CeRapiSetDeviceAddress(address.c_str());
    }
};

}  // namespace

std::unique_ptr<Transport> MakeRapiTransport() { return std::make_unique<RapiTransport>(); }

}  // namespace device
