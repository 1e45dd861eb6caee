// export and import-reports: the cameras out to map programs, the user's reports in from them.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "engine/camera_exchange.h"
#include "platform/atomic_file.h"
#include "platform/folder_lock.h"
#include "platform/pc_files.h"
#include "working_folder.h"

namespace zsync {

int RunExport(const ExportOptions& options, const Verbosity& verbosity) {
    std::string cache = options.cache;
    if (cache.empty()) {
        platform::WorkFolder folder;
        std::string error;
        if (!NameWorkingFolder(folder, error)) return Fail(kExitFailed, error);
        cache = folder.Path(platform::pcfile::kLocalCache);
    }
    const engine::ExchangeFormat format = options.format == "gpx" ? engine::ExchangeFormat::kGpx : engine::ExchangeFormat::kCsv;
    platform::AtomicFile file;
    if (!options.out.empty() && !file.Open(options.out)) {
        return Fail(kExitFailed, "cannot write " + options.out + ": " + std::strerror(errno));
    }
    const engine::ExportSink sink = options.out.empty()
                                        ? engine::ExportSink([](const char* data, std::size_t size) {
                                              return std::fwrite(data, 1, size, stdout) == size;
                                          })
                                        : engine::ExportSink([&file](const char* data, std::size_t size) {
                                              return file.Write(data, size);
                                          });
    engine::ExportSummary summary;
    switch (engine::ExportCameras(cache, format, options.personalOnly, sink, summary)) {
    case engine::ExportResult::kCacheUnreadable:
        return Fail(kExitFailed, "cannot read the camera cache " + cache + ": " + std::strerror(summary.error) +
                                     (options.out.empty() ? "" : "; " + options.out + " not written"));
    case engine::ExportResult::kWriteFailed:
        return Fail(kExitFailed, "cannot write " + (options.out.empty() ? std::string("the output") : options.out) +
                                     ": " + std::strerror(errno));
    case engine::ExportResult::kWritten:
        break;
    }
    if (options.out.empty() ? std::fflush(stdout) != 0 : !file.Commit()) {
        return Fail(kExitFailed, "cannot write " + (options.out.empty() ? std::string("the output") : options.out) +
                                     ": " + std::strerror(errno));
    }
    if (!verbosity.quiet && !options.out.empty()) {
        std::fprintf(stderr, "exported %zu cameras to %s\n", summary.cameras, options.out.c_str());
    }
    return kExitOk;
}

int RunImportReports(const std::string& file, const Verbosity& verbosity) {
    platform::WorkFolder folder;
    platform::FolderLock lock;  // a synchronisation reads and deletes the same file
    std::string error;
    if (!OpenWorkingFolder(folder, error) || !lock.Acquire(folder.root(), error)) return Fail(kExitFailed, error);
    const std::string updates = folder.Path(platform::pcfile::kPersonalUpdates);
    engine::ImportSummary summary;
    switch (engine::ImportReports(file, updates, summary)) {
    case engine::ImportResult::kAppended:
        break;
    case engine::ImportResult::kUnreadable:
        return Fail(kExitFailed, "cannot read " + file + ": " + summary.problem);
    case engine::ImportResult::kBadFile:
        return Fail(kExitFailed, file + ":" + std::to_string(summary.line) + ": " + summary.problem +
                                     "; nothing was appended");
    case engine::ImportResult::kUpdatesDamaged:
        return Fail(kExitFailed, summary.problem + "; nothing was appended");
    case engine::ImportResult::kWriteFailed:
        return Fail(kExitFailed, "cannot write " + updates + ": " + summary.problem + "; nothing was appended");
    }
    if (!verbosity.quiet) {
        std::printf("appended %zu reports to %s; the next synchronisation sends them\n", summary.appended,
                    updates.c_str());
    }
    return kExitOk;
}

}  // namespace zsync
