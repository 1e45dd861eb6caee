// build-mtc and count-mtc: the speed-camera file on the PC.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "platform/pc_files.h"
#include "service/cache_file.h"
#include "service/camera_file/reader.h"
#include "service/camera_file/writer.h"
#include "working_folder.h"

namespace zsync {

int RunBuildMtc(const BuildMtcOptions& options, const Verbosity& verbosity) {
    std::string cache = options.cache;
    std::string out = options.out;
    if (cache.empty() || out.empty()) {
        platform::WorkFolder folder;
        std::string error;
        if (!NameWorkingFolder(folder, error)) return Fail(kExitFailed, error);
        if (cache.empty()) cache = folder.Path(platform::pcfile::kLocalCache);
        if (out.empty()) out = folder.Path(platform::pcfile::kCameraFile);
    }

    std::vector<service::CameraRecord> cameras;
    const service::CacheRead read = service::ReadSealedCache(cache, cameras);
    if (read != service::CacheRead::kRead) {
        const int error = errno;
        return Fail(kExitFailed, "cannot read the camera cache " + cache + "\nCause: " +
                                     service::CacheReadProblem(cache, read, error));
    }
    if (cameras.empty()) {
        if (!verbosity.quiet) std::fprintf(stderr, "zarnik-sync: no cameras in %s; %s not written\n", cache.c_str(), out.c_str());
        return kExitOk;
    }
    service::CameraFileSummary summary;
    const service::CameraFileResult result = service::BuildCameraFile(cameras, out, &summary);
    const int error = errno;
    switch (result) {
    case service::CameraFileResult::kWritten:
        if (!verbosity.quiet) std::printf("wrote %zu cameras in %zu cells to %s\n", summary.cameras, summary.cells, out.c_str());
        return kExitOk;
    case service::CameraFileResult::kTooLarge:
        return Fail(kExitFailed, "too many cameras for one speed-camera file; " + out + " not written");
    default:
        return Fail(kExitFailed, "cannot write " + out + ": " + std::strerror(error) + "; any earlier file is unchanged");
    }
}

int RunCountMtc(const std::string& file, const Verbosity& /*verbosity*/) {
    std::string path = file;
    if (path.empty()) {
        platform::WorkFolder folder;
        std::string error;
        if (!NameWorkingFolder(folder, error)) return Fail(kExitFailed, error);
        path = folder.Path(platform::pcfile::kCameraFile);
    }
    if (platform::FileSizeOf(path) < 0) return Fail(kExitFailed, "cannot open " + path);

    const int count = service::CountCameraFileRecords(path);
    if (count == 0) {  // say why, unless it really is a file without cameras
        service::CameraFileContents contents;
        std::string problem;
        if (!service::ReadCameraFileBack(path, contents, &problem)) {
            return Fail(kExitFailed, path + " is not a speed-camera file: " + problem);
        }
    }
    std::printf("%d\n", count);
    return kExitOk;
}

}  // namespace zsync
