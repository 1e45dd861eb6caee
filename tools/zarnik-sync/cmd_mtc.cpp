// build-mtc and count-mtc: the speed-camera file on the PC.
#include <cstdio>

#include "commands.h"
#include "engine/session.h"

namespace zsync {

int RunBuildMtc(const BuildMtcOptions& options, const Verbosity& verbosity) {
    engine::Session session;
    std::string cache = options.cache;
    std::string out = options.out;
    // The working folder's OpenStreetMap cameras join whatever cache is read.
    const engine::Outcome named = session.OpenWorkingFolder(engine::Session::FolderUse::kName);
    if (cache.empty() || out.empty()) {
        if (!named.ok()) return Fail(kExitFailed, named);
        if (cache.empty()) cache = session.LocalCachePath();
        if (out.empty()) out = session.CameraFilePath();
    }
    const std::string osm = named.ok() ? session.OsmCachePath() : std::string();
    service::CameraFileSummary summary;
    if (const engine::Outcome built = session.BuildCameraFile(cache, out, summary, osm); !built.ok()) {
        return Fail(kExitFailed, built);
    }
    if (verbosity.quiet) return kExitOk;
    if (summary.cameras == 0) {
        std::fprintf(stderr, "zarnik-sync: no cameras in %s; %s not written\n", cache.c_str(), out.c_str());
    } else {
        std::printf("wrote %zu cameras in %zu cells to %s\n", summary.cameras, summary.cells, out.c_str());
    }
    return kExitOk;
}

int RunCountMtc(const std::string& file, const Verbosity& /*verbosity*/) {
    engine::Session session;
    std::string path = file;
    if (path.empty()) {
        if (const engine::Outcome named = session.OpenWorkingFolder(engine::Session::FolderUse::kName); !named.ok()) {
            return Fail(kExitFailed, named);
        }
        path = session.CameraFilePath();
    }
    int count = 0;
    if (const engine::Outcome counted = session.CountCameraFile(path, count); !counted.ok()) {
        return Fail(kExitFailed, counted);
    }
    std::printf("%d\n", count);
    return kExitOk;
}

}  // namespace zsync
