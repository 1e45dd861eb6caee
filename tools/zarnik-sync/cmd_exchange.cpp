// export and import-reports: the cameras out to map programs, the user's reports in from them.
#include <cstdio>

#include "commands.h"
#include "engine/session.h"

namespace zsync {

int RunExport(const ExportOptions& options, const Verbosity& verbosity) {
    engine::Session session;
    std::string cache = options.cache;
    if (cache.empty()) {
        if (const engine::Outcome named = session.OpenWorkingFolder(engine::Session::FolderUse::kName); !named.ok()) {
            return Fail(kExitFailed, named);
        }
        cache = session.LocalCachePath();
    }
    engine::ExportFilter filter;
    filter.personalOnly = options.personalOnly;
    filter.oneCategory = options.categoryGiven;
    filter.category = options.category;
    if (std::string problem; !options.bbox.empty() && !engine::ParseBoundingBox(options.bbox, filter, problem)) {
        return Fail(kExitUsage, "--bbox: " + problem);
    }
    const engine::ExchangeFormat format = options.format == "gpx"       ? engine::ExchangeFormat::kGpx
                                          : options.format == "csv"     ? engine::ExchangeFormat::kCsv
                                          : options.format == "geojson" ? engine::ExchangeFormat::kGeoJson
                                                                        : engine::ExchangeFormat::kKml;
    engine::ExportTarget target;
    target.file = options.out;
    target.sink = [](const char* data, std::size_t size) { return std::fwrite(data, 1, size, stdout) == size; };
    target.finish = [] { return std::fflush(stdout) == 0; };
    engine::ExportSummary summary;
    if (const engine::Outcome exported = session.ExportCameras(cache, format, filter, target, summary);
        !exported.ok()) {
        return Fail(kExitFailed, exported);
    }
    if (!verbosity.quiet && !options.out.empty()) {
        std::fprintf(stderr, "exported %zu cameras to %s\n", summary.cameras, options.out.c_str());
    }
    return kExitOk;
}

namespace {

// One line per point, "append" or "drop", then where it came from; the summary goes to stderr.
int PreviewImport(const std::string& file, const Verbosity& verbosity) {
    engine::Session session;
    if (const engine::Outcome named = session.OpenWorkingFolder(engine::Session::FolderUse::kName); !named.ok()) {
        return Fail(kExitFailed, named);
    }
    std::size_t dropped = 0;
    std::size_t cached = 0;
    engine::ImportSummary summary;
    const engine::Outcome previewed = session.PreviewImport(
        file,
        [&](const engine::ReportPreview& report) {
            dropped += report.duplicate ? 1 : 0;
            const std::string place = engine::DegreesText(report.record.latitude) + "," +
                                      engine::DegreesText(report.record.longitude);
            std::printf("%s %s line %zu direction %d category %d%s\n", report.duplicate ? "drop  " : "append",
                        place.c_str(), report.line, report.record.direction, report.record.category,
                        report.duplicate ? " (near a camera of local.cache)" : "");
        },
        summary, cached);
    if (!previewed.ok()) return Fail(kExitFailed, previewed);
    if (!verbosity.quiet) {
        std::fprintf(stderr,
                     "dry run: %zu reports would be appended to %s; the duplicate test would drop %zu of them "
                     "against the %zu cameras of %s; nothing was written\n",
                     summary.appended, session.ReportsFilePath().c_str(), dropped, cached,
                     session.LocalCachePath().c_str());
    }
    return kExitOk;
}

}  // namespace

int RunImportReports(const std::string& file, bool dryRun, const Verbosity& verbosity) {
    if (dryRun) return PreviewImport(file, verbosity);
    engine::Session session;  // holds the folder's lock: a synchronisation reads and deletes the same file
    if (const engine::Outcome opened = session.OpenWorkingFolder(engine::Session::FolderUse::kCreateAndLock);
        !opened.ok()) {
        return Fail(kExitFailed, opened);
    }
    engine::ImportSummary summary;
    if (const engine::Outcome imported = session.ImportReports(file, summary); !imported.ok()) {
        return Fail(kExitFailed, imported);
    }
    if (!verbosity.quiet) {
        std::printf("appended %zu reports to %s; the next synchronisation sends them\n", summary.appended,
                    session.ReportsFilePath().c_str());
    }
    return kExitOk;
}

}  // namespace zsync
