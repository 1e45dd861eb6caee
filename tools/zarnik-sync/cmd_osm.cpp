// import-osm: the cameras of OpenStreetMap files into the working folder's osm.cache.
#include <cstdio>

#include "commands.h"
#include "engine/session.h"

namespace zsync {

int RunImportOsm(const ImportOsmOptions& options, const Verbosity& verbosity) {
    if (options.clear == !options.files.empty()) {
        return Fail(kExitUsage, "import-osm takes either FILE... or --clear");
    }
    engine::Session session;  // holds the folder's lock: a synchronisation reads the same file
    if (const engine::Outcome opened = session.OpenWorkingFolder(engine::Session::FolderUse::kCreateAndLock);
        !opened.ok()) {
        return Fail(kExitFailed, opened);
    }
    if (options.clear) {
        bool removed = false;
        if (const engine::Outcome cleared = session.ClearOsm(removed); !cleared.ok()) return Fail(kExitFailed, cleared);
        if (!verbosity.quiet) {
            std::printf(removed ? "removed %s\n" : "no %s to remove\n", session.OsmCachePath().c_str());
        }
        return kExitOk;
    }
    engine::OsmImportSummary summary;
    if (const engine::Outcome imported = session.ImportOsm(options.files, summary); !imported.ok()) {
        return Fail(kExitFailed, imported);
    }
    if (!verbosity.quiet) {
        std::printf("%zu OpenStreetMap cameras in %s\n", summary.cameras, session.OsmCachePath().c_str());
        if (verbosity.verbose) {
            std::printf("%zu nodes tagged highway=speed_camera, %zu enforcement relations, %zu cameras named only "
                        "by a relation\n",
                        summary.cameraNodes, summary.relations, summary.relationCameras);
        }
        std::printf("%s\n", kOsmAttribution);
    }
    return kExitOk;
}

}  // namespace zsync
