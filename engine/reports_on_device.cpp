#include "engine/reports_on_device.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "device/device_link.h"
#include "platform/atomic_file.h"
#include "platform/pc_files.h"

namespace engine {

namespace {

bool ReadWhole(const std::string& path, std::string& bytes, std::string& cause) {
    bytes.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        cause = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    char chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, got);
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    if (!ok) cause = "cannot read " + path;
    return ok;
}

}  // namespace

device::LinkResult CopyReportsFromDevice(CDeviceLink& link, const platform::WorkFolder& folder, const char* pcName) {
    const std::string pc = folder.Path(pcName);
    folder.Delete(pcName);
    device::LinkResult copied = link.CopyToPc(pc.c_str(), link.personalUpdatesPath);
    if (copied.ok() && folder.SizeOf(pcName) >= 0) return copied;
    // Some transports copy nothing and report success for a missing file; others fail.
    if (folder.SizeOf(pcName) < 0 && link.FileMissingOnDevice(link.personalUpdatesPath)) {
        platform::AtomicFile empty;
        if (empty.Open(pc) && empty.Commit()) return {};
    }
    folder.Delete(pcName);
    if (copied.ok()) {
        copied = {device::LinkCode::kCopyFailed, std::string("copying ") + link.personalUpdatesPath +
                                                     " from the device: the transport delivered no file"};
    }
    return copied;
}

bool ReadReportsOnce(CDeviceLink& link, const platform::WorkFolder& folder, const char* pcName, std::string& bytes,
                     std::string& cause) {
    if (const device::LinkResult copied = CopyReportsFromDevice(link, folder, pcName); !copied.ok()) {
        cause = copied.cause();
        return false;
    }
    if (ReadWhole(folder.Path(pcName), bytes, cause)) return true;
    folder.Delete(pcName);
    return false;
}

bool ReadReportsSteadily(CDeviceLink& link, const platform::WorkFolder& folder, const char* pcName,
                         std::string& bytes, std::string& cause) {
    std::string previous;
    if (!ReadReportsOnce(link, folder, pcName, previous, cause)) return false;
    for (int read = 2; read <= kReportReads; ++read) {
        if (!ReadReportsOnce(link, folder, pcName, bytes, cause)) return false;
        if (bytes == previous) return true;
        previous.swap(bytes);
    }
    folder.Delete(pcName);
    bytes.clear();
    cause = std::string("the personal updates ") + link.personalUpdatesPath + " read differently each of " +
            std::to_string(kReportReads) + " times from the device (a faulty connection, or reports being written)";
    return false;
}

}  // namespace engine
