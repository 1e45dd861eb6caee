#include "engine/camera_exchange.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string_view>
#include <vector>

#include "engine/cached_camera_index.h"
#include "engine/change_record.h"
#include "engine/csv_exchange.h"
#include "engine/geojson_exchange.h"
#include "engine/gpx_exchange.h"
#include "engine/kml_exchange.h"
#include "platform/atomic_file.h"
#include "platform/pc_files.h"
#include "service/camera_record.h"

// The streaming of both directions; each format's text is in its own file.
namespace engine {

namespace {

using service::CameraRecord;

constexpr std::size_t kRecordsPerRead = 8192;
constexpr std::size_t kFlushAt = std::size_t{1} << 20;

// Copies the file's bytes into the new one; false when it cannot be read.
bool CopyInto(const std::string& path, platform::AtomicFile& out, int& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return error == ENOENT;
    }
    char chunk[65536];
    ssize_t got = 0;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0) {
        if (!out.Write(chunk, static_cast<std::size_t>(got))) break;
    }
    error = got < 0 ? errno : 0;
    ::close(fd);
    return got == 0;
}

// How each format writes its document: what comes before the first camera, each camera (index
// counting the cameras written before it), and what comes after the last.
struct FormatWriter {
    void (*start)(std::string& out);
    void (*camera)(std::string& out, const CameraRecord& r, std::size_t index);
    void (*end)(std::string& out);
};

void Nothing(std::string&) {}

template <void (*Write)(std::string&, const CameraRecord&)>
void EachCamera(std::string& out, const CameraRecord& r, std::size_t) {
    Write(out, r);
}

// In the order of ExchangeFormat's numbers.
constexpr FormatWriter kWriters[] = {
    {exchange::AppendGpxStart, EachCamera<exchange::AppendGpxWaypoint>, exchange::AppendGpxEnd},
    {exchange::AppendCsvStart, EachCamera<exchange::AppendCsvRow>, Nothing},
    {exchange::AppendGeoJsonStart, exchange::AppendGeoJsonFeature, exchange::AppendGeoJsonEnd},
    {exchange::AppendKmlStart, EachCamera<exchange::AppendKmlPlacemark>, exchange::AppendKmlEnd},
};
static_assert(std::size(kWriters) == static_cast<std::size_t>(ExchangeFormat::kKml) + 1);

bool Keeps(const ExportFilter& filter, const CameraRecord& r) {
    if (filter.personalOnly && r.flag != 0) return false;
    if (filter.oneCategory && r.category != filter.category) return false;
    if (!filter.bounded) return true;
    const bool acrossDateLine = filter.west > filter.east;
    const bool inLongitude = acrossDateLine ? (r.longitude >= filter.west || r.longitude <= filter.east)
                                            : (r.longitude >= filter.west && r.longitude <= filter.east);
    return inLongitude && r.latitude >= filter.south && r.latitude <= filter.north;
}

}  // namespace

std::string DegreesText(std::int32_t micro) {
    std::string text;
    exchange::AppendDegrees(text, micro);
    return text;
}

bool ParseBoundingBox(std::string_view text, ExportFilter& filter, std::string& problem) {
    if (std::count(text.begin(), text.end(), ',') != 3) {
        problem = "\"" + std::string(text) + "\" is not four numbers S,W,N,E";
        return false;
    }
    const char* names[4] = {"south", "west", "north", "east"};
    std::int32_t edges[4] = {};
    for (int i = 0; i < 4; ++i) {
        const std::string_view edge = text.substr(0, text.find(','));
        if (!exchange::ParseDegrees(edge, i % 2 == 0 ? 90 : 180, edges[i])) {
            problem = "the " + std::string(names[i]) + " edge \"" + std::string(edge) + "\" is no number of degrees from " +
                      (i % 2 == 0 ? "-90 to 90" : "-180 to 180");
            return false;
        }
        text.remove_prefix(std::min(text.size(), edge.size() + 1));
    }
    if (edges[0] > edges[2]) {
        problem = "the south edge lies north of the north edge";
        return false;
    }
    filter.bounded = true;
    filter.south = edges[0];
    filter.west = edges[1];
    filter.north = edges[2];
    filter.east = edges[3];
    return true;
}

ExportResult ExportCameras(const std::string& cachePath, ExchangeFormat format, const ExportFilter& filter,
                           const ExportSink& sink, ExportSummary& summary) {
    summary = {};
    const int fd = ::open(cachePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        summary.error = errno;
        return ExportResult::kCacheUnreadable;
    }
    std::string out;
    out.reserve(kFlushAt + 4096);
    const FormatWriter& writer = kWriters[static_cast<std::size_t>(format)];
    writer.start(out);
    std::vector<CameraRecord> records(kRecordsPerRead);
    std::size_t held = 0;  // bytes of a record begun in the last read
    auto* bytes = reinterpret_cast<char*>(records.data());
    ExportResult result = ExportResult::kWritten;
    for (;;) {
        const ssize_t got = ::read(fd, bytes + held, records.size() * sizeof(CameraRecord) - held);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            summary.error = errno;
            result = ExportResult::kCacheUnreadable;
            break;
        }
        if (got == 0) break;
        const std::size_t total = held + static_cast<std::size_t>(got);
        const std::size_t whole = total / sizeof(CameraRecord);
        for (std::size_t i = 0; i < whole; ++i) {
            const CameraRecord& r = records[i];
            if (!Keeps(filter, r)) continue;
            writer.camera(out, r, summary.cameras);
            ++summary.cameras;
            if (out.size() >= kFlushAt) {
                if (!sink(out.data(), out.size())) {
                    ::close(fd);
                    return ExportResult::kWriteFailed;
                }
                out.clear();
            }
        }
        held = total - whole * sizeof(CameraRecord);
        std::memmove(bytes, bytes + whole * sizeof(CameraRecord), held);
    }
    ::close(fd);
    if (result != ExportResult::kWritten) return result;
    writer.end(out);
    return sink(out.data(), out.size()) ? ExportResult::kWritten : ExportResult::kWriteFailed;
}

namespace {

// Which reader a reports file needs, told by its content: an XML document whose first element
// is "kml" (any prefix) is KML, any other XML document GPX, JSON (an object or a list) GeoJSON, anything
// else CSV.
enum class ReportsFormat { kGpx, kKml, kGeoJson, kCsv };

// The name of the document's first element, without a prefix; empty while none is whole in text.
std::string_view RootName(std::string_view text) {
    for (std::size_t at = text.find('<'); at != std::string_view::npos && at + 1 < text.size(); at = text.find('<', at + 1)) {
        if (text.substr(at, 4) == "<!--") {  // what a comment holds is no element
            at = text.find("-->", at);
            if (at == std::string_view::npos) return {};
            continue;
        }
        if (text[at + 1] == '?' || text[at + 1] == '!') continue;  // the declaration, the doctype
        const std::size_t end = text.find_first_of(" \t\r\n/>", at + 1);
        if (end == std::string_view::npos) return {};
        std::string_view name = text.substr(at + 1, end - at - 1);
        if (const std::size_t colon = name.find(':'); colon != std::string_view::npos) name.remove_prefix(colon + 1);
        return name;
    }
    return {};
}

ReportsFormat Sniff(exchange::ChunkReader& reader, std::string& buffer) {
    bool more = reader.More(buffer);
    while (more && buffer.size() < 64) more = reader.More(buffer);
    std::size_t first = buffer.rfind("\xef\xbb\xbf", 0) == 0 ? 3 : 0;
    while (first < buffer.size() && std::string_view(" \t\r\n").find(buffer[first]) != std::string_view::npos) ++first;
    if (first < buffer.size() && (buffer[first] == '{' || buffer[first] == '[')) return ReportsFormat::kGeoJson;
    if (first >= buffer.size() || buffer[first] != '<') return ReportsFormat::kCsv;
    while (more && RootName(buffer).empty() && buffer.size() < exchange::kLongestItem) more = reader.More(buffer);
    return RootName(buffer) == "kml" ? ReportsFormat::kKml : ReportsFormat::kGpx;
}

// Reads the reports file whole, handing each report to add.
ImportResult ReadReports(const std::string& reportsPath, const exchange::RecordSink& add, ImportSummary& summary) {
    const int fd = ::open(reportsPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        summary.problem = std::strerror(errno);
        return ImportResult::kUnreadable;
    }
    exchange::ChunkReader reader(fd);
    std::string buffer;
    ImportResult result = ImportResult::kAppended;
    switch (Sniff(reader, buffer)) {
    case ReportsFormat::kGpx: result = exchange::ReadGpx(reader, buffer, add, summary); break;
    case ReportsFormat::kKml: result = exchange::ReadKml(reader, buffer, add, summary); break;
    case ReportsFormat::kGeoJson: result = exchange::ReadGeoJson(reader, buffer, add, summary); break;
    case ReportsFormat::kCsv: result = exchange::ReadCsv(reader, buffer, add, summary); break;
    }
    ::close(fd);
    if (result == ImportResult::kUnreadable) summary.problem = std::strerror(reader.error());
    return result;
}

// Records shifted off the globe mean the file lost or gained bytes: appending whole records
// behind them would only bury the user's reports deeper in a file nothing can read.
ImportResult CheckUpdatesFile(const std::string& updatesPath, ImportSummary& summary) {
    const long long existing = platform::FileSizeOf(updatesPath);
    if (existing > 0 && existing % static_cast<long long>(sizeof(ChangeRecord)) != 0) {
        summary.problem = updatesPath + " ends in a partial record";
        return ImportResult::kUpdatesDamaged;
    }
    std::vector<ChangeRecord> pending;
    if (existing > 0 && ReadChangeRecords(updatesPath, pending)) {
        const std::size_t unreadable = SetAsideUnreadable(pending).size();
        if (unreadable > 0) {
            summary.problem = updatesPath + " holds " + std::to_string(unreadable) +
                              " records that are no reports (a position off the globe, or a direction outside -2 to 720)";
            return ImportResult::kUpdatesDamaged;
        }
    }
    return ImportResult::kAppended;
}

}  // namespace

ImportResult ImportReports(const std::string& reportsPath, const std::string& updatesPath, ImportSummary& summary) {
    summary = {};
    if (const ImportResult checked = CheckUpdatesFile(updatesPath, summary); checked != ImportResult::kAppended) {
        return checked;
    }
    // The whole new file is written beside the old one and replaces it only when every report
    // was good and written: a bad line, a full disk or a kill leaves the old file as it was.
    platform::AtomicFile out;
    int error = 0;
    if (!out.Open(updatesPath, 0644) || !CopyInto(updatesPath, out, error)) {
        if (error == 0) error = errno;
        summary.problem = std::strerror(error);
        return ImportResult::kWriteFailed;
    }
    const exchange::RecordSink add = [&](const ChangeRecord& record) {
        if (!out.Write(&record, sizeof record)) return false;
        ++summary.appended;
        return true;
    };
    ImportResult result = ReadReports(reportsPath, add, summary);
    if (result == ImportResult::kAppended && summary.appended == 0) result = ImportResult::kNothingFound;
    if (result == ImportResult::kAppended && !out.Commit()) result = ImportResult::kWriteFailed;
    if (result == ImportResult::kWriteFailed) summary.problem = std::strerror(errno);
    if (result != ImportResult::kAppended) {
        out.Abort();
        summary.appended = 0;
    }
    return result;
}

ImportResult PreviewImport(const std::string& reportsPath, const std::string& updatesPath,
                           const CachedCameraIndex& cache, const PreviewSink& each, ImportSummary& summary) {
    summary = {};
    if (const ImportResult checked = CheckUpdatesFile(updatesPath, summary); checked != ImportResult::kAppended) {
        return checked;
    }
    // The first reading checks the whole file, so that nothing is listed from a file that would
    // be refused; the second lists. Neither keeps more than one report.
    std::size_t found = 0;
    ImportResult result = ReadReports(reportsPath, [&](const ChangeRecord&) { return ++found > 0; }, summary);
    if (result == ImportResult::kAppended && found == 0) result = ImportResult::kNothingFound;
    if (result != ImportResult::kAppended) return result;
    summary = {};
    result = ReadReports(reportsPath, [&](const ChangeRecord& record) {
        ++summary.appended;
        each(ReportPreview{record, summary.line, IsNearExistingCamera(cache, record)});
        return true;
    }, summary);
    if (result != ImportResult::kAppended) summary.appended = 0;
    return result;
}

}  // namespace engine
