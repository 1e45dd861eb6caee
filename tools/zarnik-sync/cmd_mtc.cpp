// build-mtc and count-mtc: the speed-camera file on the PC.
#include <cstdio>

#include "commands.h"
#include "options.h"
#include "platform/pc_files.h"
#include "service/cache_file.h"
#include "service/camera_file/reader.h"
#include "service/camera_file/writer.h"

namespace zsync {

int RunBuildMtc(const Args& args) {
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, {"--cache", "--out"}, {}, parsed, error)) return Fail(kExitUsage, "build-mtc: " + error);
    if (!parsed.positional.empty()) return Fail(kExitUsage, "build-mtc: unexpected argument " + parsed.positional[0]);
    const std::string cache = parsed.ValueOr("--cache", "./" + platform::CanonicalPcName(platform::pcfile::kLocalCache));
    const std::string out = parsed.ValueOr("--out", "./" + platform::CanonicalPcName(platform::pcfile::kCameraFile));

    std::vector<service::CameraRecord> cameras;
    if (!service::ReadCacheFile(cache, cameras)) return Fail(kExitFailed, "cannot read the camera cache " + cache);
    if (cameras.empty()) {
        std::fprintf(stderr, "zarnik-sync: no cameras in %s; %s not written\n", cache.c_str(), out.c_str());
        return kExitOk;
    }
    service::CameraFileSummary summary;
    switch (service::BuildCameraFile(cameras, out, &summary)) {
    case service::CameraFileResult::kWritten:
        std::printf("wrote %zu cameras in %zu cells to %s\n", summary.cameras, summary.cells, out.c_str());
        return kExitOk;
    case service::CameraFileResult::kTooLarge:
        return Fail(kExitFailed, "too many cameras for one speed-camera file; " + out + " not written");
    default:
        return Fail(kExitFailed, "cannot write " + out + "; any earlier file is unchanged");
    }
}

int RunCountMtc(const Args& args) {
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, {}, {}, parsed, error)) return Fail(kExitUsage, "count-mtc: " + error);
    if (parsed.positional.size() != 1) return Fail(kExitUsage, "count-mtc: give exactly one speed-camera file");
    const std::string& path = parsed.positional[0];
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
